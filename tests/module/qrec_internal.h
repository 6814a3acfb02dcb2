// Shared declarations of the recording test module: configuration lookup, the call journal,
// and the in-memory slots, tokens, sessions and objects.
#ifndef QREC_INTERNAL_H
#define QREC_INTERNAL_H

#ifdef _WIN32
#define CRYPTOKI_EXPORTS
#endif
#include <p11-kit/pkcs11.h>
#include <stddef.h>

#ifdef _WIN32
#define QREC_EXPORT __declspec(dllexport)
#else
#define QREC_EXPORT __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------------------------------------
// Configuration. Each key is looked up in the in-process overrides, then in the file named by
// QREC_CONFIG, then in the environment variable QREC_<KEY>. The file is read again by
// cfg_refresh(), which every call into the module makes first.

void cfg_refresh();
// True while SOAK is on: cfg_refresh() no longer reads the file, and no journal is kept.
bool cfg_steady();
// The value of key, or NULL when unset. Valid until the next cfg_refresh() or override change.
const char* cfg_get(const char* key);
// As cfg_get, trying "S<slotIndex>_<key>" first.
const char* cfg_slot_get(size_t slotIndex, const char* key);
// Numbers: decimal, 0x-hex or octal as strtoull reads them, truncated to CK_ULONG.
bool cfg_parse_ulong(const char* text, CK_ULONG* out);
CK_ULONG cfg_ulong(const char* key, CK_ULONG def);
CK_ULONG cfg_slot_ulong(size_t slotIndex, const char* key, CK_ULONG def);
// A comma-separated list of numbers; returns a malloc'd array (free it) and its length, or
// NULL with *n = 0 when the text is NULL.
CK_ULONG* cfg_parse_list(const char* text, size_t* n);
// Hex bytes (whitespace ignored); returns a malloc'd buffer (free it, never NULL unless out of
// memory) and its length.
unsigned char* cfg_parse_hex(const char* text, size_t* n);
// "major.minor" in decimal.
bool cfg_parse_version(const char* text, CK_VERSION* out);
// Fills a blank-padded text field from <key>_HEX (raw bytes) or <key> (text), per-slot variants
// first when slotIndex is not (size_t)-1; falls back to deflt.
void cfg_text_field(size_t slotIndex, const char* key, unsigned char* field, size_t width,
                    const char* deflt);

void cfg_set_override(const char* key, const char* value);
void cfg_clear_overrides();
// Raw environment lookup (the module's own process environment).
const char* cfg_env(const char* name);

// Re-applies NULLFN to the function list handed out (defined with the function list).
void apply_function_list_config();

// ---------------------------------------------------------------------------------------------
// Journal. One line per call; see README.md for the format.

struct Line {
  char* buf;
  size_t len;
  size_t cap;
};

void ln_begin(Line* l, const char* function);
void ln_raw(Line* l, const char* text);
void ln_ul(Line* l, const char* key, CK_ULONG v);
void ln_byte(Line* l, const char* key, unsigned char v);
// "key=out" or "key=NULL": an output-only pointer.
void ln_out(Line* l, const char* key, const void* p);
// "key=nonnull" or "key=NULL": a pointer whose target is not recorded.
void ln_ptr(Line* l, const char* key, const void* p);
// Hex bytes of a buffer with a known length, or NULL.
void ln_bytes(Line* l, const char* key, const void* p, CK_ULONG len);
// Hex bytes of a NUL-terminated text up to its NUL, or NULL.
void ln_text(Line* l, const char* key, const void* p);
// An in/out length: "*name=0x.." with the value on entry, or "name=NULL".
void ln_inlen(Line* l, const char* name, const CK_ULONG* p);
// An input buffer and its length under the prototype's names: "pData=.."
// then "ulDataLen=0x..".
void ln_in(Line* l, const char* key, const void* p, CK_ULONG len);
// An output buffer and its in/out length: "pData=out" then "*pulDataLen=0x..".
void ln_outlen(Line* l, const char* key, const void* p, const CK_ULONG* pulLen);
// A template; values=false records non-null values as "out" (output buffers).
void ln_tmpl(Line* l, const char* key, const CK_ATTRIBUTE* t, CK_ULONG n, bool values);
void ln_mech(Line* l, const char* key, const CK_MECHANISM* m);
// C_Initialize's arguments: "key=NULL", or the null-ness of the four mutex callbacks, the flags
// and the null-ness of pReserved in braces.
void ln_initargs(Line* l, const char* key, const CK_C_INITIALIZE_ARGS* a);
// Appends " -> 0x<rv>", stores the line and frees the builder.
void ln_end(Line* l, CK_RV rv);

const char* journal_text();
void journal_clear();

// ---------------------------------------------------------------------------------------------
// Serialisation of calls: every entry point holds the module lock for its whole duration.

void qrec_lock();
void qrec_unlock();

// One call into the module: takes the lock, re-reads the configuration and starts the journal
// line. done() finishes the line; the destructor releases the lock.
class Call {
 public:
  explicit Call(const char* function);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  Line* line() { return &line_; }
  // RV_<function> forces a result: true with *rv set.
  bool forced(CK_RV* rv) const;
  // RV2_<function> forces a result for the filling call of a length-first sequence.
  bool forced_second(CK_RV* rv) const;
  // forced(), then the initialisation check.
  bool early(CK_RV* rv) const;
  CK_RV done(CK_RV rv);

 private:
  const char* function_;
  Line line_;
  bool ended_;
};

// ---------------------------------------------------------------------------------------------
// State.

const size_t kMaxPin = 256;

struct Attr {
  CK_ATTRIBUTE_TYPE type;
  CK_ULONG len;
  unsigned char* val;  // malloc'd, at least one byte
};

struct Obj {
  CK_OBJECT_HANDLE handle;
  size_t slot;              // index of the token's slot
  CK_SESSION_HANDLE owner;  // session of a session object; 0 for a token object
  CK_ULONG count;
  CK_ULONG cap;
  Attr* attrs;
};

struct Op {
  bool active;
  CK_MECHANISM_TYPE mechanism;
  CK_OBJECT_HANDLE key;
  unsigned char keyByte;
};

struct Sess {
  CK_SESSION_HANDLE handle;
  size_t slot;
  CK_FLAGS flags;
  bool findActive;
  CK_OBJECT_HANDLE* found;
  CK_ULONG foundCount;
  CK_ULONG foundPos;
  Op sign;
  Op encrypt;
  Op decrypt;
};

struct Token {
  bool present;
  int login;  // -1 nobody, CKU_SO or CKU_USER
  bool labelSet;
  unsigned char label[32];
  unsigned char soPin[kMaxPin];
  CK_ULONG soPinLen;
  unsigned char userPin[kMaxPin];
  CK_ULONG userPinLen;
};

struct Slot {
  CK_SLOT_ID id;
  Token token;
};

struct State {
  bool initialized;
  Slot* slots;
  size_t slotCount;
  Sess* sessions;
  size_t sessionCount;
  size_t sessionCap;
  Obj** objects;
  size_t objectCount;
  size_t objectCap;
  CK_ULONG nextSession;
  CK_ULONG nextObject;
  bool objectCounterSet;
};

extern State g_state;

// Builds slots and tokens from the configuration (C_Initialize).
CK_RV state_initialize();
// Drops sessions and session objects, and everything else unless KEEP_OBJECTS (C_Finalize).
void state_finalize();
// Forgets everything (qrec_reset).
void state_reset();

// Index of the slot with that ID, or -1.
long slot_index(CK_SLOT_ID id);
Sess* session_find(CK_SESSION_HANDLE h);
// Closes one session (by pointer into the table) and its session objects; logs the token out
// when it was the token's last session.
void session_close(Sess* s);
size_t token_session_count(size_t slot, bool rwOnly);

Obj* object_new(size_t slot, CK_SESSION_HANDLE owner);
void object_destroy(Obj* o);
Obj* object_find(CK_OBJECT_HANDLE h);
// The object if the session may see it (same token, not private unless the user is logged in).
Obj* object_visible(const Sess* s, CK_OBJECT_HANDLE h);
Attr* object_attr(const Obj* o, CK_ATTRIBUTE_TYPE type);
bool object_bool(const Obj* o, CK_ATTRIBUTE_TYPE type, bool def);
// Adds or replaces an attribute; false when out of memory.
bool object_set(Obj* o, CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG len);

// Checks a caller's template: CKR_ARGUMENTS_BAD for a NULL template with entries,
// CKR_ATTRIBUTE_VALUE_INVALID for a NULL value with a length.
CK_RV template_check(const CK_ATTRIBUTE* t, CK_ULONG n);
bool template_bool(const CK_ATTRIBUTE* t, CK_ULONG n, CK_ATTRIBUTE_TYPE type, bool def);
// Creates an object of the session's token from a template, with the standard session and
// login checks.
CK_RV object_create(const Sess* s, const CK_ATTRIBUTE* t, CK_ULONG n, Obj** out);

bool mechanism_supported(size_t slot, CK_MECHANISM_TYPE m);
// The mechanism list configured for a slot (malloc'd; free it).
CK_ULONG* mechanism_list(size_t slot, size_t* n);

#endif  // QREC_INTERNAL_H
