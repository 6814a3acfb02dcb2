// Card-specific functions that some modules export by name beside the standard function list:
// reader control blocks, PIN operations with a PUK, and named token parameters. Built without
// them (QREC_NO_VENDOR) the module exports none of these names.
#include "qrec_internal.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Token parameters written with C_SetTokenParam, kept for the life of the process (or until
// qrec_reset).
struct Param {
  char* name;
  unsigned char* value;
  size_t len;
};

const size_t kMaxParams = 64;
Param g_params[kMaxParams];
size_t g_paramCount;

}  // namespace

void vendor_reset() {
  for (size_t i = 0; i < g_paramCount; ++i) {
    free(g_params[i].name);
    free(g_params[i].value);
  }
  g_paramCount = 0;
}

#ifndef QREC_NO_VENDOR

namespace {

Param* param_find(const char* name) {
  for (size_t i = 0; i < g_paramCount; ++i) {
    if (strcmp(g_params[i].name, name) == 0) return &g_params[i];
  }
  return NULL;
}

bool param_store(const char* name, const char* value) {
  size_t len = strlen(value);
  unsigned char* copy = static_cast<unsigned char*>(malloc(len + 1));
  if (!copy) return false;
  memcpy(copy, value, len + 1);
  Param* p = param_find(name);
  if (!p) {
    if (g_paramCount == kMaxParams) {
      free(copy);
      return false;
    }
    char* n = static_cast<char*>(malloc(strlen(name) + 1));
    if (!n) {
      free(copy);
      return false;
    }
    strcpy(n, name);
    p = &g_params[g_paramCount++];
    p->name = n;
    p->value = NULL;
  }
  free(p->value);
  p->value = copy;
  p->len = len;
  return true;
}

// Writes the configured CONTROL_REPLY bytes into the caller's control buffer.
CK_RV control_reply(CK_BYTE_PTR data, CK_ULONG_PTR pulDataLen) {
  const char* reply = cfg_get("CONTROL_REPLY");
  if (!reply) return CKR_OK;
  if (!pulDataLen) return CKR_ARGUMENTS_BAD;
  size_t n = 0;
  unsigned char* bytes = cfg_parse_hex(reply, &n);
  if (!bytes) return CKR_HOST_MEMORY;
  CK_RV rv = CKR_OK;
  if (n > *pulDataLen) {
    rv = CKR_BUFFER_TOO_SMALL;
  } else if (n && !data) {
    rv = CKR_ARGUMENTS_BAD;
  } else if (n) {
    memcpy(data, bytes, n);
  }
  *pulDataLen = n;
  free(bytes);
  return rv;
}

// Journal of a control buffer: its bytes as far as the length on entry says.
void ln_control(Line* l, CK_BYTE_PTR data, CK_ULONG_PTR pulDataLen) {
  if (pulDataLen) {
    ln_bytes(l, "data", data, *pulDataLen);
  } else {
    ln_ptr(l, "data", data);
  }
  ln_inlen(l, "pulDataLen", pulDataLen);
}

bool text_equals(const unsigned char* stored, CK_ULONG storedLen, const CK_UTF8CHAR* text) {
  size_t n = strlen(reinterpret_cast<const char*>(text));
  return n == storedLen && memcmp(stored, text, n) == 0;
}

void set_text(unsigned char* dst, CK_ULONG* len, const CK_UTF8CHAR* text) {
  size_t n = strlen(reinterpret_cast<const char*>(text));
  if (n > kMaxPin) n = kMaxPin;
  memcpy(dst, text, n);
  *len = n;
}

// Session-bound vendor calls need the module initialised and a valid session.
CK_RV vendor_session(CK_SESSION_HANDLE h, Sess** s) {
  if (!g_state.initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  *s = session_find(h);
  return *s ? CKR_OK : CKR_SESSION_HANDLE_INVALID;
}

}  // namespace

extern "C" {

QREC_EXPORT CK_RV C_Control(CK_SLOT_ID slot, CK_ULONG command, CK_BYTE_PTR data,
                            CK_ULONG_PTR pulDataLen) {
  Call c("C_Control");
  ln_ul(c.line(), "slotID", slot);
  ln_ul(c.line(), "command", command);
  ln_control(c.line(), data, pulDataLen);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  return c.done(control_reply(data, pulDataLen));
}

QREC_EXPORT CK_RV C_Control2(CK_UTF8CHAR_PTR readerName, CK_ULONG command, CK_BYTE_PTR data,
                             CK_ULONG_PTR pulDataLen) {
  Call c("C_Control2");
  ln_text(c.line(), "readerName", readerName);
  ln_ul(c.line(), "command", command);
  ln_control(c.line(), data, pulDataLen);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  if (!readerName) return c.done(CKR_ARGUMENTS_BAD);
  return c.done(control_reply(data, pulDataLen));
}

QREC_EXPORT CK_RV C_InitPIN4(CK_SESSION_HANDLE s, CK_UTF8CHAR_PTR puk, CK_ULONG pukLen,
                             CK_UTF8CHAR_PTR newPin, CK_ULONG newPinLen, CK_BYTE option1,
                             CK_BYTE option2) {
  Call c("C_InitPIN4");
  ln_ul(c.line(), "hSession", s);
  ln_text(c.line(), "puk", puk);
  ln_ul(c.line(), "pukLen", pukLen);
  ln_text(c.line(), "newPin", newPin);
  ln_ul(c.line(), "newPinLen", newPinLen);
  ln_byte(c.line(), "option1", option1);
  ln_byte(c.line(), "option2", option2);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  Sess* sess;
  rv = vendor_session(s, &sess);
  if (rv != CKR_OK) return c.done(rv);
  if (!newPin) return c.done(CKR_ARGUMENTS_BAD);
  Token* t = &g_state.slots[sess->slot].token;
  // The PUK unlocks the user PIN; it is the security officer's PIN of this token.
  if (puk && !text_equals(t->soPin, t->soPinLen, puk)) return c.done(CKR_PIN_INCORRECT);
  set_text(t->userPin, &t->userPinLen, newPin);
  return c.done(CKR_OK);
}

QREC_EXPORT CK_RV C_SetPIN4(CK_SESSION_HANDLE s, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLen,
                            CK_UTF8CHAR_PTR newPin, CK_ULONG newLen) {
  Call c("C_SetPIN4");
  ln_ul(c.line(), "hSession", s);
  ln_text(c.line(), "oldPin", oldPin);
  ln_ul(c.line(), "oldLen", oldLen);
  ln_text(c.line(), "newPin", newPin);
  ln_ul(c.line(), "newLen", newLen);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  Sess* sess;
  rv = vendor_session(s, &sess);
  if (rv != CKR_OK) return c.done(rv);
  if (!newPin) return c.done(CKR_ARGUMENTS_BAD);
  Token* t = &g_state.slots[sess->slot].token;
  if (oldPin && !text_equals(t->userPin, t->userPinLen, oldPin)) {
    return c.done(CKR_PIN_INCORRECT);
  }
  set_text(t->userPin, &t->userPinLen, newPin);
  return c.done(CKR_OK);
}

QREC_EXPORT CK_RV C_GetTokenParam(CK_SESSION_HANDLE s, CK_UTF8CHAR_PTR name, CK_ULONG nameLen,
                                  CK_BYTE_PTR value, CK_ULONG_PTR pulValueLen) {
  Call c("C_GetTokenParam");
  ln_ul(c.line(), "hSession", s);
  ln_text(c.line(), "name", name);
  ln_ul(c.line(), "nameLen", nameLen);
  ln_out(c.line(), "value", value);
  ln_inlen(c.line(), "pulValueLen", pulValueLen);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  Sess* sess;
  rv = vendor_session(s, &sess);
  if (rv != CKR_OK) return c.done(rv);
  if (!name || !pulValueLen) return c.done(CKR_ARGUMENTS_BAD);
  const char* text = reinterpret_cast<const char*>(name);
  unsigned char* bytes = NULL;
  size_t n = 0;
  const Param* p = param_find(text);
  if (p) {
    bytes = static_cast<unsigned char*>(malloc(p->len + 1));
    if (bytes) memcpy(bytes, p->value, p->len);
    n = p->len;
  } else {
    size_t keyLen = strlen(text) + sizeof "TOKENPARAM_";
    char* key = static_cast<char*>(malloc(keyLen));
    if (!key) return c.done(CKR_HOST_MEMORY);
    strcpy(key, "TOKENPARAM_");
    strcat(key, text);
    const char* hex = cfg_get(key);
    free(key);
    if (!hex) return c.done(CKR_ARGUMENTS_BAD);
    bytes = cfg_parse_hex(hex, &n);
  }
  if (!bytes) return c.done(CKR_HOST_MEMORY);
  if (!value) {
    rv = CKR_OK;
  } else if (n > *pulValueLen) {
    rv = CKR_BUFFER_TOO_SMALL;
  } else {
    if (n) memcpy(value, bytes, n);
    rv = CKR_OK;
  }
  *pulValueLen = n;
  free(bytes);
  return c.done(rv);
}

QREC_EXPORT CK_RV C_SetTokenParam(CK_SESSION_HANDLE s, CK_UTF8CHAR_PTR name, CK_ULONG nameLen,
                                  CK_UTF8CHAR_PTR value, CK_ULONG valueLen) {
  Call c("C_SetTokenParam");
  ln_ul(c.line(), "hSession", s);
  ln_text(c.line(), "name", name);
  ln_ul(c.line(), "nameLen", nameLen);
  ln_text(c.line(), "value", value);
  ln_ul(c.line(), "valueLen", valueLen);
  CK_RV rv;
  if (c.forced(&rv)) return c.done(rv);
  Sess* sess;
  rv = vendor_session(s, &sess);
  if (rv != CKR_OK) return c.done(rv);
  if (!name || !value) return c.done(CKR_ARGUMENTS_BAD);
  if (!param_store(reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(value))) {
    return c.done(CKR_HOST_MEMORY);
  }
  return c.done(CKR_OK);
}

}  // extern "C"

#endif  // QREC_NO_VENDOR
