// What the JNI entry points share: turning Java handles into call-layer
// handles, reporting failures, and small guards that release what an entry
// point acquired on every path out of it, in reverse order of acquisition.
#ifndef QUILLON_ENTRY_H
#define QUILLON_ENTRY_H

#include <stdint.h>
#include <stdlib.h>

#include "cryptoki.h"
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

// Reads a handle with one of the handle readers; false when it could not be
// read and an exception is pending.
inline bool readHandle(JNIEnv* env, CK_ULONG (*reader)(JNIEnv*, jobject), jobject object,
                       CK_ULONG* handle) {
  *handle = reader(env, object);
  return !env->ExceptionCheck();
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

// A Java class and one of its constructors, looked up by name and signature
// on every call. When either is missing the VM's error is pending and `ok()`
// is false.
class Constructor {
 public:
  Constructor(JNIEnv* env, const char* className, const char* signature)
      : env_(env), class_(env, env->FindClass(className)) {
    if (env_->ExceptionCheck() || class_.get() == nullptr) return;
    ctor_ = env_->GetMethodID(class_.get(), "<init>", signature);
    if (env_->ExceptionCheck()) ctor_ = nullptr;
  }
  bool ok() const { return ctor_ != nullptr; }
  jclass javaClass() const { return class_.get(); }

  // Creates an instance from JNI-typed arguments. Returns null, with the VM's
  // exception pending, when an argument conversion before it failed or the
  // VM cannot make the object.
  template <typename... Args>
  jobject make(Args... args) const {
    if (env_->ExceptionCheck()) return nullptr;
    jobject object = env_->NewObject(class_.get(), ctor_, args...);
    if (env_->ExceptionCheck()) return nullptr;
    return object;
  }

 private:
  JNIEnv* env_;
  Local<jclass> class_;
  jmethodID ctor_ = nullptr;
};

// Turns an object handle into a new NativePKCS11Object of `session`, as
// every entry point that hands Java an object does. Null, with the VM's
// error pending, when the class, its constructor or the object cannot be had.
jobject wrapObject(JNIEnv* env, jobject session, CK_OBJECT_HANDLE handle);

}  // namespace quillon

#endif
