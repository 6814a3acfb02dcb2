// Native methods of it.morvale.pkcs11.nat.NativePKCS11Object: destroying and
// measuring an object, and reading and writing its attributes as typed Java
// values.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "template.h"

using namespace quillon;

namespace {

// The first eight bytes of a CK_DATE: YYYYMMDD.
const CK_ULONG kDateLength = 8;

// An attribute type as the start lines print it: the unsigned 32-bit type in
// a long, so that a vendor type prints as 2^31 or more where long has 64 bits
// and as a negative number where it has 32.
long printableType(jint type) {
  return static_cast<long>(J2CK_TYPE(type));
}

// The object's own handle and that of the session it belongs to.
struct Target {
  CK_OBJECT_HANDLE object = 0;
  CK_SESSION_HANDLE session = 0;
};

enum HandlesLine { kHandlesLine, kNoHandlesLine };

// Reads the object handle, then the session handle, and prints the handles
// line; false with an exception pending when either cannot be read.
bool readTarget(JNIEnv* env, jobject self, Target* target, HandlesLine line = kHandlesLine) {
  if (!readObjectID(env, self, &target->object) || !readObjSessionID(env, self, &target->session))
    return false;
  if (line == kHandlesLine)
    trace("(obj= %li)(ses=%li)\n", static_cast<long>(target->object),
          static_cast<long>(target->session));
  return true;
}

// One attribute read from the object. The wrapper hands over a block of the
// value plus a terminating NUL, freed on every path out of the read.
class Fetched {
 public:
  Fetched() {
    attr_.type = 0;
    attr_.pValue = nullptr;
    attr_.ulValueLen = 0;
  }
  ~Fetched() { free(attr_.pValue); }
  Fetched(const Fetched&) = delete;
  Fetched& operator=(const Fetched&) = delete;

  // Reads the handles and the value; false with an exception pending.
  bool read(JNIEnv* env, jobject self, jlong list, jint type, HandlesLine line = kHandlesLine) {
    Target target;
    if (!readTarget(env, self, &target, line)) return false;
    attr_.type = J2CK_TYPE(type);
    return !failed(env,
                   getAttributeValue(functionList(list), target.session, target.object, &attr_));
  }

  // True when the value has at least `minimum` bytes; a shorter one holds
  // nothing to convert and `voidMessage` is thrown.
  bool holds(JNIEnv* env, CK_ULONG minimum, const char* voidMessage) const {
    if (attr_.ulValueLen >= minimum) return true;
    refuse(env, voidMessage);
    return false;
  }

  const CK_BYTE* bytes() const { return static_cast<const CK_BYTE*>(attr_.pValue); }
  CK_BYTE* bytes() { return static_cast<CK_BYTE*>(attr_.pValue); }

  // The length as the size of a Java array of the value and `extra` more
  // bytes; false, with the bridge's out-of-space code thrown, when a Java
  // array cannot be that long.
  bool javaLength(JNIEnv* env, CK_ULONG extra, jsize* size) const {
    if (attr_.ulValueLen > static_cast<CK_ULONG>(INT32_MAX) - extra) {
      failed(env, CKR_ZOR_NOSPACE);
      return false;
    }
    *size = static_cast<jsize>(attr_.ulValueLen + extra);
    return true;
  }

 private:
  CK_ATTRIBUTE attr_;
};

// A new Java byte array of `size` bytes holding `bytes` from index `at`;
// null with the VM's error pending when it cannot be made.
jbyteArray newByteArray(JNIEnv* env, jsize size, const CK_BYTE* bytes, jsize at) {
  Local<jbyteArray> array(env, env->NewByteArray(size));
  if (env->ExceptionCheck() || array.get() == nullptr) return nullptr;
  env->SetByteArrayRegion(array.get(), at, size - at, reinterpret_cast<const jbyte*>(bytes));
  if (env->ExceptionCheck()) return nullptr;
  return array.release();
}

// The date text "yyyyMMdd" parsed in the VM's default time zone.
jobject parseDate(JNIEnv* env, const CK_BYTE* text) {
  Constructor formatClass(env, kDateFormatConstructor);
  if (!formatClass.ok()) return nullptr;
  Local<jstring> pattern(env, env->NewStringUTF("yyyyMMdd"));
  if (env->ExceptionCheck() || pattern.get() == nullptr) return nullptr;
  Local<jobject> formatter(env, formatClass.make(pattern.get()));
  if (formatter.get() == nullptr) return nullptr;
  Local<jstring> date(env, newJavaString(env, text));
  if (env->ExceptionCheck() || date.get() == nullptr) return nullptr;
  jmethodID parse = knownMethod(env, kParse, formatClass.javaClass());
  if (parse == nullptr) return nullptr;
  jobject result = env->CallObjectMethod(formatter.get(), parse, date.get());
  if (env->ExceptionCheck()) return nullptr;
  return result;
}

// Wraps a primitive read of the generic read in its Java class; null when
// the read threw or the object cannot be made.
template <typename T>
jobject boxed(JNIEnv* env, T value, KnownMethod constructor, const char* traceText) {
  if (env->ExceptionCheck()) return nullptr;
  trace("%s", traceText);
  Constructor boxClass(env, constructor);
  if (!boxClass.ok()) return nullptr;
  jobject result = boxClass.make(value);
  if (result != nullptr) traceLine("OK");
  return result;
}

// Writes attributes to the object with C_SetAttributeValue; false with the
// failure thrown.
bool store(JNIEnv* env, jlong list, const Target& target, CK_ATTRIBUTE* attributes,
           CK_ULONG count) {
  return !failed(
      env, setAttributeValue(functionList(list), target.session, target.object, attributes, count));
}

}  // namespace

extern "C" {

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_copy(JNIEnv* env, jobject,
                                                                             jlong, jintArray,
                                                                             jobjectArray) {
  throwExc(env, "Not supported");
  return nullptr;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(JNIEnv* env,
                                                                             jobject self,
                                                                             jlong list) {
  trace("JNI: start PKCS11Object.destroy... ");
  Target target;
  if (!readTarget(env, self, &target)) return;
  failed(env, destroyObject(functionList(list), target.session, target.object));
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(JNIEnv* env, jobject self,
                                                                          jlong list) {
  trace("JNI: start PKCS11Object.size... ");
  Target target;
  if (!readTarget(env, self, &target)) return -1;
  CK_ULONG size = 0;
  if (failed(env, getObjectSize(functionList(list), target.session, target.object, &size)))
    return -1;
  return CK2J_INT(size);
}

JNIEXPORT jboolean JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBoolAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  trace("JNI: start PKCS11Object.getAttr(%li) Bool... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type) || !value.holds(env, 1, "VOID boolean field"))
    return JNI_FALSE;
  return CK2J_BOOL(value.bytes()[0]);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getIntAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  trace("JNI: start PKCS11Object.getAttr(%li) Int... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type) || !value.holds(env, sizeof(CK_ULONG), "VOID int field"))
    return -1;
  CK_ULONG number;
  memcpy(&number, value.bytes(), sizeof number);
  return CK2J_INT(number);
}

JNIEXPORT jstring JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getStringAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  trace("JNI: start PKCS11Object.getAttr(%li) String... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type)) return nullptr;
  // The wrapper terminated the value: the text ends at its first NUL.
  return newJavaString(env, value.bytes());
}

JNIEXPORT jbyteArray JNICALL
Java_it_morvale_pkcs11_nat_NativePKCS11Object_getByteArrayAttributeValue(JNIEnv* env, jobject self,
                                                                         jlong list, jint type) {
  trace("JNI: start PKCS11Object.getAttr(%li) ByteArray... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type)) return nullptr;
  jsize size;
  if (!value.javaLength(env, 0, &size)) return nullptr;
  return newByteArray(env, size, value.bytes(), 0);
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getDateAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  trace("JNI: start PKCS11Object.getDateAttr(%li)... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type, kNoHandlesLine) || !value.holds(env, 1, "VOID Date field"))
    return nullptr;
  CK_BYTE* date = value.bytes();
  if (date[0] == 0) {
    traceLine("strelen(ckDatePtr) = 0!");
    refuse(env, "VOID Date field");
    return nullptr;
  }
  // Fewer than the eight bytes of a CK_DATE are no date.
  if (!value.holds(env, kDateLength, "VOID Date field")) return nullptr;
  // A token that stored the digits as binary numbers: make them ASCII.
  if (date[0] <= 9)
    for (CK_ULONG i = 0; i < kDateLength; ++i) date[i] = static_cast<CK_BYTE>(date[i] + 0x30);
  CK_BYTE text[kDateLength + 1];
  memcpy(text, date, kDateLength);
  text[kDateLength] = '\0';
  trace("JNI: creating jobject Date...");
  jobject result = parseDate(env, text);
  if (result == nullptr) return nullptr;
  traceLine("OK");
  return result;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBigIntegerAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  trace("JNI: start PKCS11Object.getAttr(%li) BigInt... ", printableType(type));
  Fetched value;
  if (!value.read(env, self, list, type) || !value.holds(env, 1, "VOID BigInteger field"))
    return nullptr;
  // A leading zero byte makes the big-endian value read as non-negative.
  jsize size;
  if (!value.javaLength(env, 1, &size)) return nullptr;
  Local<jbyteArray> magnitude(env, newByteArray(env, size, value.bytes(), 1));
  if (magnitude.get() == nullptr) return nullptr;
  trace("JNI: creating jobject BigInteger...");
  Constructor bigClass(env, kBigIntegerConstructor);
  if (!bigClass.ok()) return nullptr;
  jobject result = bigClass.make(magnitude.get());
  if (result == nullptr) return nullptr;
  traceLine("OK");
  return result;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_getAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type) {
  if (isIn(type, J_INT))
    return boxed(
        env,
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_getIntAttributeValue(env, self, list, type),
        kIntegerConstructor, "JNI: creating jobject Integer...");
  if (isIn(type, J_BOOL))
    return boxed(
        env,
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBoolAttributeValue(env, self, list, type),
        kBooleanConstructor, "JNI: creating jobject Boolean...");
  if (isIn(type, J_STR))
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getStringAttributeValue(env, self, list,
                                                                                 type);
  if (isIn(type, J_BYTE))
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getByteArrayAttributeValue(env, self, list,
                                                                                    type);
  if (isIn(type, J_DATE))
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getDateAttributeValue(env, self, list,
                                                                               type);
  if (isIn(type, J_BIGI))
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBigIntegerAttributeValue(env, self,
                                                                                     list, type);
  throwExc(env, "Object type not valid");
  return nullptr;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type, jobject javaValue) {
  trace("JNI: start PKCS11Object.setAttr(%li)... ", printableType(type));
  Target target;
  if (!readTarget(env, self, &target)) return;
  if (javaValue == nullptr) {
    refuse(env, "Internal error (Null parameter)");
    return;
  }
  CK_ATTRIBUTE attribute;
  // A value that does not convert is only traced; an exception that the
  // conversion raised stays pending.
  if (J2CK_ATTR(env, type, javaValue, &attribute) == 0) {
    traceLine("\nERROR: cannot parse passed object");
    return;
  }
  store(env, list, target, &attribute, 1);
  free(attribute.pValue);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValues(
    JNIEnv* env, jobject self, jlong list, jintArray types, jobjectArray values) {
  trace("JNI: start PKCS11Object.setAttrValues... ");
  Target target;
  if (!readTarget(env, self, &target)) return;
  Template attributes(env);
  if (!attributes.build(types, values, "Different array length",
                        "Internal error: Out of memory: ckAttr == NULL"))
    return;
  store(env, list, target, attributes.attributes(), attributes.count());
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_setBoolAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type, jboolean flag) {
  trace("JNI: start PKCS11Object.setAttr(%li)... ", printableType(type));
  Target target;
  if (!readTarget(env, self, &target)) return;
  CK_BBOOL value = J2CK_BOOL(flag);
  CK_ATTRIBUTE attribute = {J2CK_TYPE(type), &value, 1};
  store(env, list, target, &attribute, 1);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Object_setIntAttributeValue(
    JNIEnv* env, jobject self, jlong list, jint type, jint number) {
  trace("JNI: start PKCS11Object.setAttr(%li)... ", printableType(type));
  Target target;
  if (!readTarget(env, self, &target)) return;
  CK_ULONG value = J2CK_INT(number);
  CK_ATTRIBUTE attribute = {J2CK_TYPE(type), &value, sizeof value};
  store(env, list, target, &attribute, 1);
}

}  // extern "C"
