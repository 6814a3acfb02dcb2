// Cryptoki call layer: module binding and one traced wrapper per Cryptoki
// function that the bridge calls. Wrappers return CK_RV codes (the module's or
// the bridge's own), never throw and never touch Java.
#ifndef QUILLON_CRYPTOKI_H
#define QUILLON_CRYPTOKI_H

#include <stdint.h>

#include <p11-kit/pkcs11.h>

// The loader's handle of a Cryptoki module, and the address of its function
// list. Java carries both as a long.
typedef void* ModuleHandle;
typedef CK_FUNCTION_LIST* FunctionList;

extern "C" {

// Module binding.
CK_RV loadLib(const char* path, ModuleHandle* module);
CK_RV loadfunctionList(ModuleHandle module, FunctionList* list);
CK_RV initLib(FunctionList list);
// C_Initialize with initialisation arguments that the caller owns.
CK_RV initLibWithArgs(FunctionList list, CK_C_INITIALIZE_ARGS* args);
CK_RV finalizeLib(ModuleHandle module, FunctionList list);

// Standard call wrappers.
CK_RV getInfo(FunctionList list, CK_INFO* info);
CK_RV getSlotList(FunctionList list, CK_SLOT_ID** slots, int tokenPresent, CK_ULONG* count);
CK_RV getSlotInfo(FunctionList list, CK_SLOT_ID slot, CK_SLOT_INFO* info);
CK_RV getTokenInfo(FunctionList list, CK_SLOT_ID slot, CK_TOKEN_INFO* info);
CK_RV getMechanismList(FunctionList list, CK_SLOT_ID slot, CK_MECHANISM_TYPE** mechanisms,
                       CK_ULONG* count);
CK_RV getMechanismInfo(FunctionList list, CK_SLOT_ID slot, CK_MECHANISM_TYPE type,
                       CK_MECHANISM_INFO* info);
CK_RV openSession(FunctionList list, CK_SLOT_ID slot, CK_FLAGS flags, CK_SESSION_HANDLE* session);
CK_RV closeAllSessions(FunctionList list, CK_SLOT_ID slot);
CK_RV closeSession(FunctionList list, CK_SESSION_HANDLE session);
CK_RV getSessionInfo(FunctionList list, CK_SESSION_HANDLE session, CK_SESSION_INFO* info);
CK_RV initPin(FunctionList list, CK_SESSION_HANDLE session, const char* pin);
CK_RV setPin(FunctionList list, CK_SESSION_HANDLE session, const char* oldPin, const char* newPin);
CK_RV Morvale_login(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user,
                    const char* pin);
CK_RV Morvale_logout(FunctionList list, CK_SESSION_HANDLE session);
CK_RV loginellips(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR* pin,
                  CK_ULONG pinLength);
CK_RV setPinellips(FunctionList list, CK_SESSION_HANDLE session, CK_UTF8CHAR* oldPin,
                   CK_ULONG oldLength, CK_UTF8CHAR* newPin, CK_ULONG newLength);
CK_RV loginAuthPath(FunctionList list, CK_SESSION_HANDLE session, CK_USER_TYPE user);
CK_RV InitToken(FunctionList list, CK_SLOT_ID slot, const char* pin, CK_ULONG pinLength,
                const char* label);
CK_RV findObjectsInit(FunctionList list, CK_SESSION_HANDLE session, CK_ATTRIBUTE* attributes,
                      CK_ULONG count);
CK_RV findObjects(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* object);
CK_RV findObjectsFinal(FunctionList list, CK_SESSION_HANDLE session);
CK_RV createObject(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* object,
                   CK_ATTRIBUTE* attributes, CK_ULONG count);
CK_RV destroyObject(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object);
CK_RV getObjectSize(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                    CK_ULONG* size);
CK_RV getAttributeValue(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                        CK_ATTRIBUTE* attribute);
CK_RV setAttributeValue(FunctionList list, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                        CK_ATTRIBUTE* attributes, CK_ULONG count);
CK_RV signInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
               CK_OBJECT_HANDLE key);
CK_RV sign(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
           CK_BYTE* signature, CK_ULONG* signatureLength);
CK_RV encryptInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_OBJECT_HANDLE key);
CK_RV encrypt(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
              CK_BYTE* output, CK_ULONG* outputLength);
CK_RV decryptInit(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_OBJECT_HANDLE key);
CK_RV decrypt(FunctionList list, CK_SESSION_HANDLE session, CK_BYTE* data, CK_ULONG dataLength,
              CK_BYTE* output, CK_ULONG* outputLength);
CK_RV wrapKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
              CK_OBJECT_HANDLE wrappingKey, CK_OBJECT_HANDLE key, CK_BYTE* output,
              CK_ULONG* outputLength);
CK_RV unwrapKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                CK_OBJECT_HANDLE unwrappingKey, CK_BYTE* wrapped, CK_ULONG wrappedLength,
                CK_ATTRIBUTE* attributes, CK_ULONG count, CK_OBJECT_HANDLE* key);
CK_RV generateKeyPair(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                      CK_ATTRIBUTE* publicAttributes, CK_ULONG publicCount,
                      CK_ATTRIBUTE* privateAttributes, CK_ULONG privateCount,
                      CK_OBJECT_HANDLE* publicKey, CK_OBJECT_HANDLE* privateKey);
CK_RV generateKey(FunctionList list, CK_SESSION_HANDLE session, CK_MECHANISM* mechanism,
                  CK_ATTRIBUTE* attributes, CK_ULONG count, CK_OBJECT_HANDLE* key);

// Vendor functions, looked up by name in the module on every call. The
// first argument is the module handle.
void* getFunction(ModuleHandle module, const char* name);
CK_RV C_Control(ModuleHandle module, CK_SLOT_ID slot, CK_ULONG command, CK_BYTE* data,
                CK_ULONG* length);
CK_RV C_Control2(ModuleHandle module, const char* readerName, CK_ULONG command, CK_BYTE* data,
                 CK_ULONG* length);
CK_RV C_InitPIN4(ModuleHandle module, CK_SESSION_HANDLE session, const char* puk,
                 CK_ULONG pukLength, const char* newPin, CK_ULONG newPinLength, CK_ULONG option1,
                 CK_ULONG option2);
CK_RV C_InitPIN4Bit(ModuleHandle module, CK_SESSION_HANDLE session, const char* puk,
                    CK_ULONG pukLength, const char* newPin, CK_ULONG newPinLength);
CK_RV C_SetPIN4(ModuleHandle module, CK_SESSION_HANDLE session, const char* oldPin,
                CK_ULONG oldLength, const char* newPin, CK_ULONG newLength);
CK_RV C_GetTokenParam(ModuleHandle module, CK_SESSION_HANDLE session, const char* name,
                      CK_ULONG nameLength, CK_BYTE* value, CK_ULONG* valueLength);
CK_RV C_SetTokenParam(ModuleHandle module, CK_SESSION_HANDLE session, const char* name,
                      CK_ULONG nameLength, const char* value, CK_ULONG valueLength);

}  // extern "C"

// The platform loader, one source per platform.
namespace quillon {
ModuleHandle openModule(const char* path);
void* findSymbol(ModuleHandle module, const char* name);
// Moves standard output onto the trace log, opened in append mode. False,
// with standard output left as it was, when the log cannot be opened.
bool reopenStdout(const char* path);

// Handles are traced as the unsigned long that the "%lx" format expects.
inline unsigned long printable(const void* handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}
}  // namespace quillon

#endif
