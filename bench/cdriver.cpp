// The C side of the benchmark: the same work as the Java ways, made by
// calling the module's function list directly. It lives in the benchmark's
// JVM (class it.morvale.bench.CDriver) so that the three ways share one
// module instance, one session and one set of keys, and can take turns round
// by round; each timing loop runs entirely in C between two clock readings.
#include <dlfcn.h>
#include <jni.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <p11-kit/pkcs11.h>

namespace {

CK_FUNCTION_LIST* functions = nullptr;
void* library = nullptr;

// What the operations work on, set by prepare().
struct Targets {
  CK_SLOT_ID slot = 0;
  CK_SESSION_HANDLE session = 0;
  CK_OBJECT_HANDLE readObject = 0;  // an RSA public key: class, label, modulus
  CK_OBJECT_HANDLE rsaKey = 0;      // RSA-2048 private key
  CK_OBJECT_HANDLE ecKey = 0;       // EC P-256 private key
  CK_OBJECT_HANDLE aesKey = 0;      // AES-128 secret key
} targets;

// The operations, numbered as in Bench.java.
enum Op {
  kModuleInfo = 0,
  kSlotList = 1,
  kTokenInfo = 2,
  kSessionInfo = 3,
  kReadClass = 4,
  kReadLabel = 5,
  kReadModulus = 6,
  kSearchTen = 7,
  kSignRsa = 8,
  kSignEc = 9,
  kEncrypt = 10,
  kCreateDestroy = 11,
  kSignSha256Rsa = 12,
  kCreateScaled = 13,
};

const char kSearchLabel[] = "bench-search";

long long now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Fails the benchmark loudly: a wrong answer means the numbers mean nothing.
void check(JNIEnv* env, CK_RV rv, const char* what) {
  if (rv == CKR_OK || env->ExceptionCheck()) return;
  char message[160];
  snprintf(message, sizeof message, "%s failed: 0x%lx", what, static_cast<unsigned long>(rv));
  jclass error = env->FindClass("java/lang/IllegalStateException");
  if (error != nullptr) env->ThrowNew(error, message);
}

// The ten-attribute data object of the creation benchmark.
struct TenAttributes {
  CK_OBJECT_CLASS dataClass = CKO_DATA;
  CK_BBOOL no = CK_FALSE;
  CK_BBOOL yes = CK_TRUE;
  char label[13] = "bench object";
  char application[14] = "quillon bench";
  CK_BYTE oid[9] = {0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
  CK_BYTE value[32];
  CK_ATTRIBUTE list[10];

  TenAttributes() {
    for (int i = 0; i < 32; ++i) value[i] = static_cast<CK_BYTE>(i);
    CK_ATTRIBUTE attributes[10] = {
        {CKA_CLASS, &dataClass, sizeof dataClass},
        {CKA_TOKEN, &no, 1},
        {CKA_PRIVATE, &no, 1},
        {CKA_MODIFIABLE, &yes, 1},
        {CKA_LABEL, label, 12},
        {CKA_APPLICATION, application, 13},
        {CKA_OBJECT_ID, oid, sizeof oid},
        {CKA_VALUE, value, sizeof value},
        {CKA_COPYABLE, &yes, 1},
        {CKA_DESTROYABLE, &yes, 1},
    };
    memcpy(list, attributes, sizeof list);
  }
};

// A template of `count` vendor-defined attributes cycling through the four
// kinds of value: a CK_ULONG, a CK_BBOOL, a 16-character text, 16 bytes. The
// Java ways build the same one (Bench.scaledTemplate).
struct ScaledTemplate {
  CK_ATTRIBUTE* list;
  CK_ULONG* numbers;
  CK_BBOOL flag = CK_TRUE;
  char text[17] = "scaled attribute";
  CK_BYTE bytes[16];

  explicit ScaledTemplate(int count) {
    list = new CK_ATTRIBUTE[count];
    numbers = new CK_ULONG[count];
    for (int i = 0; i < 16; ++i) bytes[i] = static_cast<CK_BYTE>(0xA0 + i);
    for (int i = 0; i < count; ++i) {
      list[i].type = CKA_VENDOR_DEFINED + static_cast<CK_ULONG>(i);
      numbers[i] = static_cast<CK_ULONG>(i);
      switch (i % 4) {
        case 0:
          list[i].pValue = &numbers[i];
          list[i].ulValueLen = sizeof(CK_ULONG);
          break;
        case 1:
          list[i].pValue = &flag;
          list[i].ulValueLen = 1;
          break;
        case 2:
          list[i].pValue = text;
          list[i].ulValueLen = 16;
          break;
        default:
          list[i].pValue = bytes;
          list[i].ulValueLen = 16;
          break;
      }
    }
  }
  ~ScaledTemplate() {
    delete[] list;
    delete[] numbers;
  }
};

// Two calls for one attribute, as every bridge read makes them: the length,
// then the value into a buffer of that length.
CK_RV readAttribute(CK_ATTRIBUTE_TYPE type, CK_BYTE* buffer) {
  CK_ATTRIBUTE attribute = {type, nullptr, 0};
  CK_RV rv = functions->C_GetAttributeValue(targets.session, targets.readObject, &attribute, 1);
  if (rv != CKR_OK) return rv;
  attribute.pValue = buffer;
  return functions->C_GetAttributeValue(targets.session, targets.readObject, &attribute, 1);
}

CK_RV signOnce(CK_MECHANISM_TYPE type, CK_OBJECT_HANDLE key, CK_BYTE* data, CK_ULONG length,
               CK_BYTE* signature, CK_ULONG capacity) {
  CK_MECHANISM mechanism = {type, nullptr, 0};
  CK_RV rv = functions->C_SignInit(targets.session, &mechanism, key);
  if (rv != CKR_OK) return rv;
  return functions->C_Sign(targets.session, data, length, signature, &capacity);
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_it_morvale_bench_CDriver_open(JNIEnv* env, jclass, jstring path) {
  const char* file = env->GetStringUTFChars(path, nullptr);
  if (file == nullptr) return 0;
  library = dlopen(file, RTLD_NOW);
  env->ReleaseStringUTFChars(path, file);
  if (library == nullptr) {
    check(env, CKR_GENERAL_ERROR, dlerror());
    return 0;
  }
  CK_C_GetFunctionList getList =
      reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"));
  if (getList == nullptr) {
    check(env, CKR_GENERAL_ERROR, "C_GetFunctionList");
    return 0;
  }
  check(env, getList(&functions), "C_GetFunctionList");
  if (env->ExceptionCheck()) return 0;
  CK_RV rv = functions->C_Initialize(nullptr);
  if (rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) check(env, rv, "C_Initialize");
  return static_cast<jlong>(reinterpret_cast<intptr_t>(functions));
}

JNIEXPORT jboolean JNICALL Java_it_morvale_bench_CDriver_setSlots(JNIEnv*, jclass, jint count) {
  typedef void (*SetSlots)(unsigned long);
  SetSlots set = reinterpret_cast<SetSlots>(dlsym(library, "qfast_set_slots"));
  if (set == nullptr) return JNI_FALSE;
  set(static_cast<unsigned long>(count));
  return JNI_TRUE;
}

// Opens a read-write session on the first slot with a token and logs the
// user in; returns {slot, session}.
JNIEXPORT jlongArray JNICALL Java_it_morvale_bench_CDriver_openSession(JNIEnv* env, jclass,
                                                                       jstring pin) {
  CK_SLOT_ID slots[8];
  CK_ULONG count = 8;
  check(env, functions->C_GetSlotList(CK_TRUE, slots, &count), "C_GetSlotList");
  if (env->ExceptionCheck()) return nullptr;
  if (count == 0) {
    check(env, CKR_TOKEN_NOT_PRESENT, "C_GetSlotList");
    return nullptr;
  }
  targets.slot = slots[0];
  check(env,
        functions->C_OpenSession(targets.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                                 nullptr, &targets.session),
        "C_OpenSession");
  if (env->ExceptionCheck()) return nullptr;
  const char* text = env->GetStringUTFChars(pin, nullptr);
  if (text == nullptr) return nullptr;
  CK_RV rv = functions->C_Login(targets.session, CKU_USER,
                                reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(text)),
                                static_cast<CK_ULONG>(strlen(text)));
  env->ReleaseStringUTFChars(pin, text);
  if (rv != CKR_USER_ALREADY_LOGGED_IN) check(env, rv, "C_Login");
  if (env->ExceptionCheck()) return nullptr;
  jlongArray result = env->NewLongArray(2);
  if (result == nullptr) return nullptr;
  jlong values[2] = {static_cast<jlong>(targets.slot), static_cast<jlong>(targets.session)};
  env->SetLongArrayRegion(result, 0, 2, values);
  return result;
}

// Makes the session keys the operations use (RSA-2048 pair, EC P-256 pair,
// AES-128) and the ten data objects that the search finds; returns {RSA
// public key, RSA private key, EC private key, AES key}. A module without
// key generation (qfast) gets fixed handles, since it accepts any.
JNIEXPORT jlongArray JNICALL Java_it_morvale_bench_CDriver_makeKeys(JNIEnv* env, jclass) {
  CK_OBJECT_HANDLE keys[4] = {0x11, 0x12, 0x13, 0x14};
  if (functions->C_GenerateKeyPair != nullptr) {
    CK_BBOOL yes = CK_TRUE;
    CK_BBOOL no = CK_FALSE;
    CK_ULONG bits = 2048;
    CK_BYTE exponent[] = {0x01, 0x00, 0x01};
    CK_ATTRIBUTE rsaPublic[] = {{CKA_TOKEN, &no, 1},
                                {CKA_MODULUS_BITS, &bits, sizeof bits},
                                {CKA_PUBLIC_EXPONENT, exponent, sizeof exponent},
                                {CKA_LABEL, const_cast<char*>("bench rsa"), 9},
                                {CKA_VERIFY, &yes, 1}};
    CK_ATTRIBUTE rsaPrivate[] = {{CKA_TOKEN, &no, 1}, {CKA_PRIVATE, &yes, 1}, {CKA_SIGN, &yes, 1}};
    CK_MECHANISM rsaGen = {CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
    check(env,
          functions->C_GenerateKeyPair(targets.session, &rsaGen, rsaPublic, 5, rsaPrivate, 3,
                                       &keys[0], &keys[1]),
          "RSA key generation");
    CK_BYTE p256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    CK_ATTRIBUTE ecPublic[] = {{CKA_TOKEN, &no, 1}, {CKA_EC_PARAMS, p256, sizeof p256}};
    CK_ATTRIBUTE ecPrivate[] = {{CKA_TOKEN, &no, 1}, {CKA_PRIVATE, &yes, 1}, {CKA_SIGN, &yes, 1}};
    CK_MECHANISM ecGen = {CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE ecPublicKey;
    if (!env->ExceptionCheck())
      check(env,
            functions->C_GenerateKeyPair(targets.session, &ecGen, ecPublic, 2, ecPrivate, 3,
                                         &ecPublicKey, &keys[2]),
            "EC key generation");
    CK_ULONG length = 16;
    CK_ATTRIBUTE aes[] = {
        {CKA_TOKEN, &no, 1}, {CKA_VALUE_LEN, &length, sizeof length}, {CKA_ENCRYPT, &yes, 1}};
    CK_MECHANISM aesGen = {CKM_AES_KEY_GEN, nullptr, 0};
    if (!env->ExceptionCheck())
      check(env, functions->C_GenerateKey(targets.session, &aesGen, aes, 3, &keys[3]),
            "AES key generation");
    CK_OBJECT_CLASS data = CKO_DATA;
    CK_ATTRIBUTE found[] = {{CKA_CLASS, &data, sizeof data},
                            {CKA_TOKEN, &no, 1},
                            {CKA_LABEL, const_cast<char*>(kSearchLabel), sizeof kSearchLabel - 1}};
    for (int i = 0; i < 10 && !env->ExceptionCheck(); ++i) {
      CK_OBJECT_HANDLE object;
      check(env, functions->C_CreateObject(targets.session, found, 3, &object), "C_CreateObject");
    }
  }
  if (env->ExceptionCheck()) return nullptr;
  jlongArray result = env->NewLongArray(4);
  if (result == nullptr) return nullptr;
  jlong values[4];
  for (int i = 0; i < 4; ++i) values[i] = static_cast<jlong>(keys[i]);
  env->SetLongArrayRegion(result, 0, 4, values);
  return result;
}

JNIEXPORT void JNICALL Java_it_morvale_bench_CDriver_prepare(JNIEnv*, jclass, jlong readObject,
                                                             jlong rsaKey, jlong ecKey,
                                                             jlong aesKey) {
  targets.readObject = static_cast<CK_OBJECT_HANDLE>(readObject);
  targets.rsaKey = static_cast<CK_OBJECT_HANDLE>(rsaKey);
  targets.ecKey = static_cast<CK_OBJECT_HANDLE>(ecKey);
  targets.aesKey = static_cast<CK_OBJECT_HANDLE>(aesKey);
}

// Runs `calls` times the operation `op` (with `size`: the data length of a
// signature, the attribute count of a scaled template) and returns the
// nanoseconds they took. Any failed call throws IllegalStateException.
JNIEXPORT jlong JNICALL Java_it_morvale_bench_CDriver_time(JNIEnv* env, jclass, jint op, jint calls,
                                                           jint size) {
  static CK_BYTE buffer[1 << 20];
  static CK_BYTE output[4096];
  static CK_SLOT_ID slots[4096];
  static TenAttributes ten;
  ScaledTemplate scaled(op == kCreateScaled ? size : 0);
  CK_RV rv = CKR_OK;
  long long start = now();
  for (int i = 0; i < calls && rv == CKR_OK; ++i) {
    switch (op) {
      case kModuleInfo: {
        CK_INFO info;
        rv = functions->C_GetInfo(&info);
        break;
      }
      case kSlotList: {
        CK_ULONG count = 0;
        rv = functions->C_GetSlotList(CK_TRUE, nullptr, &count);
        if (rv == CKR_OK) {
          if (count > 4096) count = 4096;
          rv = functions->C_GetSlotList(CK_TRUE, slots, &count);
        }
        break;
      }
      case kTokenInfo: {
        CK_TOKEN_INFO info;
        rv = functions->C_GetTokenInfo(targets.slot, &info);
        break;
      }
      case kSessionInfo: {
        CK_SESSION_INFO info;
        rv = functions->C_GetSessionInfo(targets.session, &info);
        break;
      }
      case kReadClass:
        rv = readAttribute(CKA_CLASS, output);
        break;
      case kReadLabel:
        rv = readAttribute(CKA_LABEL, output);
        break;
      case kReadModulus:
        rv = readAttribute(CKA_MODULUS, output);
        break;
      case kSearchTen: {
        CK_ATTRIBUTE label = {CKA_LABEL, const_cast<char*>(kSearchLabel), sizeof kSearchLabel - 1};
        rv = functions->C_FindObjectsInit(targets.session, &label, 1);
        CK_ULONG found = 1;
        while (rv == CKR_OK && found == 1) {
          CK_OBJECT_HANDLE object;
          rv = functions->C_FindObjects(targets.session, &object, 1, &found);
        }
        if (rv == CKR_OK) rv = functions->C_FindObjectsFinal(targets.session);
        break;
      }
      case kSignRsa:
        rv = signOnce(CKM_RSA_PKCS, targets.rsaKey, buffer, static_cast<CK_ULONG>(size), output,
                      256);
        break;
      case kSignEc:
        rv = signOnce(CKM_ECDSA, targets.ecKey, buffer, static_cast<CK_ULONG>(size), output, 64);
        break;
      case kSignSha256Rsa:
        rv = signOnce(CKM_SHA256_RSA_PKCS, targets.rsaKey, buffer, static_cast<CK_ULONG>(size),
                      output, 256);
        break;
      case kEncrypt: {
        CK_MECHANISM mechanism = {CKM_AES_ECB, nullptr, 0};
        rv = functions->C_EncryptInit(targets.session, &mechanism, targets.aesKey);
        CK_ULONG length = sizeof output;
        if (rv == CKR_OK) rv = functions->C_Encrypt(targets.session, buffer, 16, output, &length);
        break;
      }
      case kCreateDestroy:
      case kCreateScaled: {
        CK_OBJECT_HANDLE object;
        rv = op == kCreateDestroy
                 ? functions->C_CreateObject(targets.session, ten.list, 10, &object)
                 : functions->C_CreateObject(targets.session, scaled.list,
                                             static_cast<CK_ULONG>(size), &object);
        if (rv == CKR_OK) rv = functions->C_DestroyObject(targets.session, object);
        break;
      }
      default:
        rv = CKR_FUNCTION_NOT_SUPPORTED;
        break;
    }
  }
  long long elapsed = now() - start;
  check(env, rv, "operation");
  return static_cast<jlong>(elapsed);
}

}  // extern "C"
