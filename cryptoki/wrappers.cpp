// One traced wrapper per standard Cryptoki function that the bridge calls.
//
// Every wrapper has the same shape: a null function-list handle is answered
// with CKR_ZOR_NOTINIT before anything is printed; the opening trace text is
// printed; a null entry in the list gives CKR_ZOR_NOFUNCPTR and leaves that
// line open for the exception trace to continue; otherwise the module is
// called, the closing text printed and the module's result returned
// unchanged.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "cryptoki.h"
#include "runtime.h"

using quillon::trace;
using quillon::traceLine;

namespace {

// Checks the list handle, prints the opening text and takes the entry.
template <typename F>
CK_RV takeEntry(FunctionList list, F CK_FUNCTION_LIST::*member, const char* opening, F* fn) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  if (opening != nullptr) trace("%s", opening);
  *fn = list->*member;
  return *fn != nullptr ? CKR_OK : CKR_ZOR_NOFUNCPTR;
}

// The common shape, closed by " Done".
template <typename F, typename... Args>
CK_RV callDone(FunctionList list, F CK_FUNCTION_LIST::*member, const char* opening, Args... args) {
  F fn;
  CK_RV rv = takeEntry(list, member, opening, &fn);
  if (rv != CKR_OK) return rv;
  rv = fn(args...);
  traceLine(" Done");
  return rv;
}

// Single-part operations close with the length the module left.
template <typename F>
CK_RV callOut(FunctionList list, F CK_FUNCTION_LIST::*member, const char* opening,
              CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength, CK_BYTE* output,
              CK_ULONG* outputLength) {
  F fn;
  CK_RV rv = takeEntry(list, member, opening, &fn);
  if (rv != CKR_OK) return rv;
  rv = fn(session, data, dataLength, output, outputLength);
  trace(" Done(out=%li)\n", *outputLength);
  return rv;
}

// Allocates room for `count` CK_ULONG entries, refusing counts whose size
// overflows. A count of zero still gets a block, so the second call of a
// length-first pair is made with a valid pointer.
CK_RV allocateEntries(CK_ULONG count, CK_ULONG** buffer) {
  if (count > SIZE_MAX / sizeof(CK_ULONG)) return CKR_ZOR_NOSPACE;
  size_t bytes = static_cast<size_t>(count) * sizeof(CK_ULONG);
  CK_ULONG* block = static_cast<CK_ULONG*>(malloc(bytes != 0 ? bytes : 1));
  if (block == nullptr) return CKR_ZOR_NOSPACE;
  *buffer = block;
  return CKR_OK;
}

// The filling call may lower the count; a module that raises it is held to
// the entries that were allocated.
void keepWithin(CK_ULONG allocated, CK_ULONG* count) {
  if (*count > allocated) *count = allocated;
}

CK_UTF8CHAR* utf8(const char* text) {
  return reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(text));
}

int length(const char* text) {
  return static_cast<int>(strlen(text));
}

// Copies the label into the blank-padded 32-byte field, cutting a longer
// label at a character boundary so that no UTF-8 sequence is split.
void fillLabel(CK_UTF8CHAR field[32], const char* label) {
  memset(field, ' ', 32);
  if (label == nullptr) return;
  size_t n = strlen(label);
  if (n > 32) {
    n = 32;
    while (n > 0 && (static_cast<unsigned char>(label[n]) & 0xC0) == 0x80) --n;
  }
  memcpy(field, label, n);
}

}  // namespace

extern "C" {

CK_RV getInfo(FunctionList list, CK_INFO* info) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetInfo, "JNI:BRIDGE: Calling C_GetInfo...", info);
}

CK_RV getSlotList(FunctionList list, CK_SLOT_ID** slots, int tokenPresent, CK_ULONG* count) {
  CK_C_GetSlotList fn;
  CK_RV rv = takeEntry(list, &CK_FUNCTION_LIST::C_GetSlotList,
                       "JNI:BRIDGE: Calling C_GetSlotList...", &fn);
  if (rv != CKR_OK) return rv;
  CK_BBOOL present = static_cast<CK_BBOOL>(tokenPresent);
  rv = fn(present, nullptr, count);
  trace(" (slots=%li)... %li", *count, rv);
  if (rv != CKR_OK) return rv;
  CK_ULONG allocated = *count;
  rv = allocateEntries(allocated, slots);
  if (rv != CKR_OK) return rv;
  rv = fn(present, *slots, count);
  traceLine(" Done");
  keepWithin(allocated, count);
  if (rv != CKR_OK) {
    free(*slots);
    *slots = nullptr;
  }
  return rv;
}

CK_RV getSlotInfo(FunctionList list, CK_SLOT_ID slot, CK_SLOT_INFO* info) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetSlotInfo, "JNI:BRIDGE: Calling C_GetSlotInfo...",
                  slot, info);
}

CK_RV getTokenInfo(FunctionList list, CK_SLOT_ID slot, CK_TOKEN_INFO* info) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetTokenInfo, "JNI:BRIDGE: Calling C_GetTokenInfo...",
                  slot, info);
}

CK_RV getMechanismList(FunctionList list, CK_SLOT_ID slot, CK_MECHANISM_TYPE** mechanisms,
                       CK_ULONG* count) {
  CK_C_GetMechanismList fn;
  CK_RV rv = takeEntry(list, &CK_FUNCTION_LIST::C_GetMechanismList,
                       "JNI:BRIDGE: Calling C_GetMechanismList...", &fn);
  if (rv != CKR_OK) return rv;
  rv = fn(slot, nullptr, count);
  trace("(mechs=%li)...\n", *count);
  if (rv != CKR_OK) return rv;
  CK_ULONG allocated = *count;
  rv = allocateEntries(allocated, mechanisms);
  if (rv != CKR_OK) return rv;
  rv = fn(slot, *mechanisms, count);
  traceLine(" Done");
  keepWithin(allocated, count);
  if (rv != CKR_OK) {
    free(*mechanisms);
    *mechanisms = nullptr;
  }
  return rv;
}

CK_RV getMechanismInfo(FunctionList list, CK_SLOT_ID slot, CK_MECHANISM_TYPE type,
                       CK_MECHANISM_INFO* info) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetMechanismInfo,
                  "JNI:BRIDGE: Calling C_GetMechanismInfo...", slot, type, info);
}

CK_RV openSession(FunctionList list, CK_SLOT_ID slot, CK_FLAGS flags, CK_SESSION_HANDLE* session) {
  CK_C_OpenSession fn;
  CK_RV rv = takeEntry(list, &CK_FUNCTION_LIST::C_OpenSession,
                       "JNI:BRIDGE: Calling C_OpenSession...", &fn);
  if (rv != CKR_OK) return rv;
  rv = fn(slot, flags, nullptr, nullptr, session);
  trace(" Done(session=%li)\n", *session);
  return rv;
}

CK_RV closeAllSessions(FunctionList list, CK_SLOT_ID slot) {
  return callDone(list, &CK_FUNCTION_LIST::C_CloseAllSessions,
                  "JNI:BRIDGE: Calling C_CloseAllSessions...", slot);
}

CK_RV closeSession(FunctionList list, CK_SESSION_HANDLE session) {
  return callDone(list, &CK_FUNCTION_LIST::C_CloseSession, "JNI:BRIDGE: Calling C_CloseSession...",
                  session);
}

CK_RV getSessionInfo(FunctionList list, CK_SESSION_HANDLE session, CK_SESSION_INFO* info) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetSessionInfo,
                  "JNI:BRIDGE: Calling C_GetSessionInfo...", session, info);
}

CK_RV initPin(FunctionList list, CK_SESSION_HANDLE session, const char* pin) {
  return callDone(list, &CK_FUNCTION_LIST::C_InitPIN, "JNI:BRIDGE: Calling C_InitPIN...", session,
                  utf8(pin), static_cast<CK_ULONG>(strlen(pin)));
}

CK_RV setPin(FunctionList list, CK_SESSION_HANDLE session, const char* oldPin, const char* newPin) {
  return callDone(list, &CK_FUNCTION_LIST::C_SetPIN, "JNI:BRIDGE: Calling C_SetPIN...", session,
                  utf8(oldPin), static_cast<CK_ULONG>(strlen(oldPin)), utf8(newPin),
                  static_cast<CK_ULONG>(strlen(newPin)));
}

CK_RV Morvale_login(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user,
                    const char* pin) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Calling C_Login (l=%i)...", length(pin));
  return callDone(list, &CK_FUNCTION_LIST::C_Login, nullptr, session, user, utf8(pin),
                  static_cast<CK_ULONG>(strlen(pin)));
}

CK_RV Morvale_logout(FunctionList list, CK_SESSION_HANDLE session) {
  return callDone(list, &CK_FUNCTION_LIST::C_Logout, "JNI:BRIDGE: Calling C_Logout ...", session);
}

CK_RV loginellips(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR* pin,
                  CK_ULONG pinLength) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Calling C_Login (len=%i)...", static_cast<int>(pinLength));
  return callDone(list, &CK_FUNCTION_LIST::C_Login, nullptr, session, user, pin, pinLength);
}

CK_RV setPinellips(FunctionList list, CK_SESSION_HANDLE session, CK_UTF8CHAR* oldPin,
                   CK_ULONG oldLength, CK_UTF8CHAR* newPin, CK_ULONG newLength) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Calling C_SetPIN...");
  trace("JNI:BRIDGE: Calling C_SetPIN (len=%i)...", static_cast<int>(oldLength));
  trace("JNI:BRIDGE: Calling C_SetPIN (len=%i)...", static_cast<int>(newLength));
  return callDone(list, &CK_FUNCTION_LIST::C_SetPIN, nullptr, session, oldPin, oldLength, newPin,
                  newLength);
}

CK_RV loginAuthPath(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user) {
  // The protected authentication path: the token asks for the PIN itself.
  return callDone(list, &CK_FUNCTION_LIST::C_Login, "JNI:BRIDGE: Calling C_Login...", session, user,
                  static_cast<CK_UTF8CHAR*>(nullptr), static_cast<CK_ULONG>(0));
}

CK_RV InitToken(FunctionList list, CK_SLOT_ID slot, const char* pin, CK_ULONG pinLength,
                const char* label) {
  CK_UTF8CHAR field[32];
  fillLabel(field, label);
  return callDone(list, &CK_FUNCTION_LIST::C_InitToken, nullptr, slot, utf8(pin), pinLength, field);
}

CK_RV findObjectsInit(FunctionList list, CK_SESSION_HANDLE session, CK_ATTRIBUTE* attributes,
                      CK_ULONG count) {
  return callDone(list, &CK_FUNCTION_LIST::C_FindObjectsInit,
                  "JNI:BRIDGE: Calling C_FindObjectsInit ...", session, attributes, count);
}

CK_RV findObjects(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* object) {
  CK_C_FindObjects fn;
  CK_RV rv = takeEntry(list, &CK_FUNCTION_LIST::C_FindObjects,
                       "JNI:BRIDGE: Calling C_FindObjects ...", &fn);
  if (rv != CKR_OK) return rv;
  CK_ULONG found = 0;
  rv = fn(session, object, 1, &found);
  trace(" Done(found=%li)\n", found);
  if (found == 0) *object = 0;
  return rv;
}

CK_RV findObjectsFinal(FunctionList list, CK_SESSION_HANDLE session) {
  return callDone(list, &CK_FUNCTION_LIST::C_FindObjectsFinal,
                  "JNI:BRIDGE: Calling C_FindObjectsFinal ...", session);
}

CK_RV createObject(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* object,
                   CK_ATTRIBUTE* attributes, CK_ULONG count) {
  return callDone(list, &CK_FUNCTION_LIST::C_CreateObject, "JNI:BRIDGE: Calling C_CreateObject...",
                  session, attributes, count, object);
}

CK_RV destroyObject(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object) {
  return callDone(list, &CK_FUNCTION_LIST::C_DestroyObject,
                  "JNI:BRIDGE: Calling C_DestroyObject...", session, object);
}

CK_RV getObjectSize(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                    CK_ULONG* size) {
  return callDone(list, &CK_FUNCTION_LIST::C_GetObjectSize,
                  "JNI:BRIDGE: Calling C_GetObjectSize...", session, object, size);
}

CK_RV getAttributeValue(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                        CK_ATTRIBUTE* attribute) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Calling C_GetAttributeValue %lx ...", attribute->type);
  CK_C_GetAttributeValue fn = list->C_GetAttributeValue;
  if (fn == nullptr) return CKR_ZOR_NOFUNCPTR;
  attribute->pValue = nullptr;
  attribute->ulValueLen = 0;
  CK_RV rv = fn(session, object, attribute, 1);
  trace("(len=%li)...", attribute->ulValueLen);
  if (rv != CKR_OK) return rv;
  // A length of all ones is "unavailable", and one more byte for the
  // terminator would overflow: no buffer is made for it.
  CK_ULONG length = attribute->ulValueLen;
  if (length == CK_UNAVAILABLE_INFORMATION) return CKR_ZOR_NOSPACE;
  CK_BYTE* buffer = static_cast<CK_BYTE*>(malloc(static_cast<size_t>(length) + 1));
  if (buffer == nullptr) return CKR_ZOR_NOSPACE;
  attribute->pValue = buffer;
  rv = fn(session, object, attribute, 1);
  if (rv == CKR_OK) {
    // Terminate after the value so that texts read as C strings; a module
    // that claims more than the buffer holds is held to the buffer.
    if (attribute->ulValueLen > length) attribute->ulValueLen = length;
    buffer[attribute->ulValueLen] = 0;
  }
  traceLine(" Done");
  if (rv != CKR_OK) {
    free(buffer);
    attribute->pValue = nullptr;
  }
  return rv;
}

CK_RV setAttributeValue(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                        CK_ATTRIBUTE* attributes, CK_ULONG count) {
  return callDone(list, &CK_FUNCTION_LIST::C_SetAttributeValue,
                  "JNI:BRIDGE: Calling C_SetAttributeValue...", session, object, attributes, count);
}

CK_RV signInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
               CK_OBJECT_HANDLE key) {
  return callDone(list, &CK_FUNCTION_LIST::C_SignInit, "JNI:BRIDGE: Calling C_SignInit ...",
                  session, mechanism, key);
}

CK_RV sign(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
           CK_BYTE* signature, CK_ULONG* signatureLength) {
  return callOut(list, &CK_FUNCTION_LIST::C_Sign, "JNI:BRIDGE: Calling C_Sign ...", session, data,
                 dataLength, signature, signatureLength);
}

CK_RV encryptInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_OBJECT_HANDLE key) {
  return callDone(list, &CK_FUNCTION_LIST::C_EncryptInit, "JNI:BRIDGE: Calling C_EncryptInit ...",
                  session, mechanism, key);
}

CK_RV encrypt(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
              CK_BYTE* output, CK_ULONG* outputLength) {
  return callOut(list, &CK_FUNCTION_LIST::C_Encrypt, "JNI:BRIDGE: Calling C_Encrypt ...", session,
                 data, dataLength, output, outputLength);
}

CK_RV decryptInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_OBJECT_HANDLE key) {
  return callDone(list, &CK_FUNCTION_LIST::C_DecryptInit, "JNI:BRIDGE: Calling C_DecryptInit ...",
                  session, mechanism, key);
}

CK_RV decrypt(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
              CK_BYTE* output, CK_ULONG* outputLength) {
  return callOut(list, &CK_FUNCTION_LIST::C_Decrypt, "JNI:BRIDGE: Calling C_Decrypt ...", session,
                 data, dataLength, output, outputLength);
}

CK_RV wrapKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
              CK_OBJECT_HANDLE wrappingKey, CK_OBJECT_HANDLE key, CK_BYTE* output,
              CK_ULONG* outputLength) {
  CK_C_WrapKey fn;
  CK_RV rv =
      takeEntry(list, &CK_FUNCTION_LIST::C_WrapKey, "JNI:BRIDGE: Calling C_WrapKey ...", &fn);
  if (rv != CKR_OK) return rv;
  rv = fn(session, mechanism, wrappingKey, key, output, outputLength);
  trace(" Done(out=%li)\n", *outputLength);
  return rv;
}

CK_RV unwrapKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                CK_OBJECT_HANDLE unwrappingKey, CK_BYTE* wrapped, CK_ULONG wrappedLength,
                CK_ATTRIBUTE* attributes, CK_ULONG count, CK_OBJECT_HANDLE* key) {
  CK_C_UnwrapKey fn;
  CK_RV rv =
      takeEntry(list, &CK_FUNCTION_LIST::C_UnwrapKey, "JNI:BRIDGE: Calling C_UnwrapKey ...", &fn);
  if (rv != CKR_OK) return rv;
  return fn(session, mechanism, unwrappingKey, wrapped, wrappedLength, attributes, count, key);
}

CK_RV generateKeyPair(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                      CK_ATTRIBUTE* publicAttributes, CK_ULONG publicCount,
                      CK_ATTRIBUTE* privateAttributes, CK_ULONG privateCount,
                      CK_OBJECT_HANDLE* publicKey, CK_OBJECT_HANDLE* privateKey) {
  return callDone(list, &CK_FUNCTION_LIST::C_GenerateKeyPair,
                  "JNI:BRIDGE: Calling C_GenerateKeyPair ...", session, mechanism, publicAttributes,
                  publicCount, privateAttributes, privateCount, publicKey, privateKey);
}

CK_RV generateKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_ATTRIBUTE* attributes, CK_ULONG count, CK_OBJECT_HANDLE* key) {
  return callDone(list, &CK_FUNCTION_LIST::C_GenerateKey, "JNI:BRIDGE: Calling C_GenerateKey ...",
                  session, mechanism, attributes, count, key);
}

}  // extern "C"
