// Attribute templates: Java values become CK_ATTRIBUTE values, and the
// tables that tell which Java class an attribute type is read back as.
#include "template.h"

#include <stdlib.h>
#include <string.h>

#include "entry.h"

using quillon::Local;
using quillon::refuse;
using quillon::trace;
using quillon::traceLine;

extern "C" {

const jint J_INT[17] = {0x0, 0x80, 0x100, 0x121, 0x160, 0x161, -1, -1, -1,
                        -1,  -1,   -1,    -1,    -1,    -1,    -1, -1};
const jint J_BOOL[17] = {0x1,   0x2,   0x103, 0x104, 0x105, 0x106, 0x107, 0x108, 0x109,
                         0x10A, 0x10B, 0x10C, 0x162, 0x163, 0x164, 0x165, 0x170};
const jint J_STR[17] = {0x3, 0x10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
const jint J_BYTE[17] = {0x11, 0x81, 0x82, 0x101, 0x102, 0x180, 0x181, -1, -1,
                         -1,   -1,   -1,   -1,    -1,    -1,    -1,    -1};
const jint J_DATE[17] = {0x110, 0x111, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
const jint J_BIGI[17] = {0x120, 0x122, 0x123, 0x124, 0x125, 0x126, 0x127, 0x128, 0x130,
                         0x131, 0x132, -1,    -1,    -1,    -1,    -1,    -1};

int isIn(jint type, const jint* table) {
  for (int i = 0; i < 17; ++i)
    if (table[i] == type) return 1;
  return 0;
}

}  // extern "C"

namespace {

// The value classes that convert, in the order they are tested.
enum Kind { kString, kBytes, kInteger, kBoolean, kBigInteger, kDate, kKinds };
const quillon::KnownClass kValueClasses[kKinds] = {
    quillon::kStringClass,  quillon::kByteArrayClass,  quillon::kIntegerClass,
    quillon::kBooleanClass, quillon::kBigIntegerClass, quillon::kDateClass};

// Stores `block` of `length` bytes as the value of `attr`.
int setValue(CK_ATTRIBUTE* attr, void* block, CK_ULONG length) {
  attr->pValue = block;
  attr->ulValueLen = length;
  return 1;
}

// A block of `size` bytes (at least one, so that an empty value has a block
// too); throws when the heap is exhausted.
void* allocate(JNIEnv* env, size_t size) {
  void* block = malloc(size != 0 ? size : 1);
  if (block == nullptr) refuse(env, "Internal error: Out of memory");
  return block;
}

// The string's modified UTF-8 bytes, followed by an uncounted NUL.
int stringValue(JNIEnv* env, jstring string, CK_ATTRIBUTE* attr) {
  quillon::Utf8 text(env, string);
  if (!text.ok()) {
    refuse(env, "Internal error (creating String)");
    return 0;
  }
  size_t length = strlen(text.get());
  char* copy = static_cast<char*>(allocate(env, length + 1));
  if (copy == nullptr) return 0;
  memcpy(copy, text.get(), length + 1);
  return setValue(attr, copy, static_cast<CK_ULONG>(length));
}

// The bytes of a Java byte array; `skipLeadingZero` drops one leading zero
// byte (the sign byte of BigInteger.toByteArray).
int bytesValue(JNIEnv* env, jbyteArray array, CK_ATTRIBUTE* attr, bool skipLeadingZero) {
  jsize length = env->GetArrayLength(array);
  jbyte* block = static_cast<jbyte*>(allocate(env, static_cast<size_t>(length)));
  if (block == nullptr) return 0;
  env->GetByteArrayRegion(array, 0, length, block);
  if (env->ExceptionCheck()) {
    free(block);
    return 0;
  }
  if (skipLeadingZero && length > 0 && block[0] == 0) {
    memmove(block, block + 1, static_cast<size_t>(length - 1));
    --length;
  }
  return setValue(attr, block, static_cast<CK_ULONG>(length));
}

int integerValue(JNIEnv* env, jclass cls, jobject value, CK_ATTRIBUTE* attr) {
  jmethodID intValue = quillon::knownMethod(env, quillon::kIntValue, cls);
  if (intValue == nullptr) return 0;
  jint number = env->CallIntMethod(value, intValue);
  if (env->ExceptionCheck()) return 0;
  CK_ULONG* block = static_cast<CK_ULONG*>(allocate(env, sizeof(CK_ULONG)));
  if (block == nullptr) return 0;
  *block = J2CK_INT(number);
  return setValue(attr, block, sizeof(CK_ULONG));
}

int booleanValue(JNIEnv* env, jclass cls, jobject value, CK_ATTRIBUTE* attr) {
  jmethodID booleanValue = quillon::knownMethod(env, quillon::kBooleanValue, cls);
  if (booleanValue == nullptr) return 0;
  jboolean flag = env->CallBooleanMethod(value, booleanValue);
  if (env->ExceptionCheck()) return 0;
  CK_BBOOL* block = static_cast<CK_BBOOL*>(allocate(env, 1));
  if (block == nullptr) return 0;
  *block = J2CK_BOOL(flag);
  return setValue(attr, block, 1);
}

int bigIntegerValue(JNIEnv* env, jclass cls, jobject value, CK_ATTRIBUTE* attr) {
  jmethodID toByteArray = quillon::knownMethod(env, quillon::kToByteArray, cls);
  if (toByteArray == nullptr) return 0;
  Local<jbyteArray> bytes(env, static_cast<jbyteArray>(env->CallObjectMethod(value, toByteArray)));
  if (env->ExceptionCheck() || bytes.get() == nullptr) return 0;
  return bytesValue(env, bytes.get(), attr, true);
}

// The date as the eight digits yyyyMMdd of the VM's default time zone.
int dateValue(JNIEnv* env, jobject value, CK_ATTRIBUTE* attr) {
  quillon::Constructor formatClass(env, quillon::kDateFormatConstructor);
  if (!formatClass.ok()) return 0;
  Local<jstring> pattern(env, env->NewStringUTF("yyyyMMdd"));
  if (env->ExceptionCheck() || pattern.get() == nullptr) return 0;
  Local<jobject> formatter(env, formatClass.make(pattern.get()));
  if (formatter.get() == nullptr) return 0;
  jmethodID format = quillon::knownMethod(env, quillon::kFormat, formatClass.javaClass());
  if (format == nullptr) return 0;
  Local<jstring> text(env,
                      static_cast<jstring>(env->CallObjectMethod(formatter.get(), format, value)));
  if (env->ExceptionCheck() || text.get() == nullptr) return 0;
  return stringValue(env, text.get(), attr);
}

}  // namespace

extern "C" int J2CK_ATTR(JNIEnv* env, jint type, jobject value, CK_ATTRIBUTE* attr) {
  attr->type = J2CK_TYPE(type);
  attr->pValue = nullptr;
  attr->ulValueLen = 0;
  if (value == nullptr) return 0;
  for (int kind = 0; kind < kKinds; ++kind) {
    jclass cls = quillon::knownClass(env, kValueClasses[kind]);
    if (cls == nullptr) return 0;
    if (!env->IsInstanceOf(value, cls)) continue;
    switch (kind) {
      case kString:
        return stringValue(env, static_cast<jstring>(value), attr);
      case kBytes:
        return bytesValue(env, static_cast<jbyteArray>(value), attr, false);
      case kInteger:
        return integerValue(env, cls, value, attr);
      case kBoolean:
        return booleanValue(env, cls, value, attr);
      case kBigInteger:
        return bigIntegerValue(env, cls, value, attr);
      default:
        return dateValue(env, value, attr);
    }
  }
  return 0;
}

namespace quillon {

Template::~Template() {
  clear();
}

void Template::clear() {
  for (CK_ULONG i = 0; i < count_; ++i) free(attributes_[i].pValue);
  free(attributes_);
  attributes_ = nullptr;
  count_ = 0;
}

bool Template::build(jintArray types, jobjectArray values, const char* lengthMessage,
                     const char* memoryMessage, Tracing tracing) {
  if (types == nullptr || values == nullptr) {
    refuse(env_, "Internal error (Null parameter)");
    return false;
  }
  CK_ULONG n = J2CK_INT(env_->GetArrayLength(types));
  if (n != J2CK_INT(env_->GetArrayLength(values))) {
    refuse(env_, lengthMessage);
    return false;
  }
  if (tracing == kPerValue) traceLine("JNI: ckLen OK");
  attributes_ = static_cast<CK_ATTRIBUTE*>(malloc(n != 0 ? n * sizeof(CK_ATTRIBUTE) : 1));
  if (tracing == kPerValue) traceLine("JNI: ckAttr OK");  // before the result is examined
  if (attributes_ == nullptr) {
    refuse(env_, memoryMessage);
    return false;
  }
  jint* typeArray = env_->GetIntArrayElements(types, nullptr);
  if (env_->ExceptionCheck() || typeArray == nullptr) {
    refuse(env_, memoryMessage);  // unless the VM raised its own error
    clear();
    return false;
  }
  if (tracing == kPerValue) traceLine("JNI: attrA OK");
  bool converted = true;
  for (CK_ULONG i = 0; i < n && converted; ++i) {
    if (tracing == kPerValue) traceLine("JNI: inside loop");
    Local<jobject> value(env_, env_->GetObjectArrayElement(values, static_cast<jsize>(i)));
    if (env_->ExceptionCheck()) {
      converted = false;
      break;
    }
    if (tracing == kPerValue) traceLine("JNI: temp1 OK");
    converted = J2CK_ATTR(env_, typeArray[i], value.get(), &attributes_[i]) == 1;
    if (tracing == kPerValue) {
      trace("JNI: res?...");
      traceLine(converted ? "... OK" : "... KO");
    }
    if (converted)
      count_ = i + 1;
    else
      trace("\nERROR: cannot parse passed object %li\n", static_cast<long>(i));
  }
  env_->ReleaseIntArrayElements(types, typeArray, JNI_ABORT);
  if (!converted) clear();
  return converted;
}

}  // namespace quillon
