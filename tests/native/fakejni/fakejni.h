// A Java VM stand-in for the native tests: a JNIEnv whose function table is
// written in C++ and models classes, objects, fields, strings, arrays, pins,
// local references and pending exceptions. Tests call the bridge's exported
// Java_… functions with vm.env(), then inspect what the bridge created, what
// it left pending and what it did wrong.
//
// Typical use:
//
//   fakejni::Vm vm;
//   jobject slot = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Slot");
//   vm.setIntField(slot, "slotID", 3);
//   vm.beginCall();
//   jobject info = Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getSlotInfo(vm.env(), slot, list);
//   fakejni::CallSummary s = vm.endCall(info);
//   EXPECT_TRUE(s.clean()) << s;
//   EXPECT_EQ(vm.classNameOf(info), "it/morvale/pkcs11/PKCS11SlotInfo");
//
// References. Objects made by the helpers below, and every object the helpers
// hand back (array elements, constructor arguments, field values, the pending
// throwable), are "test references": valid for the life of the Vm and not
// counted as local references. Every object that the JNI functions hand to
// native code is a new local reference that lives until DeleteLocalRef,
// PopLocalFrame or the end of the native call. endCall(result) turns the
// returned local reference into a test reference, as the VM does with a
// native method's result.
//
// Global and weak global references live until deleted; using or deleting
// one after its deletion, or deleting it with the wrong function, is misuse,
// and liveGlobals() shows those never deleted (a leak once the library that
// made them is unloaded).
//
// Misuse is reported as text in violations(), never by aborting, so one test
// can show everything that went wrong in a call. A call is clean when it
// recorded no violation.
//
// Threads. One Vm serves any number of threads, as one Java VM does: each
// thread that calls env() gets a JNIEnv of its own, with its own local
// frames, pending exception and native call (beginCall, endCall, pending()
// and the rest act on the calling thread's). One lock guards the rest; it
// is hidden from ThreadSanitizer, so the fake adds no ordering between
// threads that a Java VM would not. Failure rules, violations and the
// journal are shared.
#ifndef QUILLON_TESTS_FAKEJNI_H
#define QUILLON_TESTS_FAKEJNI_H

#include <jni.h>

#include <initializer_list>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace fakejni {

using Bytes = std::vector<unsigned char>;

// A Java value: a primitive (type 'Z', 'B', 'C', 'S', 'I', 'J', 'F' or 'D')
// or a reference (type 'L' or '[' as in the signature, ref a test reference
// or null). 'V' is "no value" (the result of a void method).
struct Value {
  char type = 'V';
  long long i = 0;  // integral primitives and booleans (0 or 1)
  double d = 0;     // 'F' and 'D'
  jobject ref = nullptr;

  static Value ofInt(long long v) { return Value{'I', v, 0, nullptr}; }
  static Value ofBool(bool v) { return Value{'Z', v ? 1 : 0, 0, nullptr}; }
  static Value ofLong(long long v) { return Value{'J', v, 0, nullptr}; }
  static Value ofRef(jobject r) { return Value{'L', 0, 0, r}; }
};

struct FieldDef {
  std::string name;
  std::string sig;  // JNI field signature: "I", "Lit/morvale/pkcs11/nat/NativePKCS11;", ...
};

// A calendar day; month runs from 1 to 12. Dates have no time of day here:
// the fake's default time zone is UTC and every Date is at midnight.
struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
};
bool operator==(const Date& a, const Date& b);
std::ostream& operator<<(std::ostream& out, const Date& d);

// The throwable that native code left pending, if any.
struct Pending {
  bool set = false;
  std::string className;        // slash form: "it/morvale/pkcs11/PKCS11Exception"
  std::string message;          // from ThrowNew or a (Ljava/lang/String;...) constructor
  bool hasMessage = false;      // false for a null message or a constructor without one
  std::vector<Value> ctorArgs;  // arguments of the constructor that made it
  jobject throwable = nullptr;  // test reference to the throwable
  explicit operator bool() const { return set; }
};
std::ostream& operator<<(std::ostream& out, const Pending& p);

// What one native call did, returned by endCall.
struct CallSummary {
  int localPeak = 0;    // most local references alive at once during the call
  int localsAtEnd = 0;  // local references still alive when the call returned
  int unreleased = 0;   // pins and UTF-8 texts acquired in the call and not released
  std::vector<std::string> violations;  // misuse recorded during the call
  bool clean() const { return violations.empty(); }
};
std::ostream& operator<<(std::ostream& out, const CallSummary& s);

class Vm;

// Body of a method defined by a test. self and reference arguments are test
// references; a reference result must be a test reference too (the fake
// makes the local reference that native code sees). To throw, call
// vm.throwNew(...) and return Value().
using MethodImpl = std::function<Value(Vm& vm, jobject self, const std::vector<Value>& args)>;

class Vm {
 public:
  Vm();
  ~Vm();
  Vm(const Vm&) = delete;
  Vm& operator=(const Vm&) = delete;

  // The calling thread's JNIEnv.
  JNIEnv* env();

  // --- Classes -------------------------------------------------------------
  // Defines (or redefines) a class. fields are instance fields in order;
  // ctors are constructor signatures. A constructor whose parameter count
  // equals the number of fields (inherited ones first) assigns them in
  // order; every constructor records its arguments (ctorArgs). superName
  // must already be defined.
  void defineClass(const std::string& name, const std::vector<FieldDef>& fields,
                   const std::vector<std::string>& ctors,
                   const std::string& superName = "java/lang/Object");
  // Adds an instance method (or replaces one with the same name and
  // signature). Subclasses inherit it and may override it. With the name
  // "<init>" it is a constructor body, run after the fields are assigned;
  // a body that throws makes NewObject return null.
  void defineMethod(const std::string& className, const std::string& name, const std::string& sig,
                    MethodImpl impl);
  bool hasClass(const std::string& name) const;

  // --- One native call -----------------------------------------------------
  // beginCall starts a native call: a fresh local frame (capacity 32), no
  // pending exception. endCall ends it as the VM does on return: reports
  // unreleased pins and texts as violations (and frees them) and frees the
  // call's local references. A result, if given, must be a live reference;
  // it stays valid afterwards as a test reference (the same jobject value).
  void beginCall();
  CallSummary endCall(jobject result = nullptr);
  bool inCall() const;

  // --- Making values (test references) -------------------------------------
  jstring newString(const std::string& modifiedUtf8);
  jbyteArray newBytes(const Bytes& bytes);
  jbyteArray newBytes(std::initializer_list<int> bytes);  // values taken modulo 256
  jintArray newInts(const std::vector<jint>& ints);
  jobjectArray newObjectArray(const std::string& elementClass, const std::vector<jobject>& elems);
  jobject newInteger(jint v);
  jobject newBoolean(bool v);
  jobject newLong(long long v);
  jobject newBigInteger(const Bytes& twosComplementBigEndian);  // as new BigInteger(byte[])
  jobject newDate(int year, int month, int day, const std::string& cls = "java/util/Date");
  // An instance with every field zero or null; no constructor runs.
  jobject newObject(const std::string& className);
  void setIntField(jobject obj, const std::string& field, jint v);
  void setObjectField(jobject obj, const std::string& field, jobject v);

  // --- Reading values (accept any reference the fake ever made) ------------
  std::string classNameOf(jobject obj) const;  // "" for null
  bool isInstance(jobject obj, const std::string& className) const;
  bool sameObject(jobject a, jobject b) const;
  std::string stringOf(jobject str) const;  // the modified UTF-8 bytes
  Bytes bytesOf(jobject byteArray) const;
  std::vector<jint> intsOf(jobject intArray) const;
  std::vector<jobject> arrayElements(jobject objectArray);
  jint intField(jobject obj, const std::string& field) const;
  jobject objectField(jobject obj, const std::string& field);
  Value field(jobject obj, const std::string& field);
  std::vector<Value> ctorArgs(jobject obj);
  Bytes bigIntegerBytes(jobject big) const;  // as BigInteger.toByteArray()
  Date dateOf(jobject date) const;

  // --- Pending exception ---------------------------------------------------
  Pending pending();
  void clearPending();
  // Makes a throwable of cls with a message and leaves it pending; for
  // method bodies that throw, as the Java method would.
  void throwNew(const std::string& cls, const std::string& message);

  // --- Failure injection ---------------------------------------------------
  // The named JNI function (a base name such as "NewObject" or
  // "CallObjectMethod" also covers its V and A forms) returns null / 0 / a
  // negative code, and leaves pending what the VM would: OutOfMemoryError
  // for allocations, pins, texts, frames and method calls,
  // NoClassDefFoundError for FindClass, NoSuchMethodError / NoSuchFieldError
  // for the lookups, ArrayIndexOutOfBoundsException for the region copies.
  // Lookups of a single object (GetObjectClass, GetObjectField,
  // GetObjectArrayElement) return null without an exception. A name that
  // cannot fail is recorded as a violation.
  void failNext(const std::string& fn);
  void failNth(const std::string& fn, int n);  // the n-th call from now (1 = next)
  void failAll(const std::string& fn);
  void clearFailures();

  // --- Library lifecycle -----------------------------------------------------
  // The JavaVM of this VM; its GetEnv hands out env().
  JavaVM* javaVm();
  // Runs a library's JNI_OnUnload as the VM does when the class loader that
  // loaded the library goes, outside any native call; what the test had
  // pending stays pending. Returns what the function did.
  CallSummary unloadLibrary(void(JNICALL* onUnload)(JavaVM*, void*));
  // Runs `hook` whenever the test changes what a JNI lookup answers: a class
  // or method defined, a failure injected. Native code may remember its
  // lookups (in a VM a class's IDs stay valid while the class is loaded); a
  // test that changes the VM under it makes it forget them here, as a VM
  // that loads the class anew would.
  void whenLookupsChange(std::function<void()> hook);

  // --- Observation ---------------------------------------------------------
  const std::vector<std::string>& violations() const;  // every violation since the last clear
  void clearViolations();
  int calls(const std::string& fn) const;           // base names include V and A forms
  const std::vector<std::string>& journal() const;  // JNI functions called, in order
  void clearJournal();
  std::vector<int> releaseModes(jobject array) const;  // modes of each Release…Elements
  int liveLocals() const;                              // local references alive now
  int liveGlobals() const;  // global and weak global references not yet deleted
  int pinned() const;       // pins and texts acquired and not yet released

  struct Impl;

 private:
  void lookupsChanged();
  std::unique_ptr<Impl> impl_;
};

}  // namespace fakejni

#endif
