// A Cryptoki module whose answers come from the fuzz input: return codes, counts, lengths and
// the bytes of every structure and buffer it fills. Like a faulty module it may claim any count
// or length, but it writes only into the room it was given, so whatever goes wrong after it
// answers is the bridge's doing. Counts and lengths stay below 4,096 or are the all-ones
// "unavailable" value: libFuzzer counts a single allocation of gigabytes as a failure.
#include <string.h>

#include "answers.h"

#define ANSWERS_EXPORT __attribute__((visibility("default")))

namespace {

const uint8_t* g_data;
size_t g_size;
size_t g_pos;
TemplateObserver g_observer;

uint8_t byte() {
  uint8_t b = 0;
  answers_take(&b, 1);
  return b;
}

CK_ULONG number() {
  CK_ULONG v = 0;
  answers_take(&v, sizeof v);
  return v;
}

// Mostly success; otherwise any code, the codes the bridge treats apart, or a vendor code.
CK_RV result() {
  uint8_t b = byte();
  if (b < 0xA0) return CKR_OK;
  switch (b & 7) {
    case 0:
      return CKR_BUFFER_TOO_SMALL;
    case 1:
      return CKR_ATTRIBUTE_SENSITIVE;
    case 2:
      return 0x80000000UL | byte();
    case 3:
      return ~static_cast<CK_RV>(0);
    default:
      return number();
  }
}

// A count or a length: small, up to 4,095, near the room given, or unavailable.
CK_ULONG amount(CK_ULONG room) {
  uint8_t b = byte();
  switch (b >> 6) {
    case 0:
      return b & 0x3F;
    case 1:
      return (static_cast<CK_ULONG>(b & 0x0F) << 8 | byte()) & 0xFFF;
    case 2:
      return room + (b & 7) - 4 < 0x1000 ? room + (b & 7) - 4 : room;
    default:
      return CK_UNAVAILABLE_INFORMATION;
  }
}

// Fills what the caller gave room for; claims `claimed`.
void answer(void* out, CK_ULONG room, CK_ULONG claimed) {
  answers_take(out, claimed < room ? claimed : room);
}

void observe(const char* role, const CK_ATTRIBUTE* t, CK_ULONG n) {
  if (g_observer != nullptr) g_observer(role, t, n);
}

template <typename T>
CK_RV fill(T* info) {
  CK_RV rv = result();
  if (info != nullptr) answers_take(info, sizeof *info);
  return rv;
}

// The slot and mechanism lists: a count first, then at most the room given.
CK_RV list(CK_ULONG* out, CK_ULONG* count) {
  CK_RV rv = result();
  if (count == nullptr) return rv;
  CK_ULONG room = out != nullptr ? *count : 0;
  CK_ULONG claimed = amount(room);
  if (out != nullptr) answer(out, room * sizeof(CK_ULONG), claimed * sizeof(CK_ULONG));
  *count = claimed;
  return rv;
}

// Output of a single-part operation: the bytes fit the room; the length claimed is any.
CK_RV output(const CK_BYTE* in, CK_ULONG inLength, CK_BYTE* out, CK_ULONG* outLength) {
  volatile CK_BYTE sum = 0;
  for (CK_ULONG i = 0; in != nullptr && i < inLength; ++i) sum = sum + in[i];
  CK_RV rv = result();
  if (outLength == nullptr) return rv;
  CK_ULONG room = out != nullptr ? *outLength : 0;
  CK_ULONG claimed = amount(room);
  if (out != nullptr) answer(out, room, claimed);
  *outLength = claimed;
  return rv;
}

CK_RV Initialize(void*) {
  return result();
}
CK_RV Finalize(void*) {
  return result();
}
CK_RV GetInfo(CK_INFO* info) {
  return fill(info);
}
CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID* slots, CK_ULONG* count) {
  return list(slots, count);
}
CK_RV GetSlotInfo(CK_SLOT_ID, CK_SLOT_INFO* info) {
  return fill(info);
}
CK_RV GetTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO* info) {
  return fill(info);
}
CK_RV GetMechanismList(CK_SLOT_ID, CK_MECHANISM_TYPE* types, CK_ULONG* count) {
  return list(types, count);
}
CK_RV GetMechanismInfo(CK_SLOT_ID, CK_MECHANISM_TYPE, CK_MECHANISM_INFO* info) {
  return fill(info);
}
CK_RV GetSessionInfo(CK_SESSION_HANDLE, CK_SESSION_INFO* info) {
  return fill(info);
}
CK_RV OpenSession(CK_SLOT_ID, CK_FLAGS, void*, CK_NOTIFY, CK_SESSION_HANDLE* session) {
  CK_RV rv = result();
  if (session != nullptr) *session = number();
  return rv;
}
CK_RV GetObjectSize(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ULONG* size) {
  CK_RV rv = result();
  if (size != nullptr) *size = number();
  return rv;
}

CK_RV GetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE* t, CK_ULONG n) {
  CK_RV rv = result();
  for (CK_ULONG i = 0; t != nullptr && i < n; ++i) {
    CK_ULONG room = t[i].pValue != nullptr ? t[i].ulValueLen : 0;
    CK_ULONG claimed = amount(room);
    if (t[i].pValue != nullptr) answer(t[i].pValue, room, claimed);
    t[i].ulValueLen = claimed;
  }
  return rv;
}

CK_RV SetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE* t, CK_ULONG n) {
  observe("C_SetAttributeValue", t, n);
  return result();
}
CK_RV CreateObject(CK_SESSION_HANDLE, CK_ATTRIBUTE* t, CK_ULONG n, CK_OBJECT_HANDLE* object) {
  observe("C_CreateObject", t, n);
  CK_RV rv = result();
  if (object != nullptr) *object = number();
  return rv;
}
CK_RV FindObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE* t, CK_ULONG n) {
  observe("C_FindObjectsInit", t, n);
  return result();
}
CK_RV FindObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE* objects, CK_ULONG max, CK_ULONG* found) {
  CK_RV rv = result();
  if (objects != nullptr && max > 0) objects[0] = number();
  if (found != nullptr) *found = byte() % 3;  // 2 claims more than the room for one
  return rv;
}
CK_RV FindObjectsFinal(CK_SESSION_HANDLE) {
  return result();
}

CK_RV GenerateKey(CK_SESSION_HANDLE, CK_MECHANISM*, CK_ATTRIBUTE* t, CK_ULONG n,
                  CK_OBJECT_HANDLE* key) {
  observe("C_GenerateKey", t, n);
  CK_RV rv = result();
  if (key != nullptr) *key = number();
  return rv;
}
CK_RV GenerateKeyPair(CK_SESSION_HANDLE, CK_MECHANISM*, CK_ATTRIBUTE* publicTemplate,
                      CK_ULONG publicCount, CK_ATTRIBUTE* privateTemplate, CK_ULONG privateCount,
                      CK_OBJECT_HANDLE* publicKey, CK_OBJECT_HANDLE* privateKey) {
  observe("C_GenerateKeyPair public", publicTemplate, publicCount);
  observe("C_GenerateKeyPair private", privateTemplate, privateCount);
  CK_RV rv = result();
  if (publicKey != nullptr) *publicKey = number();
  if (privateKey != nullptr) *privateKey = number();
  return rv;
}
CK_RV UnwrapKey(CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE, CK_BYTE* wrapped,
                CK_ULONG wrappedLength, CK_ATTRIBUTE* t, CK_ULONG n, CK_OBJECT_HANDLE* key) {
  volatile CK_BYTE sum = 0;
  for (CK_ULONG i = 0; wrapped != nullptr && i < wrappedLength; ++i) sum = sum + wrapped[i];
  observe("C_UnwrapKey", t, n);
  CK_RV rv = result();
  if (key != nullptr) *key = number();
  return rv;
}

CK_RV Sign(CK_SESSION_HANDLE, CK_BYTE* data, CK_ULONG length, CK_BYTE* out, CK_ULONG* outLength) {
  return output(data, length, out, outLength);
}
CK_RV Encrypt(CK_SESSION_HANDLE, CK_BYTE* data, CK_ULONG length, CK_BYTE* out,
              CK_ULONG* outLength) {
  return output(data, length, out, outLength);
}
CK_RV Decrypt(CK_SESSION_HANDLE, CK_BYTE* data, CK_ULONG length, CK_BYTE* out,
              CK_ULONG* outLength) {
  return output(data, length, out, outLength);
}
CK_RV WrapKey(CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE, CK_OBJECT_HANDLE, CK_BYTE* out,
              CK_ULONG* outLength) {
  return output(nullptr, 0, out, outLength);
}

CK_RV Init(CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE) {
  return result();
}

CK_FUNCTION_LIST makeList() {
  CK_FUNCTION_LIST l;
  memset(&l, 0, sizeof l);
  l.version.major = 2;
  l.version.minor = 40;
  l.C_Initialize = Initialize;
  l.C_Finalize = Finalize;
  l.C_GetInfo = GetInfo;
  l.C_GetSlotList = GetSlotList;
  l.C_GetSlotInfo = GetSlotInfo;
  l.C_GetTokenInfo = GetTokenInfo;
  l.C_GetMechanismList = GetMechanismList;
  l.C_GetMechanismInfo = GetMechanismInfo;
  l.C_OpenSession = OpenSession;
  l.C_GetSessionInfo = GetSessionInfo;
  l.C_CreateObject = CreateObject;
  l.C_GetObjectSize = GetObjectSize;
  l.C_GetAttributeValue = GetAttributeValue;
  l.C_SetAttributeValue = SetAttributeValue;
  l.C_FindObjectsInit = FindObjectsInit;
  l.C_FindObjects = FindObjects;
  l.C_FindObjectsFinal = FindObjectsFinal;
  l.C_EncryptInit = Init;
  l.C_Encrypt = Encrypt;
  l.C_DecryptInit = Init;
  l.C_Decrypt = Decrypt;
  l.C_SignInit = Init;
  l.C_Sign = Sign;
  l.C_GenerateKey = GenerateKey;
  l.C_GenerateKeyPair = GenerateKeyPair;
  l.C_WrapKey = WrapKey;
  l.C_UnwrapKey = UnwrapKey;
  return l;
}

CK_FUNCTION_LIST g_list = makeList();

}  // namespace

extern "C" {

ANSWERS_EXPORT void answers_feed(const uint8_t* data, size_t size) {
  g_data = data;
  g_size = size;
  g_pos = 0;
}

ANSWERS_EXPORT void answers_take(void* out, size_t n) {
  size_t available = g_pos < g_size ? g_size - g_pos : 0;
  size_t k = n < available ? n : available;
  if (k != 0) memcpy(out, g_data + g_pos, k);
  if (k < n) memset(static_cast<uint8_t*>(out) + k, 0, n - k);
  g_pos += k;
}

ANSWERS_EXPORT bool answers_exhausted(void) {
  return g_pos >= g_size;
}

ANSWERS_EXPORT void answers_observe(TemplateObserver observer) {
  g_observer = observer;
}

ANSWERS_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
  *list = &g_list;
  return CKR_OK;
}

// The vendor functions that the bridge reaches by name and that fill a buffer.
ANSWERS_EXPORT CK_RV C_GetTokenParam(CK_SESSION_HANDLE, CK_UTF8CHAR* name, CK_ULONG, CK_BYTE* value,
                                     CK_ULONG* valueLength) {
  volatile size_t n = strlen(reinterpret_cast<const char*>(name));
  (void)n;
  CK_RV rv = result();
  CK_ULONG room = *valueLength;
  CK_ULONG claimed = amount(room);
  answer(value, room, claimed);
  *valueLength = claimed;
  return rv;
}

ANSWERS_EXPORT CK_RV C_Control(CK_SLOT_ID, CK_ULONG, CK_BYTE* data, CK_ULONG* length) {
  return output(nullptr, 0, data, length);
}
}
