// Binding to a Cryptoki module: load it, obtain its function list,
// initialise and finalise it. The bridge keeps none of the handles: Java
// holds them and passes them back on every call.
#include <stdint.h>

#include "cryptoki.h"
#include "runtime.h"

using quillon::printable;
using quillon::trace;

// C_Initialize and C_Finalize with their one argument (null but for a
// threaded initialisation); the result closes the opening line.
template <typename F>
static CK_RV callWithArgument(FunctionList list, F CK_FUNCTION_LIST::*member, const char* opening,
                              void* argument = nullptr) {
  if (list == nullptr) return CKR_ZOR_NOTINIT;
  trace("%s", opening);
  F fn = list->*member;
  if (fn == nullptr) return CKR_ZOR_NOFUNCPTR;
  CK_RV rv = fn(argument);
  trace(" Done: %li\n", rv);
  return rv;
}

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
  void* symbol = getFunction(module, "C_GetFunctionList");
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
  // No arguments: the module is told that it will not be entered from
  // several threads at once and needs no locking callbacks.
  return callWithArgument(list, &CK_FUNCTION_LIST::C_Initialize, "JNI:BRIDGE: Initializing...");
}

CK_RV initLibWithArgs(FunctionList list, CK_C_INITIALIZE_ARGS* args) {
  // Traced as initLib is: the two differ only in what the module is told.
  return callWithArgument(list, &CK_FUNCTION_LIST::C_Initialize, "JNI:BRIDGE: Initializing...",
                          args);
}

CK_RV finalizeLib(ModuleHandle, FunctionList list) {
  // The module stays loaded.
  return callWithArgument(list, &CK_FUNCTION_LIST::C_Finalize, "JNI:BRIDGE: Finalizing...");
}

}  // extern "C"
