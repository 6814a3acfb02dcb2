// Bridge runtime: trace flag and trace output, the bridge's own return codes,
// exception reporting and the conversions between Java and PKCS#11 values.
//
// Every function and global named here has C linkage, so the shared object
// exports it under its plain name.
#ifndef QUILLON_RUNTIME_H
#define QUILLON_RUNTIME_H

#include <jni.h>
#include <p11-kit/pkcs11.h>
#include <stdio.h>

#if defined(__GNUC__)
#define QUILLON_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define QUILLON_PRINTF(fmt, first)
#endif

extern "C" {

// Non-zero once tracing was switched on; never reset for the life of the process.
extern int debug;

// The bridge version handed to Java by getBridgeVersion.
extern const char bridgev[];

// The bridge's own return codes, in the vendor-defined range of CK_RV.
extern const CK_RV CKR_ZOR_NOFUNCPTR;  // module, list entry or exported function missing
extern const CK_RV CKR_ZOR_NOSPACE;    // an output buffer cannot be allocated
extern const CK_RV CKR_ZOR_NOTINIT;    // a null function-list handle

// Throwing PKCS11Exception. Each only leaves an exception pending: the caller
// returns to the VM for Java to see it.
void throwExc(JNIEnv* env, const char* message);
void throwCKExc(JNIEnv* env, CK_RV rv);
void throwCKExcAS(JNIEnv* env, CK_RV rv);

// PKCS#11 to Java.
jint CK2J_INT(CK_ULONG value);
jint CK2J_SLOT(CK_SLOT_ID value);
jint CK2J_SESSION(CK_SESSION_HANDLE value);
jint CK2J_FLAGS(CK_FLAGS value);
jboolean CK2J_BOOL(CK_BBOOL value);
jint CK2J_VER(CK_VERSION version);
jstring CK2J_STR(JNIEnv* env, const CK_UTF8CHAR* field, int width);

// Java to PKCS#11. J2CK_INT sign-extends (counts, lengths, flags, values:
// -1 stays all ones); J2CK_HANDLE and J2CK_TYPE zero-extend, because a Java
// int that names a handle, an attribute type or a mechanism type stands for
// an unsigned 32-bit number.
CK_ULONG J2CK_INT(jint value);
CK_FLAGS J2CK_FLAGS(jint value);
CK_BBOOL J2CK_BOOL(jboolean value);
CK_ULONG J2CK_HANDLE(jint value);
CK_ULONG J2CK_TYPE(jint value);

// Handle readers. Each reads an int field of the Java object and widens it
// without sign. When the field cannot be read (or the object's session is
// null) it leaves a PKCS11Exception "Internal error (Null parameter)" pending,
// unless the VM already has an exception pending, and returns 0; callers
// test with ExceptionCheck.
CK_SLOT_ID getSlotID(JNIEnv* env, jobject slot);
CK_SESSION_HANDLE getSessionID(JNIEnv* env, jobject session);
CK_OBJECT_HANDLE getObjectID(JNIEnv* env, jobject object);
CK_SESSION_HANDLE getObjSessionID(JNIEnv* env, jobject object);

}  // extern "C"

namespace quillon {

// The handle readers' own steps: each reports whether it read the handle
// (false: an exception is pending, as getSlotID and its kin leave it).
bool readSlotID(JNIEnv* env, jobject slot, CK_SLOT_ID* handle);
bool readSessionID(JNIEnv* env, jobject session, CK_SESSION_HANDLE* handle);
bool readObjectID(JNIEnv* env, jobject object, CK_OBJECT_HANDLE* handle);
bool readObjSessionID(JNIEnv* env, jobject object, CK_SESSION_HANDLE* handle);

// Whether tracing is on. Any Java thread may trace while another loads a
// module and switches tracing on: the flag is read atomically. Relaxed order
// is enough, since nothing else is published through it.
inline bool tracing() {
  return __atomic_load_n(&debug, __ATOMIC_RELAXED) != 0;
}

// Trace output. Each tests `debug` immediately before printing. Inlined where
// the compiler can forward the arguments, so that a trace statement costs one
// test of the flag while tracing is off.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((always_inline)) QUILLON_PRINTF(1, 2) inline void trace(const char* format, ...) {
  if (tracing()) printf(format, __builtin_va_arg_pack());
}
#else
void trace(const char* format, ...) QUILLON_PRINTF(1, 2);
#endif
// A whole line: the text and a line end.
inline void traceLine(const char* text) {
  if (tracing()) puts(text);
}

// Diagnostics printed whether or not tracing is on.
void say(const char* format, ...) QUILLON_PRINTF(1, 2);
void sayLine(const char* text);

// A Java string of a token's text up to its first NUL. NewStringUTF takes
// only modified UTF-8, so the text is rewritten into it first: well-formed
// sequences of up to three bytes stay, four-byte ones become surrogate
// pairs, and a byte that starts no well-formed sequence becomes U+FFFD.
// Null with an exception pending when the string cannot be made.
jstring newJavaString(JNIEnv* env, const CK_BYTE* text);

// Run at the start of every module load: reads PKCS11_ZOR_DEBUG and, when it
// is set, sends standard output to the trace log and switches tracing on.
void traceSwitch();

}  // namespace quillon

#endif
