// Conversions between Java values and PKCS#11 values, and the readers that
// take a Cryptoki handle out of a Java object's int field.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lookup.h"
#include "runtime.h"

namespace {

// Appends the three-byte modified UTF-8 form of a 16-bit code unit.
size_t putUnit(char* out, unsigned unit) {
  out[0] = static_cast<char>(0xE0 | (unit >> 12));
  out[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (unit & 0x3F));
  return 3;
}

bool continuation(CK_BYTE byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `s`, 0 when none starts
// there. The text is NUL-terminated, and a NUL is no continuation byte, so
// nothing past it is read.
size_t sequenceLength(const CK_BYTE* s) {
  if (s[0] >= 0xC2 && s[0] <= 0xDF) return continuation(s[1]) ? 2 : 0;
  if (s[0] >= 0xE0 && s[0] <= 0xEF) {
    if (!continuation(s[1]) || !continuation(s[2])) return 0;
    return s[0] == 0xE0 && s[1] < 0xA0 ? 0 : 3;
  }
  if (s[0] >= 0xF0 && s[0] <= 0xF4) {
    if (!continuation(s[1]) || !continuation(s[2]) || !continuation(s[3])) return 0;
    if ((s[0] == 0xF0 && s[1] < 0x90) || (s[0] == 0xF4 && s[1] >= 0x90)) return 0;
    return 4;
  }
  return 0;
}

}  // namespace

namespace quillon {

// Texts up to this many bytes are rewritten on the stack, longer ones on the
// heap.
const size_t kShortText = 256;

jstring newJavaString(JNIEnv* env, const CK_BYTE* text) {
  size_t length = strlen(reinterpret_cast<const char*>(text));
  // Every byte becomes at most three.
  char shortUtf[3 * kShortText + 1];
  char* utf = length <= kShortText ? shortUtf : static_cast<char*>(malloc(3 * length + 1));
  if (utf == nullptr) {
    if (!env->ExceptionCheck()) throwExc(env, "Internal error: Out of memory");
    return nullptr;
  }
  size_t out = 0;
  for (size_t in = 0; in < length;) {
    size_t n = text[in] < 0x80 ? 1 : sequenceLength(text + in);
    if (n == 4) {
      unsigned point = ((text[in] & 0x07u) << 18) | ((text[in + 1] & 0x3Fu) << 12) |
                       ((text[in + 2] & 0x3Fu) << 6) | (text[in + 3] & 0x3Fu);
      point -= 0x10000;
      out += putUnit(utf + out, 0xD800 | (point >> 10));
      out += putUnit(utf + out, 0xDC00 | (point & 0x3FF));
    } else if (n == 0) {
      out += putUnit(utf + out, 0xFFFD);
      n = 1;
    } else {
      memcpy(utf + out, text + in, n);
      out += n;
    }
    in += n;
  }
  utf[out] = '\0';
  jstring result = env->NewStringUTF(utf);
  if (utf != shortUtf) free(utf);
  if (env->ExceptionCheck()) return nullptr;
  return result;
}

}  // namespace quillon

extern "C" {

jint CK2J_INT(CK_ULONG value) {
  // The low 32 bits as a two's-complement int.
  return static_cast<jint>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

jint CK2J_SLOT(CK_SLOT_ID value) {
  return CK2J_INT(value);
}
jint CK2J_SESSION(CK_SESSION_HANDLE value) {
  return CK2J_INT(value);
}
jint CK2J_FLAGS(CK_FLAGS value) {
  return CK2J_INT(value);
}

jboolean CK2J_BOOL(CK_BBOOL value) {
  return value != 0 ? JNI_TRUE : JNI_FALSE;
}

jint CK2J_VER(CK_VERSION version) {
  return version.major * 256 + version.minor;
}

jstring CK2J_STR(JNIEnv* env, const CK_UTF8CHAR* field, int width) {
  // The field is blank padded and not NUL terminated: copy it and terminate
  // the copy. The VM reads it as modified UTF-8, so an embedded NUL ends it.
  // With an exception pending (an earlier conversion of the same call
  // failed) the VM may not be asked for anything more.
  char shortText[quillon::kShortText + 1];
  size_t size = static_cast<size_t>(width);
  char* text = env->ExceptionCheck()         ? nullptr
               : size <= quillon::kShortText ? shortText
                                             : static_cast<char*>(malloc(size + 1));
  jstring result = nullptr;
  if (text != nullptr) {
    memcpy(text, field, size);
    text[width] = '\0';
    result = quillon::newJavaString(env, reinterpret_cast<const CK_BYTE*>(text));
    if (text != shortText) free(text);
  }
  if (result == nullptr) printf("JNI:##########ERROR CK2J_STR################\n");
  return result;
}

CK_ULONG J2CK_INT(jint value) {
  return static_cast<CK_ULONG>(static_cast<long>(value));
}
CK_FLAGS J2CK_FLAGS(jint value) {
  return J2CK_INT(value);
}
CK_BBOOL J2CK_BOOL(jboolean value) {
  return static_cast<CK_BBOOL>(value);
}

CK_ULONG J2CK_HANDLE(jint value) {
  return static_cast<CK_ULONG>(static_cast<uint32_t>(value));
}
CK_ULONG J2CK_TYPE(jint value) {
  return J2CK_HANDLE(value);
}

}  // extern "C"

// Reports a handle that cannot be read. A lookup that failed in the VM has
// its own exception pending already; that one is what Java sees.
static bool unreadable(JNIEnv* env) {
  if (!env->ExceptionCheck()) throwExc(env, "Internal error (Null parameter)");
  return false;
}

// Reads the int field of `object` and widens it without sign.
static bool readIntField(JNIEnv* env, jobject object, quillon::KnownField which, CK_ULONG* handle) {
  if (object == nullptr) return unreadable(env);
  jfieldID field = quillon::knownField(env, which, object);
  if (field == nullptr) return unreadable(env);
  *handle = J2CK_HANDLE(env->GetIntField(object, field));
  return true;
}

namespace quillon {

bool readSlotID(JNIEnv* env, jobject slot, CK_SLOT_ID* handle) {
  return readIntField(env, slot, kSlotIDField, handle);
}

bool readSessionID(JNIEnv* env, jobject session, CK_SESSION_HANDLE* handle) {
  return readIntField(env, session, kSessionIDField, handle);
}

bool readObjectID(JNIEnv* env, jobject object, CK_OBJECT_HANDLE* handle) {
  return readIntField(env, object, kObjectIDField, handle);
}

bool readObjSessionID(JNIEnv* env, jobject object, CK_SESSION_HANDLE* handle) {
  if (object == nullptr) return unreadable(env);
  jfieldID field = knownField(env, kObjectSessionField, object);
  if (field == nullptr) return unreadable(env);
  jobject session = env->GetObjectField(object, field);
  if (session == nullptr) return unreadable(env);
  bool read = readSessionID(env, session, handle);
  env->DeleteLocalRef(session);
  return read;
}

}  // namespace quillon

extern "C" {

CK_SLOT_ID getSlotID(JNIEnv* env, jobject slot) {
  CK_SLOT_ID handle = 0;
  return quillon::readSlotID(env, slot, &handle) ? handle : 0;
}

CK_SESSION_HANDLE getSessionID(JNIEnv* env, jobject session) {
  CK_SESSION_HANDLE handle = 0;
  return quillon::readSessionID(env, session, &handle) ? handle : 0;
}

CK_OBJECT_HANDLE getObjectID(JNIEnv* env, jobject object) {
  CK_OBJECT_HANDLE handle = 0;
  return quillon::readObjectID(env, object, &handle) ? handle : 0;
}

CK_SESSION_HANDLE getObjSessionID(JNIEnv* env, jobject object) {
  CK_SESSION_HANDLE handle = 0;
  return quillon::readObjSessionID(env, object, &handle) ? handle : 0;
}

}  // extern "C"
