// Binding to a Cryptoki module: load it, obtain its function list,
// initialise and finalise it. The bridge keeps none of the handles: Java
// holds them and passes them back on every call.
#include <stdint.h>

#include "cryptoki.h"
#include "runtime.h"

using quillon::printable;
using quillon::trace;

extern "C" {

CK_RV loadLib(const char* path, ModuleHandle* module) {
  trace("JNI:BRIDGE: Start loading library...");
  ModuleHandle handle = quillon::openModule(path);
  trace(" Done: %lx\n", printable(handle));
  if (handle == nullptr) return CKR_ZOR_NOFUNCPTR;
  *module = handle;
  return CKR_OK;
}

CK_RV loadfunctionList(ModuleHandle module, FunctionList* list) {
  trace("JNI:BRIDGE: Getting FuncList address...");
  void* symbol = quillon::findSymbol(module, "C_GetFunctionList");
  trace(" Done: %lx\n", printable(symbol));
  if (symbol == nullptr) return CKR_ZOR_NOFUNCPTR;
  CK_C_GetFunctionList getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(symbol);
  trace("JNI:BRIDGE: Calling FuncList...");
  FunctionList found = nullptr;
  CK_RV rv = getFunctionList(&found);
  trace(" Done: %lx\n", printable(found));
  if (rv != CKR_OK) return rv;
  if (found == nullptr) return CKR_ZOR_NOFUNCPTR;
  *list = found;
  return CKR_OK;
}

CK_RV initLib(FunctionList list) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Initializing...");
  CK_C_Initialize initialize = list->C_Initialize;
  if (initialize == nullptr) return CKR_ZOR_NOFUNCPTR;
  // No arguments: the module is told that it will not be entered from
  // several threads at once and needs no locking callbacks.
  CK_RV rv = initialize(nullptr);
  trace(" Done: %li\n", rv);
  return rv;
}

CK_RV finalizeLib(ModuleHandle, FunctionList list) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("JNI:BRIDGE: Finalizing...");
  CK_C_Finalize finalize = list->C_Finalize;
  if (finalize == nullptr) return CKR_ZOR_NOFUNCPTR;
  CK_RV rv = finalize(nullptr);
  trace(" Done: %li\n", rv);
  return rv;
}

}  // extern "C"
