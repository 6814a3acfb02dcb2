// In-memory slots, tokens, sessions and objects, and the per-call context that serialises
// calls, re-reads the configuration and writes the journal line.
#include "qrec_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#endif

State g_state;

void vendor_reset();

namespace {

volatile int g_lock;

const CK_ATTRIBUTE_TYPE kIdentrusType = 0x80000201UL;
const CK_ATTRIBUTE_TYPE kLifeCycleType = 0x80004400UL;

void set_pin(unsigned char* dst, CK_ULONG* len, const char* text) {
  size_t n = strlen(text);
  if (n > kMaxPin) n = kMaxPin;
  memcpy(dst, text, n);
  *len = n;
}

void free_slots() {
  free(g_state.slots);
  g_state.slots = NULL;
  g_state.slotCount = 0;
}

void close_all_sessions() {
  while (g_state.sessionCount) session_close(&g_state.sessions[g_state.sessionCount - 1]);
}

void destroy_objects(bool all, size_t keepBelowSlot) {
  size_t i = 0;
  while (i < g_state.objectCount) {
    Obj* o = g_state.objects[i];
    if (all || o->owner != 0 || o->slot >= keepBelowSlot) {
      object_destroy(o);
    } else {
      ++i;
    }
  }
}

Obj* identrus_object(size_t slot) {
  for (size_t i = 0; i < g_state.objectCount; ++i) {
    Obj* o = g_state.objects[i];
    if (o->slot == slot && o->owner == 0 && object_attr(o, kIdentrusType)) return o;
  }
  return NULL;
}

// The application object that some cards carry: found by its vendor attribute 0x80000201
// holding the 32-bit number 0x80008001 in native byte order, with the one-byte life-cycle
// status in attribute 0x80004400.
bool add_identrus_objects(const char* status) {
  size_t n = 0;
  unsigned char* bytes = cfg_parse_hex(status, &n);
  if (!bytes) return false;
  bool ok = true;
  for (size_t s = 0; s < g_state.slotCount && ok; ++s) {
    if (!g_state.slots[s].token.present) continue;
    Obj* o = identrus_object(s);
    if (!o) {
      o = object_new(s, 0);
      if (!o) {
        ok = false;
        break;
      }
      CK_OBJECT_CLASS cls = CKO_DATA;
      CK_BBOOL yes = CK_TRUE;
      CK_BBOOL no = CK_FALSE;
      unsigned int id = 0x80008001u;
      ok = object_set(o, CKA_CLASS, &cls, sizeof cls) && object_set(o, CKA_TOKEN, &yes, 1) &&
           object_set(o, CKA_PRIVATE, &no, 1) && object_set(o, kIdentrusType, &id, 4);
    }
    ok = ok && object_set(o, kLifeCycleType, bytes, n);
  }
  free(bytes);
  return ok;
}

// Fills each token present with the public token data objects that DATA_OBJECTS asks for,
// labelled "object 0", "object 1", ... in creation order.
bool add_data_objects() {
  for (size_t s = 0; s < g_state.slotCount; ++s) {
    if (!g_state.slots[s].token.present) continue;
    CK_ULONG count = cfg_slot_ulong(s, "DATA_OBJECTS", 0);
    for (CK_ULONG i = 0; i < count; ++i) {
      Obj* o = object_new(s, 0);
      if (!o) return false;
      CK_OBJECT_CLASS cls = CKO_DATA;
      CK_BBOOL yes = CK_TRUE;
      CK_BBOOL no = CK_FALSE;
      char label[32];
      int n = snprintf(label, sizeof label, "object %lu", static_cast<unsigned long>(i));
      if (!object_set(o, CKA_CLASS, &cls, sizeof cls) || !object_set(o, CKA_TOKEN, &yes, 1) ||
          !object_set(o, CKA_PRIVATE, &no, 1) ||
          !object_set(o, CKA_LABEL, label, static_cast<CK_ULONG>(n)))
        return false;
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void qrec_lock() {
  while (__atomic_exchange_n(&g_lock, 1, __ATOMIC_ACQUIRE)) {
#ifdef _WIN32
    SwitchToThread();
#else
    sched_yield();
#endif
  }
}

void qrec_unlock() {
  __atomic_store_n(&g_lock, 0, __ATOMIC_RELEASE);
}

Call::Call(const char* function) : function_(function), ended_(false) {
  qrec_lock();
  cfg_refresh();
  ln_begin(&line_, function);
}

Call::~Call() {
  if (!ended_) {
    free(line_.buf);
    line_.buf = NULL;
  }
  qrec_unlock();
}

bool Call::forced(CK_RV* rv) const {
  char key[96];
  snprintf(key, sizeof key, "RV_%s", function_);
  CK_ULONG v;
  if (!cfg_parse_ulong(cfg_get(key), &v)) return false;
  *rv = v;
  return true;
}

bool Call::forced_second(CK_RV* rv) const {
  char key[96];
  snprintf(key, sizeof key, "RV2_%s", function_);
  CK_ULONG v;
  if (!cfg_parse_ulong(cfg_get(key), &v)) return false;
  *rv = v;
  return true;
}

bool Call::early(CK_RV* rv) const {
  if (forced(rv)) return true;
  if (!g_state.initialized) {
    *rv = CKR_CRYPTOKI_NOT_INITIALIZED;
    return true;
  }
  return false;
}

CK_RV Call::done(CK_RV rv) {
  ln_end(&line_, rv);
  ended_ = true;
  return rv;
}

// ---------------------------------------------------------------------------------------------

CK_RV state_initialize() {
  size_t idCount = 0;
  CK_ULONG* ids = cfg_parse_list(cfg_get("SLOT_IDS"), &idCount);
  size_t count = ids ? idCount : static_cast<size_t>(cfg_ulong("SLOTS", 2));
  Slot* slots = static_cast<Slot*>(calloc(count ? count : 1, sizeof(Slot)));
  if (!slots) {
    free(ids);
    return CKR_HOST_MEMORY;
  }
  size_t absentCount = 0;
  CK_ULONG* absent = cfg_parse_list(cfg_get("TOKEN_ABSENT"), &absentCount);
  for (size_t i = 0; i < count; ++i) {
    Slot* s = &slots[i];
    s->id = ids ? ids[i] : static_cast<CK_SLOT_ID>(i);
    s->token.present = true;
    for (size_t a = 0; a < absentCount; ++a) {
      if (absent[a] == s->id) s->token.present = false;
    }
    s->token.login = -1;
    const char* so = cfg_slot_get(i, "SO_PIN");
    const char* user = cfg_slot_get(i, "USER_PIN");
    set_pin(s->token.soPin, &s->token.soPinLen, so ? so : "5678");
    set_pin(s->token.userPin, &s->token.userPinLen, user ? user : "1234");
  }
  free(ids);
  free(absent);

  close_all_sessions();
  free_slots();
  g_state.slots = slots;
  g_state.slotCount = count;

  bool keep = cfg_ulong("KEEP_OBJECTS", 0) != 0;
  destroy_objects(!keep, count);
  if (!keep || !g_state.objectCounterSet) {
    g_state.nextObject = cfg_ulong("OBJECT_BASE", 1);
    g_state.objectCounterSet = true;
  }
  g_state.nextSession = cfg_ulong("SESSION_BASE", 1);

  const char* identrus = cfg_get("IDENTRUS");
  if (identrus && !add_identrus_objects(identrus)) return CKR_HOST_MEMORY;
  if (!add_data_objects()) return CKR_HOST_MEMORY;
  g_state.initialized = true;
  return CKR_OK;
}

void state_finalize() {
  close_all_sessions();
  g_state.initialized = false;
}

void state_reset() {
  close_all_sessions();
  destroy_objects(true, 0);
  free_slots();
  free(g_state.sessions);
  free(g_state.objects);
  memset(&g_state, 0, sizeof g_state);
  journal_clear();
  vendor_reset();
}

long slot_index(CK_SLOT_ID id) {
  for (size_t i = 0; i < g_state.slotCount; ++i) {
    if (g_state.slots[i].id == id) return static_cast<long>(i);
  }
  return -1;
}

Sess* session_find(CK_SESSION_HANDLE h) {
  for (size_t i = 0; i < g_state.sessionCount; ++i) {
    if (g_state.sessions[i].handle == h) return &g_state.sessions[i];
  }
  return NULL;
}

void session_close(Sess* s) {
  CK_SESSION_HANDLE h = s->handle;
  size_t slot = s->slot;
  free(s->found);
  size_t index = static_cast<size_t>(s - g_state.sessions);
  memmove(&g_state.sessions[index], &g_state.sessions[index + 1],
          (g_state.sessionCount - index - 1) * sizeof(Sess));
  --g_state.sessionCount;
  size_t i = 0;
  while (i < g_state.objectCount) {
    if (g_state.objects[i]->owner == h) {
      object_destroy(g_state.objects[i]);
    } else {
      ++i;
    }
  }
  if (slot < g_state.slotCount && token_session_count(slot, false) == 0) {
    g_state.slots[slot].token.login = -1;
  }
}

size_t token_session_count(size_t slot, bool rwOnly) {
  size_t n = 0;
  for (size_t i = 0; i < g_state.sessionCount; ++i) {
    const Sess* s = &g_state.sessions[i];
    if (s->slot == slot && (!rwOnly || (s->flags & CKF_RW_SESSION))) ++n;
  }
  return n;
}

Obj* object_new(size_t slot, CK_SESSION_HANDLE owner) {
  if (g_state.objectCount == g_state.objectCap) {
    size_t cap = g_state.objectCap ? g_state.objectCap * 2 : 64;
    Obj** grown = static_cast<Obj**>(realloc(g_state.objects, cap * sizeof(Obj*)));
    if (!grown) return NULL;
    g_state.objects = grown;
    g_state.objectCap = cap;
  }
  Obj* o = static_cast<Obj*>(calloc(1, sizeof(Obj)));
  if (!o) return NULL;
  if (!g_state.objectCounterSet) {
    g_state.nextObject = cfg_ulong("OBJECT_BASE", 1);
    g_state.objectCounterSet = true;
  }
  o->handle = g_state.nextObject++;
  o->slot = slot;
  o->owner = owner;
  g_state.objects[g_state.objectCount++] = o;
  return o;
}

void object_destroy(Obj* o) {
  for (size_t i = 0; i < g_state.objectCount; ++i) {
    if (g_state.objects[i] != o) continue;
    memmove(&g_state.objects[i], &g_state.objects[i + 1],
            (g_state.objectCount - i - 1) * sizeof(Obj*));
    --g_state.objectCount;
    break;
  }
  for (CK_ULONG a = 0; a < o->count; ++a) free(o->attrs[a].val);
  free(o->attrs);
  free(o);
}

Obj* object_find(CK_OBJECT_HANDLE h) {
  for (size_t i = 0; i < g_state.objectCount; ++i) {
    if (g_state.objects[i]->handle == h) return g_state.objects[i];
  }
  return NULL;
}

Obj* object_visible(const Sess* s, CK_OBJECT_HANDLE h) {
  Obj* o = object_find(h);
  if (!o || o->slot != s->slot) return NULL;
  if (object_bool(o, CKA_PRIVATE, false) &&
      g_state.slots[s->slot].token.login != static_cast<int>(CKU_USER)) {
    return NULL;
  }
  return o;
}

Attr* object_attr(const Obj* o, CK_ATTRIBUTE_TYPE type) {
  for (CK_ULONG i = 0; i < o->count; ++i) {
    if (o->attrs[i].type == type) return &o->attrs[i];
  }
  return NULL;
}

bool object_bool(const Obj* o, CK_ATTRIBUTE_TYPE type, bool def) {
  const Attr* a = object_attr(o, type);
  if (!a || a->len < 1) return def;
  return a->val[0] != 0;
}

bool object_set(Obj* o, CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG len) {
  unsigned char* copy = static_cast<unsigned char*>(malloc(len ? len : 1));
  if (!copy) return false;
  if (len) memcpy(copy, value, len);
  Attr* a = object_attr(o, type);
  if (!a) {
    if (o->count == o->cap) {
      CK_ULONG cap = o->cap ? o->cap * 2 : 8;
      Attr* grown = static_cast<Attr*>(realloc(o->attrs, cap * sizeof(Attr)));
      if (!grown) {
        free(copy);
        return false;
      }
      o->attrs = grown;
      o->cap = cap;
    }
    a = &o->attrs[o->count++];
    a->type = type;
  } else {
    free(a->val);
  }
  a->val = copy;
  a->len = len;
  return true;
}

CK_RV template_check(const CK_ATTRIBUTE* t, CK_ULONG n) {
  if (!t && n) return CKR_ARGUMENTS_BAD;
  for (CK_ULONG i = 0; i < n; ++i) {
    if (!t[i].pValue && t[i].ulValueLen) return CKR_ATTRIBUTE_VALUE_INVALID;
  }
  return CKR_OK;
}

bool template_bool(const CK_ATTRIBUTE* t, CK_ULONG n, CK_ATTRIBUTE_TYPE type, bool def) {
  bool v = def;
  for (CK_ULONG i = 0; i < n; ++i) {
    if (t[i].type == type && t[i].pValue && t[i].ulValueLen >= 1) {
      v = static_cast<const unsigned char*>(t[i].pValue)[0] != 0;
    }
  }
  return v;
}

CK_RV object_create(const Sess* s, const CK_ATTRIBUTE* t, CK_ULONG n, Obj** out) {
  CK_RV rv = template_check(t, n);
  if (rv != CKR_OK) return rv;
  bool onToken = template_bool(t, n, CKA_TOKEN, false);
  if (onToken && !(s->flags & CKF_RW_SESSION)) return CKR_SESSION_READ_ONLY;
  if (template_bool(t, n, CKA_PRIVATE, false) &&
      g_state.slots[s->slot].token.login != static_cast<int>(CKU_USER)) {
    return CKR_USER_NOT_LOGGED_IN;
  }
  Obj* o = object_new(s->slot, onToken ? 0 : s->handle);
  if (!o) return CKR_HOST_MEMORY;
  for (CK_ULONG i = 0; i < n; ++i) {
    if (!object_set(o, t[i].type, t[i].pValue, t[i].ulValueLen)) {
      object_destroy(o);
      return CKR_HOST_MEMORY;
    }
  }
  *out = o;
  return CKR_OK;
}

CK_ULONG* mechanism_list(size_t slot, size_t* n) {
  const char* text = cfg_slot_get(slot, "MECHS");
  if (text) return cfg_parse_list(text, n);
  static const CK_ULONG kDefault[] = {CKM_RSA_PKCS_KEY_PAIR_GEN, CKM_RSA_PKCS,    CKM_SHA1_RSA_PKCS,
                                      CKM_SHA256_RSA_PKCS,       CKM_AES_KEY_GEN, CKM_AES_ECB};
  *n = sizeof kDefault / sizeof kDefault[0];
  CK_ULONG* list = static_cast<CK_ULONG*>(malloc(sizeof kDefault));
  if (!list) {
    *n = 0;
    return NULL;
  }
  memcpy(list, kDefault, sizeof kDefault);
  return list;
}

bool mechanism_supported(size_t slot, CK_MECHANISM_TYPE m) {
  size_t n = 0;
  CK_ULONG* list = mechanism_list(slot, &n);
  bool found = false;
  for (size_t i = 0; i < n && !found; ++i) found = list[i] == m;
  free(list);
  return found;
}
