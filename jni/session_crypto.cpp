// Native methods of it.morvale.pkcs11.nat.NativePKCS11Session that use keys:
// single-part signing, encryption and decryption, key wrapping and
// unwrapping, key generation, and the session functions the bridge does not
// offer.
#include <stdlib.h>

#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "template.h"

using namespace quillon;

namespace {

const char kNullParameter[] = "Internal error (Null parameter)";
const char kOutOfMemory[] = "Internal error: Out of memory";

// The call-layer wrappers that start an operation (C_SignInit, C_EncryptInit,
// C_DecryptInit) and those that run it in one part (C_Sign, C_Encrypt,
// C_Decrypt) share one shape each.
typedef CK_RV (*OperationStart)(FunctionList, CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE);
typedef CK_RV (*SinglePart)(FunctionList, CK_SESSION_HANDLE, CK_BYTE*, CK_ULONG, CK_BYTE*,
                            CK_ULONG*);

// How a single-part operation sizes its output: from the output array, where
// a null or empty array asks the module for the length it needs (sign,
// decrypt); or from the data length, which the output array must then hold
// (encrypt).
enum OutputCapacity { kOutputArrayOrQuery, kDataLength };

// A byte array that the module reads or writes must be there: a null array
// is refused, a pin that the VM refused leaves the VM's error.
bool pinnedArray(JNIEnv* env, const PinnedBytes& bytes) {
  if (bytes.isNull()) {
    refuse(env, kNullParameter);
    return false;
  }
  return bytes.ok();
}

// A Java length that the module is told about must lie within the array it
// describes, or the module would read or write past the array.
bool lengthWithin(JNIEnv* env, jint length, CK_ULONG available) {
  if (length >= 0 && static_cast<CK_ULONG>(length) <= available) return true;
  refuse(env, "Internal error: length out of range");
  return false;
}

// signInit, encryptInit, decryptInit: the session, the key and the bare
// mechanism go to one wrapper.
void startOperation(JNIEnv* env, jobject self, jlong list, jint type, jobject key,
                    const char* startText, OperationStart start) {
  trace("%s", startText);
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return;
  CK_OBJECT_HANDLE keyHandle;
  if (!readHandle(env, getObjectID, key, &keyHandle)) return;
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  failed(env, start(functionList(list), session, &mechanism, keyHandle));
}

// sign, encrypt, decrypt: `length` bytes of `data` in, the output's length
// (or the length it needs, after a size query) back.
jint runSinglePart(JNIEnv* env, jobject self, jlong list, jbyteArray data, jint length,
                   jbyteArray output, const char* startText, SinglePart run,
                   OutputCapacity sizing) {
  trace("%s", startText);
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return -1;
  PinnedBytes in(env, data);
  if (!pinnedArray(env, in) || !lengthWithin(env, length, in.length())) return -1;
  PinnedBytes out(env, output);
  CK_ULONG capacity;
  CK_BYTE* result;
  if (sizing == kDataLength) {
    if (!pinnedArray(env, out) || !lengthWithin(env, length, out.length())) return -1;
    capacity = J2CK_INT(length);
    result = out.data();
  } else {
    if (!out.isNull() && !out.ok()) return -1;
    capacity = out.length();
    // No room at all: ask the module for the length it needs.
    result = capacity != 0 ? out.data() : nullptr;
  }
  trace("(session= %li)\n", session);
  if (failed(env, run(functionList(list), session, in.data(), J2CK_INT(length), result, &capacity)))
    return -1;
  return CK2J_INT(capacity);
}

// Both arrays of a template are there and pair up; checked for both
// templates of a key pair before either is built.
bool templateArraysMatch(JNIEnv* env, jintArray types, jobjectArray values, const char* message) {
  if (types == nullptr || values == nullptr) {
    refuse(env, kNullParameter);
    return false;
  }
  if (env->GetArrayLength(types) == env->GetArrayLength(values)) return true;
  refuse(env, message);
  return false;
}

// The Object[2] {public key, private key} of a generated key pair, both
// NativePKCS11Object of `session`. Null, with the VM's error pending, when
// one of the Java objects cannot be made; the keys stay on the token.
jobjectArray keyPairResult(JNIEnv* env, jobject session, CK_OBJECT_HANDLE publicKey,
                           CK_OBJECT_HANDLE privateKey) {
  trace("JNI: creating 2 jobject PKCS11Object...");
  Constructor keyClass(env, "it/morvale/pkcs11/nat/NativePKCS11Object",
                       "(Lit/morvale/pkcs11/nat/NativePKCS11Session;I)V");
  if (!keyClass.ok()) return nullptr;
  Local<jobject> publicObject(env, keyClass.make(session, CK2J_INT(publicKey)));
  if (publicObject.get() == nullptr) return nullptr;
  Local<jobject> privateObject(env, keyClass.make(session, CK2J_INT(privateKey)));
  if (privateObject.get() == nullptr) return nullptr;
  Local<jclass> objectClass(env, env->FindClass("java/lang/Object"));
  if (env->ExceptionCheck() || objectClass.get() == nullptr) return nullptr;
  Local<jobjectArray> pair(env, env->NewObjectArray(2, objectClass.get(), nullptr));
  if (env->ExceptionCheck() || pair.get() == nullptr) return nullptr;
  env->SetObjectArrayElement(pair.get(), 0, publicObject.get());
  if (env->ExceptionCheck()) return nullptr;
  env->SetObjectArrayElement(pair.get(), 1, privateObject.get());
  if (env->ExceptionCheck()) return nullptr;
  traceLine("OK");
  return pair.release();
}

CK_ATTRIBUTE attribute(CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG length) {
  CK_ATTRIBUTE entry;
  entry.type = type;
  // The module only reads a template's values.
  entry.pValue = const_cast<void*>(value);
  entry.ulValueLen = length;
  return entry;
}

// The vendor-defined private-key attributes that mark the fixed key pairs.
const CK_ATTRIBUTE_TYPE kIdentityKeyAttribute = 0x80006002UL;
const CK_ATTRIBUTE_TYPE kUtilityKeyAttribute = 0x80006001UL;

const char kNotSupported[] = "Not supported";
const char kNotSupportedYet[] = "Not supported YET";

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_signInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.signInit... ",
                 signInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(JNIEnv* env,
                                                                           jobject self, jlong list,
                                                                           jbyteArray data, jint,
                                                                           jint length,
                                                                           jbyteArray signature) {
  return runSinglePart(env, self, list, data, length, signature,
                       "JNI: start PKCS11Session.sign... ", sign, kOutputArrayOrQuery);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_encryptInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.encryptInit... ",
                 encryptInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_encrypt(
    JNIEnv* env, jobject self, jlong list, jbyteArray data, jint, jint length, jbyteArray output) {
  return runSinglePart(env, self, list, data, length, output,
                       "JNI: start PKCS11Session.encrypt... ", encrypt, kDataLength);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_decryptInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.decryptInit... ",
                 decryptInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_decrypt(
    JNIEnv* env, jobject self, jlong list, jbyteArray data, jint, jint length, jbyteArray output) {
  return runSinglePart(env, self, list, data, length, output,
                       "JNI: start PKCS11Session.decrypt... ", decrypt, kOutputArrayOrQuery);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_wrapKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jobject wrappingKey, jobject key,
    jbyteArray output) {
  trace("JNI: start PKCS11Session.wrapKey... ");
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return -1;
  traceLine("JNI: session OK");
  CK_OBJECT_HANDLE keyHandle;
  if (!readHandle(env, getObjectID, key, &keyHandle)) return -1;
  traceLine("JNI: key OK");
  CK_OBJECT_HANDLE wrappingHandle;
  if (!readHandle(env, getObjectID, wrappingKey, &wrappingHandle)) return -1;
  traceLine("JNI: wrappingKey OK");
  CK_MECHANISM mechanism = bareMechanism(type);
  traceLine("JNI: mechanism OK");
  CK_RV rv;
  CK_ULONG capacity;
  {
    PinnedBytes out(env, output);
    if (!pinnedArray(env, out)) return -1;
    capacity = out.length();
    trace("(session= %li)\n", session);
    rv = wrapKey(functionList(list), session, &mechanism, wrappingHandle, keyHandle, out.data(),
                 &capacity);
    traceLine("JNI: wrapOK OK");
  }
  traceLine("JNI: release OK");
  if (failed(env, rv)) return -1;
  return CK2J_INT(capacity);
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_unwrapKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jobject unwrappingKey,
    jbyteArray wrappedKey, jint, jint length, jintArray types, jobjectArray values) {
  trace("JNI: start PKCS11Session.unwrapKey... ");
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return nullptr;
  CK_OBJECT_HANDLE unwrappingHandle;
  if (!readHandle(env, getObjectID, unwrappingKey, &unwrappingHandle)) return nullptr;
  CK_MECHANISM mechanism = bareMechanism(type);
  Template attributes(env);
  if (!attributes.build(types, values, "Different array length", kOutOfMemory)) return nullptr;
  PinnedBytes wrapped(env, wrappedKey);
  if (!pinnedArray(env, wrapped) || !lengthWithin(env, length, wrapped.length())) return nullptr;
  trace("(session= %li)\n", session);
  CK_OBJECT_HANDLE key;
  if (failed(env,
             unwrapKey(functionList(list), session, &mechanism, unwrappingHandle, wrapped.data(),
                       J2CK_INT(length), attributes.attributes(), attributes.count(), &key)))
    return nullptr;
  trace("JNI: creating PKCS11Object (%li)...", key);
  jobject result = wrapObject(env, self, key);
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jintArray types,
    jobjectArray values) {
  traceLine("JNI: start PKCS11Session.genKey...");
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return nullptr;
  traceLine("JNI: session OK");
  CK_MECHANISM mechanism = bareMechanism(type);
  traceLine("JNI: mechanism OK");
  traceLine("JNI: ckLen OK");
  traceLine("JNI: ckAttr OK");
  traceLine("JNI: attrA OK");
  Template attributes(env);
  if (!attributes.build(types, values, "Different array length", kOutOfMemory, Template::kPerValue))
    return nullptr;
  traceLine("JNI: array OK");
  trace("(session= %li)\n", session);
  CK_OBJECT_HANDLE key;
  if (failed(env, generateKey(functionList(list), session, &mechanism, attributes.attributes(),
                              attributes.count(), &key)))
    return nullptr;
  traceLine("JNI: creating 2 jobject PKCS11Object...");
  return wrapObject(env, self, key);
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPair(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jintArray publicTypes,
    jobjectArray publicValues, jintArray privateTypes, jobjectArray privateValues) {
  static const char kPublicMismatch[] = "Different array length for PublicKey";
  static const char kPrivateMismatch[] = "Different array length for PrivateKey";
  trace("JNI: start PKCS11Session.genKeyPair... ");
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return nullptr;
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  if (!templateArraysMatch(env, publicTypes, publicValues, kPublicMismatch) ||
      !templateArraysMatch(env, privateTypes, privateValues, kPrivateMismatch))
    return nullptr;
  // Declared in this order so that the public template is freed first.
  Template privateTemplate(env);
  Template publicTemplate(env);
  traceLine("JNI: parse public values...");
  if (!publicTemplate.build(publicTypes, publicValues, kPublicMismatch, kOutOfMemory))
    return nullptr;
  traceLine("JNI: parse private values...");
  if (!privateTemplate.build(privateTypes, privateValues, kPrivateMismatch, kOutOfMemory))
    return nullptr;
  CK_OBJECT_HANDLE publicKey;
  CK_OBJECT_HANDLE privateKey;
  if (failed(env,
             generateKeyPair(functionList(list), session, &mechanism, publicTemplate.attributes(),
                             publicTemplate.count(), privateTemplate.attributes(),
                             privateTemplate.count(), &publicKey, &privateKey)))
    return nullptr;
  return keyPairResult(env, self, publicKey, privateKey);
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPairOB(
    JNIEnv* env, jobject self, jlong list, jint type, jboolean identity) {
  CK_SESSION_HANDLE session;
  if (!readHandle(env, getSessionID, self, &session)) return nullptr;
  trace("JNI: start PKCS11Session.genKeyPair... ");
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  // Declared in this order so that the public template is freed first.
  Heap<CK_ATTRIBUTE> privateTemplate;
  Heap<CK_ATTRIBUTE> publicTemplate;
  *publicTemplate.out() = static_cast<CK_ATTRIBUTE*>(malloc(4 * sizeof(CK_ATTRIBUTE)));
  if (publicTemplate.get() == nullptr) {
    refuse(env, kOutOfMemory);
    return nullptr;
  }
  *privateTemplate.out() = static_cast<CK_ATTRIBUTE*>(malloc(4 * sizeof(CK_ATTRIBUTE)));
  if (privateTemplate.get() == nullptr) {
    refuse(env, kOutOfMemory);
    return nullptr;
  }
  // Both labels are 8 bytes long: "Identity" without its terminator,
  // "Utility" with it.
  const char* label = identity != 0 ? "Identity" : "Utility";
  const CK_ULONG modulusBits = 1024;
  const CK_BYTE publicExponent[3] = {0x01, 0x00, 0x01};
  const CK_BBOOL yes = CK_TRUE;
  publicTemplate[0] = attribute(CKA_MODULUS_BITS, &modulusBits, sizeof modulusBits);
  publicTemplate[1] = attribute(CKA_PUBLIC_EXPONENT, publicExponent, sizeof publicExponent);
  publicTemplate[2] = attribute(CKA_TOKEN, &yes, 1);
  publicTemplate[3] = attribute(CKA_LABEL, label, 8);
  privateTemplate[0] = attribute(CKA_TOKEN, &yes, 1);
  privateTemplate[1] = attribute(CKA_SIGN, &yes, 1);
  privateTemplate[2] = attribute(CKA_SIGN_RECOVER, &yes, 1);
  privateTemplate[3] =
      attribute(identity != 0 ? kIdentityKeyAttribute : kUtilityKeyAttribute, &yes, 1);

  say("Start generating keypair...");
  CK_OBJECT_HANDLE publicKey;
  CK_OBJECT_HANDLE privateKey;
  CK_RV rv = generateKeyPair(functionList(list), session, &mechanism, publicTemplate.get(), 4,
                             privateTemplate.get(), 4, &publicKey, &privateKey);
  sayLine("Done.");
  jobjectArray result = nullptr;
  if (!failed(env, rv)) result = keyPairResult(env, self, publicKey, privateKey);
  sayLine("Clearing memory...");
  say("    --> Public attr values done\n...");
  say("    --> Public attr done\n...");
  say("    --> Private attr value done\n...");
  say("    --> Private attr done\n...");
  sayLine("Done.");
  return result;
}

// Unsupported methods throw `message` and return `type(result)`; an empty
// `result` is the zero of the type (nothing, for void).
#define QUILLON_NOT_OFFERED(type, name, message, result, ...)                   \
  JNIEXPORT type JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_##name( \
      JNIEnv* env, jobject, __VA_ARGS__) {                                      \
    throwExc(env, message);                                                     \
    return type(result);                                                        \
  }

// The session functions the bridge does not offer: each throws and returns
// its fixed value without reading an argument.
QUILLON_NOT_OFFERED(void, signUpdate, kNotSupportedYet, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(jint, signFinal, kNotSupportedYet, -1, jlong, jbyteArray)
QUILLON_NOT_OFFERED(jbyteArray, getOperationState, kNotSupported, , jlong)
QUILLON_NOT_OFFERED(void, setOperationState, kNotSupported, , jlong, jbyteArray, jobject, jobject)
QUILLON_NOT_OFFERED(jint, encryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, encryptFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, digestInit, kNotSupported, , jlong, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, digest, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, digestUpdate, kNotSupported, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(void, digestKey, kNotSupported, , jlong, jobject)
QUILLON_NOT_OFFERED(jint, digestFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, signRecoverInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jint, signRecover, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jboolean, verify, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyUpdate, kNotSupported, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(jboolean, verifyFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyRecoverInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jint, verifyRecover, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, digestEncryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptDigestUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, signEncryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptVerifyUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jobject, deriveKey, kNotSupported, , jlong, jint, jbyteArray, jobject,
                    jintArray, jobjectArray)
QUILLON_NOT_OFFERED(void, seedRandom, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, generateRandom, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(jboolean, getFunctionStatus, kNotSupported, , jlong)
QUILLON_NOT_OFFERED(void, cancelFunction, kNotSupported, , jlong)

}  // extern "C"
