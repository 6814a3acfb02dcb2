// Test-only JNI hooks: let the Java suite reach bridge functions that no
// entry point exposes directly (the throw functions with any code) and the
// process state around the trace log (flushing standard output, changing the
// environment variable that switches tracing on), and keep a library mapped
// after the Java VM unloads it.
#include <dlfcn.h>
#include <jni.h>
#include <stdio.h>
#include <stdlib.h>

#include "runtime.h"

extern "C" {

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_throwCKExc(JNIEnv* env, jclass,
                                                                         jlong rv) {
  throwCKExc(env, static_cast<CK_RV>(rv));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_throwCKExcAS(JNIEnv* env, jclass,
                                                                           jlong rv) {
  throwCKExcAS(env, static_cast<CK_RV>(rv));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_flushStdout(JNIEnv*, jclass) {
  fflush(stdout);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_setTraceVariable(JNIEnv*, jclass,
                                                                               jboolean set) {
  if (set)
    setenv("PKCS11_ZOR_DEBUG", "", 1);
  else
    unsetenv("PKCS11_ZOR_DEBUG");
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_debugFlag(JNIEnv*, jclass) {
  return debug;
}

// Opens a shared library once more and never closes it: when the Java VM
// unloads it, it stays mapped, with its globals as they were.
JNIEXPORT jboolean JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_holdLibrary(JNIEnv* env, jclass,
                                                                              jstring path) {
  const char* file = env->GetStringUTFChars(path, nullptr);
  if (file == nullptr) return JNI_FALSE;
  void* library = dlopen(file, RTLD_NOW);
  env->ReleaseStringUTFChars(path, file);
  return library != nullptr ? JNI_TRUE : JNI_FALSE;
}
}
