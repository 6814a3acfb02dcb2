// What the JNI entry points share: turning Java handles into call-layer
// handles, reporting failures, and small guards that release what an entry
// point acquired on every path out of it, in reverse order of acquisition.
#ifndef QUILLON_ENTRY_H
#define QUILLON_ENTRY_H

#include <stdint.h>
#include <stdlib.h>

#include <type_traits>

#include "cryptoki.h"
#include "lookup.h"
#include "runtime.h"

namespace quillon {

// Java carries the module and function-list handles as a long.
inline FunctionList functionList(jlong handle) {
  return reinterpret_cast<FunctionList>(static_cast<intptr_t>(handle));
}
inline ModuleHandle moduleHandle(jlong handle) {
  return reinterpret_cast<ModuleHandle>(static_cast<intptr_t>(handle));
}
inline jlong javaHandle(const void* handle) {
  return static_cast<jlong>(reinterpret_cast<intptr_t>(handle));
}

// True when `rv` is a failure, which is then thrown; the entry point returns
// its failure value at once.
inline bool failed(JNIEnv* env, CK_RV rv) {
  if (rv == CKR_OK) return false;
  throwCKExc(env, rv);
  return true;
}

// Throws PKCS11Exception with `message`, unless the VM already has an
// exception pending (a failed JNI call leaves its own, which Java then sees).
inline void refuse(JNIEnv* env, const char* message) {
  if (!env->ExceptionCheck()) throwExc(env, message);
}

// A local reference, deleted when the guard goes out of scope, so that loops
// over many Java objects stay within the VM's local reference capacity.
template <typename T>
class Local {
 public:
  Local(JNIEnv* env, T ref) : env_(env), ref_(ref) {}
  ~Local() {
    if (ref_ != nullptr) env_->DeleteLocalRef(ref_);
  }
  Local(const Local&) = delete;
  Local& operator=(const Local&) = delete;
  T get() const { return ref_; }
  // Hands the reference over to the caller (to return it to Java).
  T release() {
    T ref = ref_;
    ref_ = nullptr;
    return ref;
  }

 private:
  JNIEnv* env_;
  T ref_;
};

// The modified UTF-8 text of a Java string, released on every path. A null
// string yields no text.
class Utf8 {
 public:
  Utf8(JNIEnv* env, jstring string) : env_(env), string_(string) {
    if (string_ == nullptr) return;
    chars_ = env_->GetStringUTFChars(string_, nullptr);
    if (env_->ExceptionCheck()) chars_ = nullptr;
  }
  ~Utf8() {
    if (chars_ != nullptr) env_->ReleaseStringUTFChars(string_, chars_);
  }
  Utf8(const Utf8&) = delete;
  Utf8& operator=(const Utf8&) = delete;
  bool ok() const { return chars_ != nullptr; }
  const char* get() const { return chars_; }

 private:
  JNIEnv* env_;
  jstring string_;
  const char* chars_ = nullptr;
};

// A block from the C heap, freed on every path. Wrappers that allocate their
// output hand it over through `out()`.
template <typename T>
class Heap {
 public:
  Heap() = default;
  ~Heap() { free(block_); }
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;
  T** out() { return &block_; }
  T* get() const { return block_; }
  T& operator[](size_t i) const { return block_[i]; }

 private:
  T* block_ = nullptr;
};

// A Java byte array pinned with GetByteArrayElements and released on every
// path, by default in mode 0 (whatever the module wrote is copied back); an
// array that the module only reads may be released with JNI_ABORT. A null array is
// not pinned: `isNull()` tells it apart from a pin that the VM refused (an
// exception is then pending: the VM's own, or "Internal error: Out of
// memory" when the VM raised none).
class PinnedBytes {
 public:
  PinnedBytes(JNIEnv* env, jbyteArray array, jint releaseMode = 0)
      : env_(env), array_(array), releaseMode_(releaseMode) {
    if (array_ == nullptr) return;
    length_ = env_->GetArrayLength(array_);
    bytes_ = env_->GetByteArrayElements(array_, nullptr);
    if (env_->ExceptionCheck()) bytes_ = nullptr;
    // A VM may refuse a pin without raising anything: the call must still
    // fail visibly.
    if (bytes_ == nullptr) refuse(env_, "Internal error: Out of memory");
  }
  ~PinnedBytes() {
    if (bytes_ != nullptr) env_->ReleaseByteArrayElements(array_, bytes_, releaseMode_);
  }
  PinnedBytes(const PinnedBytes&) = delete;
  PinnedBytes& operator=(const PinnedBytes&) = delete;
  bool ok() const { return bytes_ != nullptr; }
  bool isNull() const { return array_ == nullptr; }
  CK_BYTE* data() const { return reinterpret_cast<CK_BYTE*>(bytes_); }
  CK_ULONG length() const { return static_cast<CK_ULONG>(length_); }

 private:
  JNIEnv* env_;
  jbyteArray array_;
  jint releaseMode_;
  jsize length_ = 0;
  jbyte* bytes_ = nullptr;
};

// A byte array that the call needs: false, with an exception pending, when
// Java passed null ("Internal error (Null parameter)") or the pin failed.
inline bool required(JNIEnv* env, const PinnedBytes& bytes) {
  if (bytes.isNull()) refuse(env, "Internal error (Null parameter)");
  return bytes.ok();
}

// A text that the call needs: false, with `message` thrown (or the VM's own
// error standing), when Java gave none or the VM could not give its bytes.
inline bool required(JNIEnv* env, const Utf8& text, const char* message) {
  if (text.ok()) return true;
  refuse(env, message);
  return false;
}

// The mechanism of every operation: the type that Java gives (an unsigned
// 32-bit number) and no parameter.
inline CK_MECHANISM bareMechanism(jint type) {
  CK_MECHANISM mechanism;
  mechanism.mechanism = J2CK_TYPE(type);
  mechanism.pParameter = nullptr;
  mechanism.ulParameterLen = 0;
  return mechanism;
}

// A Java class and one of its constructors, remembered after the first
// lookup (lookup.h). When either is missing the VM's error is pending and
// `ok()` is false.
class Constructor {
 public:
  Constructor(JNIEnv* env, KnownMethod constructor)
      : env_(env), class_(knownClass(env, ownerOf(constructor))) {
    if (class_ != nullptr) ctor_ = knownMethod(env, constructor, class_);
  }
  bool ok() const { return ctor_ != nullptr; }
  jclass javaClass() const { return class_; }

  // Creates an instance from JNI-typed arguments. Returns null, with the VM's
  // exception pending, when an argument conversion before it failed or the
  // VM cannot make the object.
  template <typename... Args>
  jobject make(Args... args) const {
    // Only a text can have failed to convert: without one, nothing is pending.
    if ((std::is_same<Args, jstring>::value || ...) && env_->ExceptionCheck()) return nullptr;
    jobject object = env_->NewObject(class_, ctor_, args...);
    if (env_->ExceptionCheck()) return nullptr;
    return object;
  }

 private:
  JNIEnv* env_;
  jclass class_;
  jmethodID ctor_ = nullptr;
};

// The bytes that an operation gives the module or takes from it, in a buffer
// of the bridge's own: on the stack up to kInline bytes, from the heap above.
// Input is copied out of its Java array with GetByteArrayRegion (only the
// bytes the module is told about); output is copied back with
// SetByteArrayRegion (only the bytes the module produced). No Java array is
// pinned, so an array passed both as data and as output ends up holding the
// result. The callers hold every copy within its array, and a region copy
// within its array cannot throw: no exception check follows one.
class ByteCopy {
 public:
  static const size_t kInline = 4096;

  explicit ByteCopy(JNIEnv* env) : env_(env) {}
  ~ByteCopy() {
    if (bytes_ != inline_) free(bytes_);
  }
  ByteCopy(const ByteCopy&) = delete;
  ByteCopy& operator=(const ByteCopy&) = delete;

  // Room for `size` bytes; false with "Internal error: Out of memory" thrown
  // when the heap has none.
  bool reserve(size_t size) {
    if (size <= kInline) return true;
    bytes_ = static_cast<CK_BYTE*>(malloc(size));
    if (bytes_ != nullptr) return true;
    bytes_ = inline_;
    refuse(env_, "Internal error: Out of memory");
    return false;
  }
  // The first `length` bytes of `array`, which holds at least that many;
  // false, with "Internal error: Out of memory" thrown, when there is no room.
  bool copyIn(jbyteArray array, jsize length) {
    if (!reserve(static_cast<size_t>(length))) return false;
    env_->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(bytes_));
    return true;
  }
  // Writes the first `length` bytes back to the start of `array`, which
  // holds at least that many.
  void copyOut(jbyteArray array, jsize length) const {
    env_->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte*>(bytes_));
  }
  CK_BYTE* data() const { return bytes_; }

 private:
  JNIEnv* env_;
  CK_BYTE inline_[kInline];
  CK_BYTE* bytes_ = inline_;
};

// Whether a session or object handle that the module returned can live in
// the int field of its Java object: it fits when it comes back unchanged,
// narrowed by CK2J_INT on the way out and widened by the handle readers on
// the way in. Where CK_ULONG has 32 bits every handle fits. A handle that
// does not fit would reach the module later as another handle, so it is
// refused here: false, with "Internal error: handle out of range" thrown.
inline bool handleFits(JNIEnv* env, CK_ULONG handle) {
  if (J2CK_HANDLE(CK2J_INT(handle)) == handle) return true;
  refuse(env, "Internal error: handle out of range");
  return false;
}

// Turns an object handle into a new NativePKCS11Object of `session`, as
// every entry point that hands Java an object does. Null, with an exception
// pending, when the handle does not fit the Java object (handleFits) or the
// class, its constructor or the object cannot be had.
jobject wrapObject(JNIEnv* env, jobject session, CK_OBJECT_HANDLE handle);

}  // namespace quillon

#endif
