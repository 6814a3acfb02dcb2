// The bridge's own return codes and the three ways a failure becomes a
// PKCS11Exception in Java.
#include "runtime.h"

using quillon::trace;
using quillon::traceLine;

extern "C" {

const CK_RV CKR_ZOR_NOFUNCPTR = 0x80000001UL;
const CK_RV CKR_ZOR_NOSPACE = 0x80000002UL;
const CK_RV CKR_ZOR_NOTINIT = 0x80000003UL;

}  // extern "C"

static const char kExceptionClass[] = "it/morvale/pkcs11/PKCS11Exception";

// Builds a PKCS11Exception with the code constructor "(I)V" or the
// code-and-flag constructor "(IZ)V" and throws it. Any lookup or allocation
// that fails leaves the VM's own error pending and ends the throw.
static void throwCoded(JNIEnv* env, CK_RV rv, bool withFlag) {
  trace("JNI: Throwing exc number %lx...", rv);
  jclass cls = env->FindClass(kExceptionClass);
  if (env->ExceptionCheck() || cls == nullptr) return;
  jmethodID ctor = env->GetMethodID(cls, "<init>", withFlag ? "(IZ)V" : "(I)V");
  if (env->ExceptionCheck() || ctor == nullptr) {
    env->DeleteLocalRef(cls);
    return;
  }
  jobject exc = withFlag ? env->NewObject(cls, ctor, CK2J_INT(rv), CK2J_BOOL(rv > 0x7FFFFFFFUL))
                         : env->NewObject(cls, ctor, CK2J_INT(rv));
  bool failed = env->ExceptionCheck() || exc == nullptr;
  env->DeleteLocalRef(cls);
  if (failed) return;
  env->Throw(static_cast<jthrowable>(exc));
  env->DeleteLocalRef(exc);
  traceLine(" Done");
}

extern "C" {

void throwExc(JNIEnv* env, const char* message) {
  trace("JNI: Throwing vendor defined exc '%s'...", message);
  jclass cls = env->FindClass(kExceptionClass);
  if (env->ExceptionCheck() || cls == nullptr) return;
  env->ThrowNew(cls, message);
  env->DeleteLocalRef(cls);
  traceLine(" Done");
}

void throwCKExc(JNIEnv* env, CK_RV rv) {
  if (rv > 0x7FFFFFFFUL) {
    trace("JNI: Throwing exc number %lx...", rv);
    throwExc(env, "Internal error");
  } else if (rv == CKR_OK) {
    throwExc(env, "Unknown internal error");
  } else {
    throwCoded(env, rv, false);
  }
}

void throwCKExcAS(JNIEnv* env, CK_RV rv) {
  if (rv == CKR_OK) {
    throwExc(env, "Unknown internal error");
  } else {
    throwCoded(env, rv, true);
  }
}

}  // extern "C"
