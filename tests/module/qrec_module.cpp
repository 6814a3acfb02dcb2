// The standard Cryptoki functions of the recording module and the function list that
// C_GetFunctionList hands out.
#include "qrec_internal.h"
#include "qrec_layout.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const CK_FLAGS kDefaultTokenFlags =
    CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
const CK_FLAGS kDefaultMechanismFlags = CKF_ENCRYPT | CKF_DECRYPT | CKF_SIGN | CKF_VERIFY;

// ---------------------------------------------------------------------------------------------
// Helpers.

CK_VERSION version_of(const char* text, CK_BYTE major, CK_BYTE minor) {
  CK_VERSION v;
  v.major = major;
  v.minor = minor;
  cfg_parse_version(text, &v);
  return v;
}

CK_FLAGS token_flags(size_t slot) {
  return cfg_slot_ulong(slot, "TOKEN_FLAGS", kDefaultTokenFlags);
}

bool protected_path(size_t slot) {
  return (token_flags(slot) & CKF_PROTECTED_AUTHENTICATION_PATH) != 0;
}

bool pin_matches(const unsigned char* stored, CK_ULONG storedLen, const CK_UTF8CHAR* pin,
                 CK_ULONG len) {
  return len == storedLen && (len == 0 || memcmp(stored, pin, len) == 0);
}

// Resolves a slot ID for calls that need a token: CKR_SLOT_ID_INVALID or CKR_TOKEN_NOT_PRESENT.
CK_RV token_slot(CK_SLOT_ID id, size_t* index) {
  long i = slot_index(id);
  if (i < 0) return CKR_SLOT_ID_INVALID;
  if (!g_state.slots[i].token.present) return CKR_TOKEN_NOT_PRESENT;
  *index = static_cast<size_t>(i);
  return CKR_OK;
}

CK_RV session_of(CK_SESSION_HANDLE h, Sess** s) {
  *s = session_find(h);
  return *s ? CKR_OK : CKR_SESSION_HANDLE_INVALID;
}

Token* token_of(const Sess* s) {
  return &g_state.slots[s->slot].token;
}

CK_STATE session_state(const Sess* s) {
  int login = token_of(s)->login;
  bool rw = (s->flags & CKF_RW_SESSION) != 0;
  if (login == static_cast<int>(CKU_SO)) return CKS_RW_SO_FUNCTIONS;
  if (login == static_cast<int>(CKU_USER))
    return rw ? CKS_RW_USER_FUNCTIONS : CKS_RO_USER_FUNCTIONS;
  return rw ? CKS_RW_PUBLIC_SESSION : CKS_RO_PUBLIC_SESSION;
}

bool is_sensitive_type(CK_ATTRIBUTE_TYPE t) {
  return t == CKA_VALUE || t == CKA_PRIVATE_EXPONENT || t == CKA_PRIME_1 || t == CKA_PRIME_2 ||
         t == CKA_EXPONENT_1 || t == CKA_EXPONENT_2 || t == CKA_COEFFICIENT;
}

// The byte that the trivial transforms XOR with: the first byte of the key's CKA_VALUE, else the
// low byte of its handle.
unsigned char key_byte(const Obj* k) {
  const Attr* v = object_attr(k, CKA_VALUE);
  if (v && v->len) return v->val[0];
  return static_cast<unsigned char>(k->handle & 0xff);
}

// The length-first output rules of single-part operations.
enum Delivery { kLengthOnly, kTooSmall, kWrite };

Delivery deliver(const void* out, CK_ULONG* pulOut, CK_ULONG needed) {
  if (!out) {
    *pulOut = needed;
    return kLengthOnly;
  }
  if (*pulOut < needed) {
    *pulOut = needed;
    return kTooSmall;
  }
  *pulOut = needed;
  return kWrite;
}

// Starts a sign, encrypt or decrypt operation.
CK_RV op_init(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey,
              Op Sess::*which, CK_ATTRIBUTE_TYPE permission) {
  Sess* s;
  CK_RV rv = session_of(hSession, &s);
  if (rv != CKR_OK) return rv;
  Op* op = &(s->*which);
  if (op->active) return CKR_OPERATION_ACTIVE;
  if (!pMechanism) return CKR_ARGUMENTS_BAD;
  if (!mechanism_supported(s->slot, pMechanism->mechanism)) return CKR_MECHANISM_INVALID;
  Obj* key = object_visible(s, hKey);
  if (!key) return CKR_KEY_HANDLE_INVALID;
  if (!object_bool(key, permission, true)) return CKR_KEY_FUNCTION_NOT_PERMITTED;
  op->active = true;
  op->mechanism = pMechanism->mechanism;
  op->key = hKey;
  op->keyByte = key_byte(key);
  return CKR_OK;
}

// Runs a single-part XOR operation (encrypt or decrypt): output length = input length unless
// lengthKey configures another length.
CK_RV op_xor(CK_SESSION_HANDLE hSession, Op Sess::*which, const char* lengthKey, CK_BYTE_PTR in,
             CK_ULONG inLen, CK_BYTE_PTR out, CK_ULONG_PTR pulOut) {
  Sess* s;
  CK_RV rv = session_of(hSession, &s);
  if (rv != CKR_OK) return rv;
  Op* op = &(s->*which);
  if (!op->active) return CKR_OPERATION_NOT_INITIALIZED;
  if (!pulOut || (!in && inLen)) {
    op->active = false;
    return CKR_ARGUMENTS_BAD;
  }
  CK_ULONG needed = cfg_ulong(lengthKey, inLen);
  switch (deliver(out, pulOut, needed)) {
    case kLengthOnly:
      return CKR_OK;
    case kTooSmall:
      return CKR_BUFFER_TOO_SMALL;
    case kWrite:
      break;
  }
  for (CK_ULONG i = 0; i < needed; ++i) {
    unsigned char b = inLen ? in[i % inLen] : 0;
    out[i] = static_cast<CK_BYTE>(b ^ op->keyByte);
  }
  op->active = false;
  return CKR_OK;
}

// Size query / too-small / copy over a fixed list of CK_ULONG values (slot and mechanism lists),
// with the configured quirks for the first and the second call.
CK_RV deliver_list(const CK_ULONG* values, CK_ULONG count, CK_ULONG_PTR out, CK_ULONG_PTR pulCount,
                   const char* firstKey, const char* secondKey) {
  if (!out) {
    *pulCount = cfg_ulong(firstKey, count);
    return CKR_OK;
  }
  // The filling call reports `claimed` entries. Below the real count it
  // fills only that many; above it (a misbehaving module) it still writes
  // only the entries it has.
  CK_ULONG claimed = cfg_ulong(secondKey, count);
  CK_ULONG filled = claimed < count ? claimed : count;
  if (*pulCount < filled) {
    *pulCount = filled;
    return CKR_BUFFER_TOO_SMALL;
  }
  for (CK_ULONG i = 0; i < filled; ++i) out[i] = values[i];
  *pulCount = claimed;
  return CKR_OK;
}

void unsupported_args_session(Line* l, CK_SESSION_HANDLE hSession) {
  ln_ul(l, "hSession", hSession);
}

CK_RV not_supported(Call& c) {
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(CKR_FUNCTION_NOT_SUPPORTED);
}

// ---------------------------------------------------------------------------------------------
// General purpose.

CK_RV qr_C_Initialize(CK_VOID_PTR pInitArgs) {
  Call c("C_Initialize");
  const CK_C_INITIALIZE_ARGS* a = static_cast<const CK_C_INITIALIZE_ARGS*>(pInitArgs);
  ln_initargs(c.line(), "pInitArgs", a);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  if (g_state.initialized) return c.done(CKR_CRYPTOKI_ALREADY_INITIALIZED);
  if (a) {
    if (a->pReserved) return c.done(CKR_ARGUMENTS_BAD);
    int given = (a->CreateMutex != NULL) + (a->DestroyMutex != NULL) + (a->LockMutex != NULL) +
                (a->UnlockMutex != NULL);
    if (given != 0 && given != 4) return c.done(CKR_ARGUMENTS_BAD);
  }
  return c.done(state_initialize());
}

CK_RV qr_C_Finalize(CK_VOID_PTR pReserved) {
  Call c("C_Finalize");
  ln_ptr(c.line(), "pReserved", pReserved);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  if (pReserved) return c.done(CKR_ARGUMENTS_BAD);
  state_finalize();
  return c.done(CKR_OK);
}

CK_RV qr_C_GetInfo(CK_INFO_PTR pInfo) {
  Call c("C_GetInfo");
  ln_out(c.line(), "pInfo", pInfo);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  if (!pInfo) return c.done(CKR_ARGUMENTS_BAD);
  pInfo->cryptokiVersion = version_of(cfg_get("INFO_VERSION"), 2, 40);
  cfg_text_field(static_cast<size_t>(-1), "INFO_MANUFACTURER", pInfo->manufacturerID, 32,
                 "Quillon test");
  pInfo->flags = cfg_ulong("INFO_FLAGS", 0);
  cfg_text_field(static_cast<size_t>(-1), "INFO_DESCRIPTION", pInfo->libraryDescription, 32,
                 "qrec recording module");
  pInfo->libraryVersion = version_of(cfg_get("INFO_LIBVERSION"), 1, 0);
  return c.done(CKR_OK);
}

// ---------------------------------------------------------------------------------------------
// Slots and tokens.

CK_RV qr_C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount) {
  Call c("C_GetSlotList");
  ln_byte(c.line(), "tokenPresent", tokenPresent);
  ln_out(c.line(), "pSlotList", pSlotList);
  ln_inlen(c.line(), "pulCount", pulCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  if (pSlotList && c.forced_second(&rv)) return c.done(rv);
  if (!pulCount) return c.done(CKR_ARGUMENTS_BAD);
  CK_ULONG* ids = static_cast<CK_ULONG*>(malloc((g_state.slotCount + 1) * sizeof(CK_ULONG)));
  if (!ids) return c.done(CKR_HOST_MEMORY);
  CK_ULONG n = 0;
  for (size_t i = 0; i < g_state.slotCount; ++i) {
    if (!tokenPresent || g_state.slots[i].token.present) ids[n++] = g_state.slots[i].id;
  }
  rv = deliver_list(ids, n, pSlotList, pulCount, "SLOTLIST_COUNT", "SLOTLIST_SECOND_COUNT");
  free(ids);
  return c.done(rv);
}

CK_RV qr_C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo) {
  Call c("C_GetSlotInfo");
  ln_ul(c.line(), "slotID", slotID);
  ln_out(c.line(), "pInfo", pInfo);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  long i = slot_index(slotID);
  if (i < 0) return c.done(CKR_SLOT_ID_INVALID);
  if (!pInfo) return c.done(CKR_ARGUMENTS_BAD);
  size_t s = static_cast<size_t>(i);
  char deflt[64];
  snprintf(deflt, sizeof deflt, "qrec slot %lu", static_cast<unsigned long>(s));
  cfg_text_field(s, "SLOT_DESCRIPTION", pInfo->slotDescription, 64, deflt);
  cfg_text_field(s, "SLOT_MANUFACTURER", pInfo->manufacturerID, 32, "Quillon test");
  CK_FLAGS flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT;
  if (g_state.slots[s].token.present) flags |= CKF_TOKEN_PRESENT;
  pInfo->flags = cfg_slot_ulong(s, "SLOT_FLAGS", flags);
  pInfo->hardwareVersion = version_of(cfg_slot_get(s, "SLOT_HWVERSION"), 1, 0);
  pInfo->firmwareVersion = version_of(cfg_slot_get(s, "SLOT_FWVERSION"), 1, 0);
  return c.done(CKR_OK);
}

CK_RV qr_C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo) {
  Call c("C_GetTokenInfo");
  ln_ul(c.line(), "slotID", slotID);
  ln_out(c.line(), "pInfo", pInfo);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pInfo) return c.done(CKR_ARGUMENTS_BAD);
  const Token* t = &g_state.slots[s].token;
  char deflt[64];
  if (t->labelSet) {
    memcpy(pInfo->label, t->label, 32);
  } else {
    snprintf(deflt, sizeof deflt, "qrec token %lu", static_cast<unsigned long>(s));
    cfg_text_field(s, "TOKEN_LABEL", pInfo->label, 32, deflt);
  }
  cfg_text_field(s, "TOKEN_MANUFACTURER", pInfo->manufacturerID, 32, "Quillon test");
  cfg_text_field(s, "TOKEN_MODEL", pInfo->model, 16, "qrec");
  snprintf(deflt, sizeof deflt, "QREC%012lu", static_cast<unsigned long>(s));
  cfg_text_field(s, "TOKEN_SERIAL", pInfo->serialNumber, 16, deflt);
  pInfo->flags = token_flags(s);
  pInfo->ulMaxSessionCount = cfg_slot_ulong(s, "TOKEN_MAX_SESSION_COUNT", 16);
  pInfo->ulSessionCount = cfg_slot_ulong(s, "TOKEN_SESSION_COUNT", token_session_count(s, false));
  pInfo->ulMaxRwSessionCount = cfg_slot_ulong(s, "TOKEN_MAX_RW_SESSION_COUNT", 16);
  pInfo->ulRwSessionCount =
      cfg_slot_ulong(s, "TOKEN_RW_SESSION_COUNT", token_session_count(s, true));
  pInfo->ulMaxPinLen = cfg_slot_ulong(s, "TOKEN_MAX_PIN_LEN", 32);
  pInfo->ulMinPinLen = cfg_slot_ulong(s, "TOKEN_MIN_PIN_LEN", 4);
  pInfo->ulTotalPublicMemory = cfg_slot_ulong(s, "TOKEN_TOTAL_PUBLIC_MEMORY", 0x8000);
  pInfo->ulFreePublicMemory = cfg_slot_ulong(s, "TOKEN_FREE_PUBLIC_MEMORY", 0x4000);
  pInfo->ulTotalPrivateMemory = cfg_slot_ulong(s, "TOKEN_TOTAL_PRIVATE_MEMORY", 0x8000);
  pInfo->ulFreePrivateMemory = cfg_slot_ulong(s, "TOKEN_FREE_PRIVATE_MEMORY", 0x4000);
  pInfo->hardwareVersion = version_of(cfg_slot_get(s, "TOKEN_HWVERSION"), 1, 0);
  pInfo->firmwareVersion = version_of(cfg_slot_get(s, "TOKEN_FWVERSION"), 1, 0);
  cfg_text_field(s, "TOKEN_UTCTIME", pInfo->utcTime, 16, "2024010112000000");
  return c.done(CKR_OK);
}

CK_RV qr_C_GetMechanismList(CK_SLOT_ID slotID, CK_MECHANISM_TYPE_PTR pMechanismList,
                            CK_ULONG_PTR pulCount) {
  Call c("C_GetMechanismList");
  ln_ul(c.line(), "slotID", slotID);
  ln_out(c.line(), "pMechanismList", pMechanismList);
  ln_inlen(c.line(), "pulCount", pulCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  if (pMechanismList && c.forced_second(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pulCount) return c.done(CKR_ARGUMENTS_BAD);
  size_t n = 0;
  CK_ULONG* list = mechanism_list(s, &n);
  rv = deliver_list(list, n, pMechanismList, pulCount, "MECHLIST_COUNT", "MECHLIST_SECOND_COUNT");
  free(list);
  return c.done(rv);
}

CK_RV qr_C_GetMechanismInfo(CK_SLOT_ID slotID, CK_MECHANISM_TYPE type,
                            CK_MECHANISM_INFO_PTR pInfo) {
  Call c("C_GetMechanismInfo");
  ln_ul(c.line(), "slotID", slotID);
  ln_ul(c.line(), "type", type);
  ln_out(c.line(), "pInfo", pInfo);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!mechanism_supported(s, type)) return c.done(CKR_MECHANISM_INVALID);
  if (!pInfo) return c.done(CKR_ARGUMENTS_BAD);
  char key[64];
  snprintf(key, sizeof key, "MECHINFO_%llx", static_cast<unsigned long long>(type));
  const char* text = cfg_slot_get(s, key);
  if (!text) {
    snprintf(key, sizeof key, "MECHINFO_0x%llx", static_cast<unsigned long long>(type));
    text = cfg_slot_get(s, key);
  }
  if (!text) text = cfg_slot_get(s, "MECHINFO_DEFAULT");
  size_t n = 0;
  CK_ULONG* v = cfg_parse_list(text, &n);
  if (v && n >= 3) {
    pInfo->ulMinKeySize = v[0];
    pInfo->ulMaxKeySize = v[1];
    pInfo->flags = v[2];
  } else {
    pInfo->ulMinKeySize = 1024;
    pInfo->ulMaxKeySize = 4096;
    pInfo->flags = kDefaultMechanismFlags;
  }
  free(v);
  return c.done(CKR_OK);
}

CK_RV qr_C_InitToken(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen,
                     CK_UTF8CHAR_PTR pLabel) {
  Call c("C_InitToken");
  ln_ul(c.line(), "slotID", slotID);
  ln_in(c.line(), "pPin", pPin, ulPinLen);
  ln_bytes(c.line(), "pLabel", pLabel, 32);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (token_session_count(s, false)) return c.done(CKR_SESSION_EXISTS);
  if (!pLabel) return c.done(CKR_ARGUMENTS_BAD);
  Token* t = &g_state.slots[s].token;
  if (!pPin) {
    if (ulPinLen || !protected_path(s)) return c.done(CKR_ARGUMENTS_BAD);
  } else if (!pin_matches(t->soPin, t->soPinLen, pPin, ulPinLen)) {
    return c.done(CKR_PIN_INCORRECT);
  }
  memcpy(t->label, pLabel, 32);
  t->labelSet = true;
  // A fresh token: its objects are gone.
  size_t i = 0;
  while (i < g_state.objectCount) {
    if (g_state.objects[i]->slot == s) {
      object_destroy(g_state.objects[i]);
    } else {
      ++i;
    }
  }
  return c.done(CKR_OK);
}

CK_RV qr_C_InitPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen) {
  Call c("C_InitPIN");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pPin", pPin, ulPinLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (session_state(s) != CKS_RW_SO_FUNCTIONS) return c.done(CKR_USER_NOT_LOGGED_IN);
  Token* t = token_of(s);
  if (!pPin) {
    if (ulPinLen || !protected_path(s->slot)) return c.done(CKR_ARGUMENTS_BAD);
    return c.done(CKR_OK);
  }
  if (ulPinLen > kMaxPin) return c.done(CKR_PIN_LEN_RANGE);
  memcpy(t->userPin, pPin, ulPinLen);
  t->userPinLen = ulPinLen;
  return c.done(CKR_OK);
}

CK_RV qr_C_SetPIN(CK_SESSION_HANDLE hSession, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
                  CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen) {
  Call c("C_SetPIN");
  ln_ul(c.line(), "hSession", hSession);
  ln_bytes(c.line(), "pOldPin", pOldPin, ulOldLen);
  ln_ul(c.line(), "ulOldLen", ulOldLen);
  ln_bytes(c.line(), "pNewPin", pNewPin, ulNewLen);
  ln_ul(c.line(), "ulNewLen", ulNewLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!(s->flags & CKF_RW_SESSION)) return c.done(CKR_SESSION_READ_ONLY);
  if (!pOldPin && !pNewPin && !ulOldLen && !ulNewLen && protected_path(s->slot)) {
    return c.done(CKR_OK);
  }
  if (!pOldPin || !pNewPin) return c.done(CKR_ARGUMENTS_BAD);
  Token* t = token_of(s);
  bool so = t->login == static_cast<int>(CKU_SO);
  unsigned char* pin = so ? t->soPin : t->userPin;
  CK_ULONG* len = so ? &t->soPinLen : &t->userPinLen;
  if (!pin_matches(pin, *len, pOldPin, ulOldLen)) return c.done(CKR_PIN_INCORRECT);
  if (ulNewLen > kMaxPin) return c.done(CKR_PIN_LEN_RANGE);
  memcpy(pin, pNewPin, ulNewLen);
  *len = ulNewLen;
  return c.done(CKR_OK);
}

// ---------------------------------------------------------------------------------------------
// Sessions.

CK_RV qr_C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication,
                       CK_NOTIFY Notify, CK_SESSION_HANDLE_PTR phSession) {
  Call c("C_OpenSession");
  ln_ul(c.line(), "slotID", slotID);
  ln_ul(c.line(), "flags", flags);
  ln_ptr(c.line(), "pApplication", pApplication);
  ln_ptr(c.line(), "Notify", reinterpret_cast<const void*>(Notify));
  ln_out(c.line(), "phSession", phSession);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!(flags & CKF_SERIAL_SESSION)) return c.done(CKR_SESSION_PARALLEL_NOT_SUPPORTED);
  if (!phSession) return c.done(CKR_ARGUMENTS_BAD);
  if (!(flags & CKF_RW_SESSION) && g_state.slots[s].token.login == static_cast<int>(CKU_SO)) {
    return c.done(CKR_SESSION_READ_WRITE_SO_EXISTS);
  }
  if (g_state.sessionCount == g_state.sessionCap) {
    size_t cap = g_state.sessionCap ? g_state.sessionCap * 2 : 16;
    Sess* grown = static_cast<Sess*>(realloc(g_state.sessions, cap * sizeof(Sess)));
    if (!grown) return c.done(CKR_HOST_MEMORY);
    g_state.sessions = grown;
    g_state.sessionCap = cap;
  }
  Sess* n = &g_state.sessions[g_state.sessionCount++];
  memset(n, 0, sizeof *n);
  n->handle = g_state.nextSession++;
  n->slot = s;
  n->flags = flags & (CKF_SERIAL_SESSION | CKF_RW_SESSION);
  *phSession = n->handle;
  return c.done(CKR_OK);
}

CK_RV qr_C_CloseSession(CK_SESSION_HANDLE hSession) {
  Call c("C_CloseSession");
  ln_ul(c.line(), "hSession", hSession);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  session_close(s);
  return c.done(CKR_OK);
}

CK_RV qr_C_CloseAllSessions(CK_SLOT_ID slotID) {
  Call c("C_CloseAllSessions");
  ln_ul(c.line(), "slotID", slotID);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  size_t s;
  rv = token_slot(slotID, &s);
  if (rv != CKR_OK) return c.done(rv);
  size_t i = g_state.sessionCount;
  while (i > 0) {
    --i;
    if (i < g_state.sessionCount && g_state.sessions[i].slot == s) {
      session_close(&g_state.sessions[i]);
    }
  }
  g_state.slots[s].token.login = -1;
  return c.done(CKR_OK);
}

CK_RV qr_C_GetSessionInfo(CK_SESSION_HANDLE hSession, CK_SESSION_INFO_PTR pInfo) {
  Call c("C_GetSessionInfo");
  ln_ul(c.line(), "hSession", hSession);
  ln_out(c.line(), "pInfo", pInfo);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pInfo) return c.done(CKR_ARGUMENTS_BAD);
  pInfo->slotID = g_state.slots[s->slot].id;
  pInfo->state = session_state(s);
  pInfo->flags = s->flags;
  pInfo->ulDeviceError = cfg_ulong("DEVICE_ERROR", 0);
  return c.done(CKR_OK);
}

CK_RV qr_C_GetOperationState(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pOperationState,
                             CK_ULONG_PTR pulOperationStateLen) {
  Call c("C_GetOperationState");
  unsupported_args_session(c.line(), hSession);
  ln_outlen(c.line(), "pOperationState", pOperationState, pulOperationStateLen);
  return not_supported(c);
}

CK_RV qr_C_SetOperationState(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pOperationState,
                             CK_ULONG ulOperationStateLen, CK_OBJECT_HANDLE hEncryptionKey,
                             CK_OBJECT_HANDLE hAuthenticationKey) {
  Call c("C_SetOperationState");
  unsupported_args_session(c.line(), hSession);
  ln_in(c.line(), "pOperationState", pOperationState, ulOperationStateLen);
  ln_ul(c.line(), "hEncryptionKey", hEncryptionKey);
  ln_ul(c.line(), "hAuthenticationKey", hAuthenticationKey);
  return not_supported(c);
}

CK_RV qr_C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin,
                 CK_ULONG ulPinLen) {
  Call c("C_Login");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "userType", userType);
  ln_in(c.line(), "pPin", pPin, ulPinLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (userType != CKU_SO && userType != CKU_USER && userType != CKU_CONTEXT_SPECIFIC) {
    return c.done(CKR_USER_TYPE_INVALID);
  }
  bool checkPin = true;
  if (!pPin) {
    // Protected authentication path: the PIN is entered on the reader.
    if (ulPinLen || !protected_path(s->slot)) return c.done(CKR_ARGUMENTS_BAD);
    checkPin = false;
  }
  Token* t = token_of(s);
  if (userType == CKU_CONTEXT_SPECIFIC) {
    if (t->login != static_cast<int>(CKU_USER)) return c.done(CKR_USER_NOT_LOGGED_IN);
    if (checkPin && !pin_matches(t->userPin, t->userPinLen, pPin, ulPinLen)) {
      return c.done(CKR_PIN_INCORRECT);
    }
    return c.done(CKR_OK);
  }
  if (t->login == static_cast<int>(userType)) return c.done(CKR_USER_ALREADY_LOGGED_IN);
  if (t->login != -1) return c.done(CKR_USER_ANOTHER_ALREADY_LOGGED_IN);
  if (userType == CKU_SO &&
      token_session_count(s->slot, false) != token_session_count(s->slot, true)) {
    return c.done(CKR_SESSION_READ_ONLY_EXISTS);
  }
  if (checkPin) {
    bool ok = userType == CKU_SO ? pin_matches(t->soPin, t->soPinLen, pPin, ulPinLen)
                                 : pin_matches(t->userPin, t->userPinLen, pPin, ulPinLen);
    if (!ok) return c.done(CKR_PIN_INCORRECT);
  }
  t->login = static_cast<int>(userType);
  return c.done(CKR_OK);
}

CK_RV qr_C_Logout(CK_SESSION_HANDLE hSession) {
  Call c("C_Logout");
  ln_ul(c.line(), "hSession", hSession);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Token* t = token_of(s);
  if (t->login == -1) return c.done(CKR_USER_NOT_LOGGED_IN);
  t->login = -1;
  return c.done(CKR_OK);
}

// ---------------------------------------------------------------------------------------------
// Objects.

CK_RV qr_C_CreateObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                        CK_OBJECT_HANDLE_PTR phObject) {
  Call c("C_CreateObject");
  ln_ul(c.line(), "hSession", hSession);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, true);
  ln_ul(c.line(), "ulCount", ulCount);
  ln_out(c.line(), "phObject", phObject);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!phObject) return c.done(CKR_ARGUMENTS_BAD);
  Obj* o;
  rv = object_create(s, pTemplate, ulCount, &o);
  if (rv != CKR_OK) return c.done(rv);
  *phObject = o->handle;
  return c.done(CKR_OK);
}

CK_RV qr_C_CopyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                      CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                      CK_OBJECT_HANDLE_PTR phNewObject) {
  Call c("C_CopyObject");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hObject", hObject);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, true);
  ln_ul(c.line(), "ulCount", ulCount);
  ln_out(c.line(), "phNewObject", phNewObject);
  return not_supported(c);
}

CK_RV qr_C_DestroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject) {
  Call c("C_DestroyObject");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hObject", hObject);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Obj* o = object_visible(s, hObject);
  if (!o) return c.done(CKR_OBJECT_HANDLE_INVALID);
  if (o->owner == 0 && !(s->flags & CKF_RW_SESSION)) return c.done(CKR_SESSION_READ_ONLY);
  if (!object_bool(o, CKA_DESTROYABLE, true)) return c.done(CKR_ACTION_PROHIBITED);
  object_destroy(o);
  return c.done(CKR_OK);
}

CK_RV qr_C_GetObjectSize(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                         CK_ULONG_PTR pulSize) {
  Call c("C_GetObjectSize");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hObject", hObject);
  ln_out(c.line(), "pulSize", pulSize);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Obj* o = object_visible(s, hObject);
  if (!o) return c.done(CKR_OBJECT_HANDLE_INVALID);
  if (!pulSize) return c.done(CKR_ARGUMENTS_BAD);
  CK_ULONG size = 0;
  for (CK_ULONG i = 0; i < o->count; ++i) size += o->attrs[i].len;
  *pulSize = size;
  return c.done(CKR_OK);
}

CK_RV qr_C_GetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                             CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Call c("C_GetAttributeValue");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hObject", hObject);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, false);
  ln_ul(c.line(), "ulCount", ulCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  bool anyBuffer = false;
  bool allNull = true;
  for (CK_ULONG i = 0; pTemplate && i < ulCount; ++i) {
    if (pTemplate[i].pValue) {
      anyBuffer = true;
      allNull = false;
    }
  }
  if (anyBuffer && c.forced_second(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Obj* o = object_visible(s, hObject);
  if (!o) return c.done(CKR_OBJECT_HANDLE_INVALID);
  if (!pTemplate && ulCount) return c.done(CKR_ARGUMENTS_BAD);
  CK_ULONG forcedLen;
  if (allNull && cfg_parse_ulong(cfg_get("ATTR_LEN"), &forcedLen)) {
    for (CK_ULONG i = 0; i < ulCount; ++i) pTemplate[i].ulValueLen = forcedLen;
    return c.done(CKR_OK);
  }
  bool sensitive = object_bool(o, CKA_SENSITIVE, false) || !object_bool(o, CKA_EXTRACTABLE, true);
  rv = CKR_OK;
  for (CK_ULONG i = 0; i < ulCount; ++i) {
    CK_ATTRIBUTE* a = &pTemplate[i];
    const Attr* have = object_attr(o, a->type);
    if (sensitive && is_sensitive_type(a->type)) {
      a->ulValueLen = CK_UNAVAILABLE_INFORMATION;
      if (rv == CKR_OK) rv = CKR_ATTRIBUTE_SENSITIVE;
    } else if (!have) {
      a->ulValueLen = CK_UNAVAILABLE_INFORMATION;
      if (rv == CKR_OK) rv = CKR_ATTRIBUTE_TYPE_INVALID;
    } else if (!a->pValue) {
      a->ulValueLen = have->len;
    } else if (a->ulValueLen < have->len) {
      // The length needed is reported, so a caller can retry with a larger buffer.
      a->ulValueLen = have->len;
      if (rv == CKR_OK) rv = CKR_BUFFER_TOO_SMALL;
    } else {
      if (have->len) memcpy(a->pValue, have->val, have->len);
      a->ulValueLen = have->len;
    }
  }
  return c.done(rv);
}

CK_RV qr_C_SetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                             CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
  Call c("C_SetAttributeValue");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hObject", hObject);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, true);
  ln_ul(c.line(), "ulCount", ulCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Obj* o = object_visible(s, hObject);
  if (!o) return c.done(CKR_OBJECT_HANDLE_INVALID);
  rv = template_check(pTemplate, ulCount);
  if (rv != CKR_OK) return c.done(rv);
  if (o->owner == 0 && !(s->flags & CKF_RW_SESSION)) return c.done(CKR_SESSION_READ_ONLY);
  if (!object_bool(o, CKA_MODIFIABLE, true)) return c.done(CKR_ACTION_PROHIBITED);
  for (CK_ULONG i = 0; i < ulCount; ++i) {
    if (!object_set(o, pTemplate[i].type, pTemplate[i].pValue, pTemplate[i].ulValueLen)) {
      return c.done(CKR_HOST_MEMORY);
    }
  }
  return c.done(CKR_OK);
}

CK_RV qr_C_FindObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate,
                           CK_ULONG ulCount) {
  Call c("C_FindObjectsInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, true);
  ln_ul(c.line(), "ulCount", ulCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (s->findActive) return c.done(CKR_OPERATION_ACTIVE);
  rv = template_check(pTemplate, ulCount);
  if (rv != CKR_OK) return c.done(rv);
  CK_OBJECT_HANDLE* found =
      static_cast<CK_OBJECT_HANDLE*>(malloc((g_state.objectCount + 1) * sizeof(CK_OBJECT_HANDLE)));
  if (!found) return c.done(CKR_HOST_MEMORY);
  CK_ULONG n = 0;
  for (size_t i = 0; i < g_state.objectCount; ++i) {
    const Obj* o = g_state.objects[i];
    if (!object_visible(s, o->handle)) continue;
    bool match = true;
    for (CK_ULONG a = 0; a < ulCount && match; ++a) {
      const Attr* have = object_attr(o, pTemplate[a].type);
      match = have && have->len == pTemplate[a].ulValueLen &&
              (have->len == 0 || memcmp(have->val, pTemplate[a].pValue, have->len) == 0);
    }
    if (match) found[n++] = o->handle;
  }
  s->findActive = true;
  s->found = found;
  s->foundCount = n;
  s->foundPos = 0;
  return c.done(CKR_OK);
}

CK_RV qr_C_FindObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject,
                       CK_ULONG ulMaxObjectCount, CK_ULONG_PTR pulObjectCount) {
  Call c("C_FindObjects");
  ln_ul(c.line(), "hSession", hSession);
  ln_out(c.line(), "phObject", phObject);
  ln_ul(c.line(), "ulMaxObjectCount", ulMaxObjectCount);
  ln_out(c.line(), "pulObjectCount", pulObjectCount);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!s->findActive) return c.done(CKR_OPERATION_NOT_INITIALIZED);
  if (!phObject || !pulObjectCount) return c.done(CKR_ARGUMENTS_BAD);
  CK_ULONG n = 0;
  while (n < ulMaxObjectCount && s->foundPos < s->foundCount) {
    CK_OBJECT_HANDLE h = s->found[s->foundPos++];
    // Skip objects destroyed since the search started.
    if (object_visible(s, h)) phObject[n++] = h;
  }
  *pulObjectCount = n;
  return c.done(CKR_OK);
}

CK_RV qr_C_FindObjectsFinal(CK_SESSION_HANDLE hSession) {
  Call c("C_FindObjectsFinal");
  ln_ul(c.line(), "hSession", hSession);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!s->findActive) return c.done(CKR_OPERATION_NOT_INITIALIZED);
  free(s->found);
  s->found = NULL;
  s->foundCount = s->foundPos = 0;
  s->findActive = false;
  return c.done(CKR_OK);
}

// ---------------------------------------------------------------------------------------------
// Encryption, decryption and signing.

CK_RV qr_C_EncryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                       CK_OBJECT_HANDLE hKey) {
  Call c("C_EncryptInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(op_init(hSession, pMechanism, hKey, &Sess::encrypt, CKA_ENCRYPT));
}

CK_RV qr_C_Encrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                   CK_BYTE_PTR pEncryptedData, CK_ULONG_PTR pulEncryptedDataLen) {
  Call c("C_Encrypt");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pData", pData, ulDataLen);
  ln_outlen(c.line(), "pEncryptedData", pEncryptedData, pulEncryptedDataLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(op_xor(hSession, &Sess::encrypt, "ENCRYPT_LEN", pData, ulDataLen, pEncryptedData,
                       pulEncryptedDataLen));
}

CK_RV qr_C_EncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                         CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen) {
  Call c("C_EncryptUpdate");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pPart", pPart, ulPartLen);
  ln_outlen(c.line(), "pEncryptedPart", pEncryptedPart, pulEncryptedPartLen);
  return not_supported(c);
}

CK_RV qr_C_EncryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastEncryptedPart,
                        CK_ULONG_PTR pulLastEncryptedPartLen) {
  Call c("C_EncryptFinal");
  ln_ul(c.line(), "hSession", hSession);
  ln_outlen(c.line(), "pLastEncryptedPart", pLastEncryptedPart, pulLastEncryptedPartLen);
  return not_supported(c);
}

CK_RV qr_C_DecryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                       CK_OBJECT_HANDLE hKey) {
  Call c("C_DecryptInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(op_init(hSession, pMechanism, hKey, &Sess::decrypt, CKA_DECRYPT));
}

CK_RV qr_C_Decrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedData,
                   CK_ULONG ulEncryptedDataLen, CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen) {
  Call c("C_Decrypt");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pEncryptedData", pEncryptedData, ulEncryptedDataLen);
  ln_outlen(c.line(), "pData", pData, pulDataLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(op_xor(hSession, &Sess::decrypt, "DECRYPT_LEN", pEncryptedData, ulEncryptedDataLen,
                       pData, pulDataLen));
}

CK_RV qr_C_DecryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart,
                         CK_ULONG ulEncryptedPartLen, CK_BYTE_PTR pPart, CK_ULONG_PTR pulPartLen) {
  Call c("C_DecryptUpdate");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pEncryptedPart", pEncryptedPart, ulEncryptedPartLen);
  ln_outlen(c.line(), "pPart", pPart, pulPartLen);
  return not_supported(c);
}

CK_RV qr_C_DecryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastPart,
                        CK_ULONG_PTR pulLastPartLen) {
  Call c("C_DecryptFinal");
  ln_ul(c.line(), "hSession", hSession);
  ln_outlen(c.line(), "pLastPart", pLastPart, pulLastPartLen);
  return not_supported(c);
}

CK_RV qr_C_DigestInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism) {
  Call c("C_DigestInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  return not_supported(c);
}

CK_RV qr_C_Digest(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                  CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen) {
  Call c("C_Digest");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pData", pData, ulDataLen);
  ln_outlen(c.line(), "pDigest", pDigest, pulDigestLen);
  return not_supported(c);
}

CK_RV qr_C_DigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
  Call c("C_DigestUpdate");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pPart", pPart, ulPartLen);
  return not_supported(c);
}

CK_RV qr_C_DigestKey(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hKey) {
  Call c("C_DigestKey");
  ln_ul(c.line(), "hSession", hSession);
  ln_ul(c.line(), "hKey", hKey);
  return not_supported(c);
}

CK_RV qr_C_DigestFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen) {
  Call c("C_DigestFinal");
  ln_ul(c.line(), "hSession", hSession);
  ln_outlen(c.line(), "pDigest", pDigest, pulDigestLen);
  return not_supported(c);
}

CK_RV qr_C_SignInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                    CK_OBJECT_HANDLE hKey) {
  Call c("C_SignInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  return c.done(op_init(hSession, pMechanism, hKey, &Sess::sign, CKA_SIGN));
}

CK_RV qr_C_Sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen) {
  Call c("C_Sign");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pData", pData, ulDataLen);
  ln_outlen(c.line(), "pSignature", pSignature, pulSignatureLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  Op* op = &s->sign;
  if (!op->active) return c.done(CKR_OPERATION_NOT_INITIALIZED);
  if (!pulSignatureLen || (!pData && ulDataLen)) {
    op->active = false;
    return c.done(CKR_ARGUMENTS_BAD);
  }
  CK_ULONG needed = cfg_ulong("SIG_LEN", 256);
  switch (deliver(pSignature, pulSignatureLen, needed)) {
    case kLengthOnly:
      return c.done(CKR_OK);
    case kTooSmall:
      return c.done(CKR_BUFFER_TOO_SMALL);
    case kWrite:
      break;
  }
  for (CK_ULONG i = 0; i < needed; ++i) {
    unsigned char b = ulDataLen ? pData[i % ulDataLen] : 0;
    pSignature[i] = static_cast<CK_BYTE>(b ^ op->keyByte ^ static_cast<unsigned char>(i));
  }
  op->active = false;
  return c.done(CKR_OK);
}

CK_RV qr_C_SignUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
  Call c("C_SignUpdate");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pPart", pPart, ulPartLen);
  return not_supported(c);
}

CK_RV qr_C_SignFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature,
                     CK_ULONG_PTR pulSignatureLen) {
  Call c("C_SignFinal");
  ln_ul(c.line(), "hSession", hSession);
  ln_outlen(c.line(), "pSignature", pSignature, pulSignatureLen);
  return not_supported(c);
}

CK_RV qr_C_SignRecoverInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                           CK_OBJECT_HANDLE hKey) {
  Call c("C_SignRecoverInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  return not_supported(c);
}

CK_RV qr_C_SignRecover(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                       CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen) {
  Call c("C_SignRecover");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pData", pData, ulDataLen);
  ln_outlen(c.line(), "pSignature", pSignature, pulSignatureLen);
  return not_supported(c);
}

CK_RV qr_C_VerifyInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                      CK_OBJECT_HANDLE hKey) {
  Call c("C_VerifyInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  return not_supported(c);
}

CK_RV qr_C_Verify(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                  CK_BYTE_PTR pSignature, CK_ULONG ulSignatureLen) {
  Call c("C_Verify");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pData", pData, ulDataLen);
  ln_in(c.line(), "pSignature", pSignature, ulSignatureLen);
  return not_supported(c);
}

CK_RV qr_C_VerifyUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
  Call c("C_VerifyUpdate");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pPart", pPart, ulPartLen);
  return not_supported(c);
}

CK_RV qr_C_VerifyFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature,
                       CK_ULONG ulSignatureLen) {
  Call c("C_VerifyFinal");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pSignature", pSignature, ulSignatureLen);
  return not_supported(c);
}

CK_RV qr_C_VerifyRecoverInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                             CK_OBJECT_HANDLE hKey) {
  Call c("C_VerifyRecoverInit");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hKey", hKey);
  return not_supported(c);
}

CK_RV qr_C_VerifyRecover(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature,
                         CK_ULONG ulSignatureLen, CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen) {
  Call c("C_VerifyRecover");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pSignature", pSignature, ulSignatureLen);
  ln_outlen(c.line(), "pData", pData, pulDataLen);
  return not_supported(c);
}

// The four dual-function updates share one argument shape.
CK_RV dual_update(const char* name, const char* inName, const char* inLenName, const char* outName,
                  const char* outLenName, CK_SESSION_HANDLE hSession, CK_BYTE_PTR in,
                  CK_ULONG inLen, CK_BYTE_PTR out, CK_ULONG_PTR pulOut) {
  Call c(name);
  ln_ul(c.line(), "hSession", hSession);
  ln_bytes(c.line(), inName, in, inLen);
  ln_ul(c.line(), inLenName, inLen);
  ln_out(c.line(), outName, out);
  ln_inlen(c.line(), outLenName, pulOut);
  return not_supported(c);
}

CK_RV qr_C_DigestEncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                               CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen) {
  return dual_update("C_DigestEncryptUpdate", "pPart", "ulPartLen", "pEncryptedPart",
                     "pulEncryptedPartLen", hSession, pPart, ulPartLen, pEncryptedPart,
                     pulEncryptedPartLen);
}

CK_RV qr_C_DecryptDigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart,
                               CK_ULONG ulEncryptedPartLen, CK_BYTE_PTR pPart,
                               CK_ULONG_PTR pulPartLen) {
  return dual_update("C_DecryptDigestUpdate", "pEncryptedPart", "ulEncryptedPartLen", "pPart",
                     "pulPartLen", hSession, pEncryptedPart, ulEncryptedPartLen, pPart, pulPartLen);
}

CK_RV qr_C_SignEncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                             CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen) {
  return dual_update("C_SignEncryptUpdate", "pPart", "ulPartLen", "pEncryptedPart",
                     "pulEncryptedPartLen", hSession, pPart, ulPartLen, pEncryptedPart,
                     pulEncryptedPartLen);
}

CK_RV qr_C_DecryptVerifyUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart,
                               CK_ULONG ulEncryptedPartLen, CK_BYTE_PTR pPart,
                               CK_ULONG_PTR pulPartLen) {
  return dual_update("C_DecryptVerifyUpdate", "pEncryptedPart", "ulEncryptedPartLen", "pPart",
                     "pulPartLen", hSession, pEncryptedPart, ulEncryptedPartLen, pPart, pulPartLen);
}

// ---------------------------------------------------------------------------------------------
// Key management.

CK_RV qr_C_GenerateKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                       CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount, CK_OBJECT_HANDLE_PTR phKey) {
  Call c("C_GenerateKey");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulCount, true);
  ln_ul(c.line(), "ulCount", ulCount);
  ln_out(c.line(), "phKey", phKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pMechanism || !phKey) return c.done(CKR_ARGUMENTS_BAD);
  if (!mechanism_supported(s->slot, pMechanism->mechanism)) return c.done(CKR_MECHANISM_INVALID);
  Obj* o;
  rv = object_create(s, pTemplate, ulCount, &o);
  if (rv != CKR_OK) return c.done(rv);
  *phKey = o->handle;
  return c.done(CKR_OK);
}

CK_RV qr_C_GenerateKeyPair(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                           CK_ATTRIBUTE_PTR pPublicKeyTemplate, CK_ULONG ulPublicKeyAttributeCount,
                           CK_ATTRIBUTE_PTR pPrivateKeyTemplate,
                           CK_ULONG ulPrivateKeyAttributeCount, CK_OBJECT_HANDLE_PTR phPublicKey,
                           CK_OBJECT_HANDLE_PTR phPrivateKey) {
  Call c("C_GenerateKeyPair");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_tmpl(c.line(), "pPublicKeyTemplate", pPublicKeyTemplate, ulPublicKeyAttributeCount, true);
  ln_ul(c.line(), "ulPublicKeyAttributeCount", ulPublicKeyAttributeCount);
  ln_tmpl(c.line(), "pPrivateKeyTemplate", pPrivateKeyTemplate, ulPrivateKeyAttributeCount, true);
  ln_ul(c.line(), "ulPrivateKeyAttributeCount", ulPrivateKeyAttributeCount);
  ln_out(c.line(), "phPublicKey", phPublicKey);
  ln_out(c.line(), "phPrivateKey", phPrivateKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pMechanism || !phPublicKey || !phPrivateKey) return c.done(CKR_ARGUMENTS_BAD);
  if (!mechanism_supported(s->slot, pMechanism->mechanism)) return c.done(CKR_MECHANISM_INVALID);
  rv = template_check(pPrivateKeyTemplate, ulPrivateKeyAttributeCount);
  if (rv != CKR_OK) return c.done(rv);
  Obj* pub;
  rv = object_create(s, pPublicKeyTemplate, ulPublicKeyAttributeCount, &pub);
  if (rv != CKR_OK) return c.done(rv);
  Obj* priv;
  rv = object_create(s, pPrivateKeyTemplate, ulPrivateKeyAttributeCount, &priv);
  if (rv != CKR_OK) {
    object_destroy(pub);
    return c.done(rv);
  }
  *phPublicKey = pub->handle;
  *phPrivateKey = priv->handle;
  return c.done(CKR_OK);
}

CK_RV qr_C_WrapKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                   CK_OBJECT_HANDLE hWrappingKey, CK_OBJECT_HANDLE hKey, CK_BYTE_PTR pWrappedKey,
                   CK_ULONG_PTR pulWrappedKeyLen) {
  Call c("C_WrapKey");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hWrappingKey", hWrappingKey);
  ln_ul(c.line(), "hKey", hKey);
  ln_outlen(c.line(), "pWrappedKey", pWrappedKey, pulWrappedKeyLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pMechanism || !pulWrappedKeyLen) return c.done(CKR_ARGUMENTS_BAD);
  if (!mechanism_supported(s->slot, pMechanism->mechanism)) return c.done(CKR_MECHANISM_INVALID);
  Obj* wrapping = object_visible(s, hWrappingKey);
  if (!wrapping) return c.done(CKR_WRAPPING_KEY_HANDLE_INVALID);
  Obj* key = object_visible(s, hKey);
  if (!key) return c.done(CKR_KEY_HANDLE_INVALID);
  if (!object_bool(wrapping, CKA_WRAP, true)) return c.done(CKR_KEY_FUNCTION_NOT_PERMITTED);
  if (!object_bool(key, CKA_EXTRACTABLE, true)) return c.done(CKR_KEY_UNEXTRACTABLE);
  // The wrapped form is the key's CKA_VALUE (or 16 bytes counting up from the low byte of its
  // handle) XORed with the wrapping key's byte.
  const Attr* value = object_attr(key, CKA_VALUE);
  CK_ULONG needed = value ? value->len : 16;
  switch (deliver(pWrappedKey, pulWrappedKeyLen, needed)) {
    case kLengthOnly:
      return c.done(CKR_OK);
    case kTooSmall:
      return c.done(CKR_BUFFER_TOO_SMALL);
    case kWrite:
      break;
  }
  unsigned char kb = key_byte(wrapping);
  for (CK_ULONG i = 0; i < needed; ++i) {
    unsigned char b = value ? value->val[i] : static_cast<unsigned char>((key->handle & 0xff) + i);
    pWrappedKey[i] = static_cast<CK_BYTE>(b ^ kb);
  }
  return c.done(CKR_OK);
}

CK_RV qr_C_UnwrapKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                     CK_OBJECT_HANDLE hUnwrappingKey, CK_BYTE_PTR pWrappedKey,
                     CK_ULONG ulWrappedKeyLen, CK_ATTRIBUTE_PTR pTemplate,
                     CK_ULONG ulAttributeCount, CK_OBJECT_HANDLE_PTR phKey) {
  Call c("C_UnwrapKey");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hUnwrappingKey", hUnwrappingKey);
  ln_in(c.line(), "pWrappedKey", pWrappedKey, ulWrappedKeyLen);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulAttributeCount, true);
  ln_ul(c.line(), "ulAttributeCount", ulAttributeCount);
  ln_out(c.line(), "phKey", phKey);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pMechanism || !phKey || (!pWrappedKey && ulWrappedKeyLen)) {
    return c.done(CKR_ARGUMENTS_BAD);
  }
  if (!mechanism_supported(s->slot, pMechanism->mechanism)) return c.done(CKR_MECHANISM_INVALID);
  Obj* unwrapping = object_visible(s, hUnwrappingKey);
  if (!unwrapping) return c.done(CKR_UNWRAPPING_KEY_HANDLE_INVALID);
  if (!object_bool(unwrapping, CKA_UNWRAP, true)) return c.done(CKR_KEY_FUNCTION_NOT_PERMITTED);
  unsigned char kb = key_byte(unwrapping);
  Obj* o;
  rv = object_create(s, pTemplate, ulAttributeCount, &o);
  if (rv != CKR_OK) return c.done(rv);
  if (!object_attr(o, CKA_VALUE)) {
    unsigned char* plain = static_cast<unsigned char*>(malloc(ulWrappedKeyLen + 1));
    bool ok = plain != NULL;
    if (ok) {
      for (CK_ULONG i = 0; i < ulWrappedKeyLen; ++i) plain[i] = pWrappedKey[i] ^ kb;
      ok = object_set(o, CKA_VALUE, plain, ulWrappedKeyLen);
    }
    free(plain);
    if (!ok) {
      object_destroy(o);
      return c.done(CKR_HOST_MEMORY);
    }
  }
  *phKey = o->handle;
  return c.done(CKR_OK);
}

CK_RV qr_C_DeriveKey(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                     CK_OBJECT_HANDLE hBaseKey, CK_ATTRIBUTE_PTR pTemplate,
                     CK_ULONG ulAttributeCount, CK_OBJECT_HANDLE_PTR phKey) {
  Call c("C_DeriveKey");
  ln_ul(c.line(), "hSession", hSession);
  ln_mech(c.line(), "pMechanism", pMechanism);
  ln_ul(c.line(), "hBaseKey", hBaseKey);
  ln_tmpl(c.line(), "pTemplate", pTemplate, ulAttributeCount, true);
  ln_ul(c.line(), "ulAttributeCount", ulAttributeCount);
  ln_out(c.line(), "phKey", phKey);
  return not_supported(c);
}

// ---------------------------------------------------------------------------------------------
// Random numbers and legacy functions.

CK_RV qr_C_SeedRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSeed, CK_ULONG ulSeedLen) {
  Call c("C_SeedRandom");
  ln_ul(c.line(), "hSession", hSession);
  ln_in(c.line(), "pSeed", pSeed, ulSeedLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!pSeed && ulSeedLen) return c.done(CKR_ARGUMENTS_BAD);
  return c.done(CKR_OK);
}

CK_RV qr_C_GenerateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR RandomData,
                          CK_ULONG ulRandomLen) {
  Call c("C_GenerateRandom");
  ln_ul(c.line(), "hSession", hSession);
  ln_out(c.line(), "RandomData", RandomData);
  ln_ul(c.line(), "ulRandomLen", ulRandomLen);
  CK_RV rv;
  if (c.early(&rv)) return c.done(rv);
  Sess* s;
  rv = session_of(hSession, &s);
  if (rv != CKR_OK) return c.done(rv);
  if (!RandomData && ulRandomLen) return c.done(CKR_ARGUMENTS_BAD);
  // Deterministic "random" bytes: 0, 1, 2, ...
  for (CK_ULONG i = 0; i < ulRandomLen; ++i) RandomData[i] = static_cast<CK_BYTE>(i);
  return c.done(CKR_OK);
}

CK_RV qr_C_GetFunctionStatus(CK_SESSION_HANDLE hSession) {
  Call c("C_GetFunctionStatus");
  ln_ul(c.line(), "hSession", hSession);
  return not_supported(c);
}

CK_RV qr_C_CancelFunction(CK_SESSION_HANDLE hSession) {
  Call c("C_CancelFunction");
  ln_ul(c.line(), "hSession", hSession);
  return not_supported(c);
}

CK_RV qr_C_WaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID_PTR pSlot, CK_VOID_PTR pReserved) {
  Call c("C_WaitForSlotEvent");
  ln_ul(c.line(), "flags", flags);
  ln_out(c.line(), "pSlot", pSlot);
  ln_ptr(c.line(), "pReserved", pReserved);
  return not_supported(c);
}

CK_RV qr_C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList);

// ---------------------------------------------------------------------------------------------
// The function list.

#define QREC_LIST_ENTRY(name) qr_##name,
const CK_FUNCTION_LIST kFullList = {{2, 40}, QREC_FUNCTION_LIST_ENTRIES(QREC_LIST_ENTRY)};
#undef QREC_LIST_ENTRY

CK_FUNCTION_LIST g_list = kFullList;

// True when name appears in the comma-separated list.
bool listed(const char* list, const char* name) {
  if (!list) return false;
  size_t n = strlen(name);
  const char* p = list;
  while (*p) {
    while (*p == ' ' || *p == ',') ++p;
    const char* end = p;
    while (*end && *end != ',' && *end != ' ') ++end;
    if (static_cast<size_t>(end - p) == n && strncmp(p, name, n) == 0) return true;
    p = end;
  }
  return false;
}

CK_RV qr_C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) {
  Call c("C_GetFunctionList");
  ln_out(c.line(), "ppFunctionList", ppFunctionList);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  const char* mode = cfg_get("GETFUNCTIONLIST");
  if (mode && strcmp(mode, "null") == 0) return c.done(CKR_OK);
  CK_ULONG code;
  if (cfg_parse_ulong(mode, &code) && code != CKR_OK) return c.done(code);
  if (!ppFunctionList) return c.done(CKR_ARGUMENTS_BAD);
  *ppFunctionList = &g_list;
  return c.done(CKR_OK);
}

}  // namespace

void apply_function_list_config() {
  const char* nulled = cfg_get("NULLFN");
#define QREC_APPLY_ENTRY(name) g_list.name = listed(nulled, #name) ? NULL : kFullList.name;
  QREC_FUNCTION_LIST_ENTRIES(QREC_APPLY_ENTRY)
#undef QREC_APPLY_ENTRY
}

extern "C" QREC_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) {
  return qr_C_GetFunctionList(ppFunctionList);
}
