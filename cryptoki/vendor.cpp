// Card-specific functions that some modules export by name beside the
// standard function list. Each wrapper looks its function up in the module on
// every call (nothing is cached) and returns the module's result unchanged, or
// CKR_ZOR_NOFUNCPTR when the module does not export the name.
#include "cryptoki.h"
#include "runtime.h"

using quillon::printable;
using quillon::trace;

namespace {

// The vendor functions' prototypes, as the modules that export them define
// them.
typedef CK_RV (*ControlFn)(CK_SLOT_ID, CK_ULONG, CK_BYTE*, CK_ULONG*);
typedef CK_RV (*Control2Fn)(CK_UTF8CHAR*, CK_ULONG, CK_BYTE*, CK_ULONG*);
typedef CK_RV (*InitPin4Fn)(CK_SESSION_HANDLE, CK_UTF8CHAR*, CK_ULONG, CK_UTF8CHAR*, CK_ULONG,
                            CK_BYTE, CK_BYTE);
typedef CK_RV (*SetPin4Fn)(CK_SESSION_HANDLE, CK_UTF8CHAR*, CK_ULONG, CK_UTF8CHAR*, CK_ULONG);
typedef CK_RV (*GetTokenParamFn)(CK_SESSION_HANDLE, CK_UTF8CHAR*, CK_ULONG, CK_BYTE*, CK_ULONG*);
typedef CK_RV (*SetTokenParamFn)(CK_SESSION_HANDLE, CK_UTF8CHAR*, CK_ULONG, CK_UTF8CHAR*, CK_ULONG);

// Looks `name` up and calls it with `args`; the result passes through.
template <typename F, typename... Args>
CK_RV callByName(ModuleHandle module, const char* name, Args... args) {
  void* symbol = getFunction(module, name);
  if (symbol == nullptr) return CKR_ZOR_NOFUNCPTR;
  return reinterpret_cast<F>(symbol)(args...);
}

CK_UTF8CHAR* text(const char* value) {
  return reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(value));
}

}  // namespace

extern "C" {

void* getFunction(ModuleHandle module, const char* name) {
  trace("JNI:BRIDGE: Getting FuncList address...");
  // Without a module there is nothing to look in. A null handle would make
  // dlsym search the whole process (RTLD_DEFAULT) and could find the bridge's
  // own wrapper of the same name, which would then call itself.
  void* symbol = module != nullptr ? quillon::findSymbol(module, name) : nullptr;
  trace(" Done: %lx\n", printable(symbol));
  return symbol;
}

CK_RV C_Control(ModuleHandle module, CK_SLOT_ID slot, CK_ULONG command, CK_BYTE* data,
                CK_ULONG* length) {
  return callByName<ControlFn>(module, "C_Control", slot, command, data, length);
}

CK_RV C_Control2(ModuleHandle module, const char* readerName, CK_ULONG command, CK_BYTE* data,
                 CK_ULONG* length) {
  return callByName<Control2Fn>(module, "C_Control2", text(readerName), command, data, length);
}

CK_RV C_InitPIN4(ModuleHandle module, CK_SESSION_HANDLE session, const char* puk,
                 CK_ULONG pukLength, const char* newPin, CK_ULONG newPinLength, CK_ULONG option1,
                 CK_ULONG option2) {
  // The module takes each option as a single byte: the low 8 bits.
  return callByName<InitPin4Fn>(module, "C_InitPIN4", session, text(puk), pukLength, text(newPin),
                                newPinLength, static_cast<CK_BYTE>(option1),
                                static_cast<CK_BYTE>(option2));
}

CK_RV C_InitPIN4Bit(ModuleHandle module, CK_SESSION_HANDLE session, const char* puk,
                    CK_ULONG pukLength, const char* newPin, CK_ULONG newPinLength) {
  // The same exported function, with both options 0: the bridge never leaves
  // an argument that the module reads undefined.
  return callByName<InitPin4Fn>(module, "C_InitPIN4", session, text(puk), pukLength, text(newPin),
                                newPinLength, static_cast<CK_BYTE>(0), static_cast<CK_BYTE>(0));
}

CK_RV C_SetPIN4(ModuleHandle module, CK_SESSION_HANDLE session, const char* oldPin,
                CK_ULONG oldLength, const char* newPin, CK_ULONG newLength) {
  return callByName<SetPin4Fn>(module, "C_SetPIN4", session, text(oldPin), oldLength, text(newPin),
                               newLength);
}

CK_RV C_GetTokenParam(ModuleHandle module, CK_SESSION_HANDLE session, const char* name,
                      CK_ULONG nameLength, CK_BYTE* value, CK_ULONG* valueLength) {
  return callByName<GetTokenParamFn>(module, "C_GetTokenParam", session, text(name), nameLength,
                                     value, valueLength);
}

CK_RV C_SetTokenParam(ModuleHandle module, CK_SESSION_HANDLE session, const char* name,
                      CK_ULONG nameLength, const char* value, CK_ULONG valueLength) {
  return callByName<SetTokenParamFn>(module, "C_SetTokenParam", session, text(name), nameLength,
                                     text(value), valueLength);
}

}  // extern "C"
