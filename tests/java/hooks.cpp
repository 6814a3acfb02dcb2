// Test-only JNI hooks: let the Java suite reach bridge functions that no
// entry point exposes directly (the throw functions with any code) and the
// process state around the trace log (flushing standard output, changing the
// environment variable that switches tracing on), and a session opened
// straight through a module's function list for suites that need one.
#include <jni.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

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

// Opens a session on `slot` through the module's own C_OpenSession and logs
// the user in when a PIN is given; returns the session handle. A failure
// throws the module's code.
JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_BridgeHooks_moduleOpenSession(JNIEnv* env, jclass,
                                                                                jlong list,
                                                                                jint slot,
                                                                                jstring userPin) {
  CK_FUNCTION_LIST* functions = reinterpret_cast<CK_FUNCTION_LIST*>(static_cast<intptr_t>(list));
  CK_SESSION_HANDLE session = 0;
  CK_RV rv =
      functions->C_OpenSession(static_cast<CK_SLOT_ID>(static_cast<uint32_t>(slot)),
                               CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
  if (rv == CKR_OK && userPin != nullptr) {
    const char* pin = env->GetStringUTFChars(userPin, nullptr);
    if (pin == nullptr) return 0;
    rv = functions->C_Login(session, CKU_USER,
                            reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin)), strlen(pin));
    env->ReleaseStringUTFChars(userPin, pin);
  }
  if (rv != CKR_OK) throwCKExc(env, rv);
  return static_cast<jint>(session);
}
}
