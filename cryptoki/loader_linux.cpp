// Module loading on Linux: dlopen with lazy binding and local scope.
#include <dlfcn.h>
#include <stdio.h>

#include "cryptoki.h"

namespace quillon {

ModuleHandle openModule(const char* path) {
  return dlopen(path, RTLD_LAZY);
}

void* findSymbol(ModuleHandle module, const char* name) {
  return dlsym(module, name);
}

void reopenStdout(const char* path) {
  // The result is not examined: when the log cannot be opened, trace output
  // is lost and the bridge carries on.
  (void)freopen(path, "a+", stdout);
}

}  // namespace quillon
