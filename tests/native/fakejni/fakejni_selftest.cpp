// Tests of the fake Java VM itself: that it models what the bridge relies on
// (objects, constructors, fields, strings, arrays, pins, BigInteger, dates)
// and that it notices the misuse that -Xcheck:jni notices.
#include "fakejni.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

namespace {

using fakejni::Bytes;
using fakejni::CallSummary;
using fakejni::Date;
using fakejni::Value;
using fakejni::Vm;

const char kSlot[] = "it/morvale/pkcs11/nat/NativePKCS11Slot";
const char kSession[] = "it/morvale/pkcs11/nat/NativePKCS11Session";
const char kModule[] = "it/morvale/pkcs11/nat/NativePKCS11";
const char kException[] = "it/morvale/pkcs11/PKCS11Exception";

// Whether some violation contains every one of the given fragments.
bool hasViolation(const std::vector<std::string>& violations,
                  std::initializer_list<const char*> fragments) {
  for (const std::string& v : violations) {
    bool all = true;
    for (const char* f : fragments) all = all && v.find(f) != std::string::npos;
    if (all) return true;
  }
  return false;
}

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const std::string& s : v) out += "\n  " + s;
  return out;
}

// A fixture whose test body runs inside one native call.
class InCall : public ::testing::Test {
 protected:
  void SetUp() override { vm.beginCall(); }
  CallSummary end(jobject result = nullptr) { return vm.endCall(result); }
  Vm vm;
  JNIEnv* env = vm.env();
};

// Calls NewObjectV with its own variadic arguments, as a C caller of the V form would.
jobject newObjectThroughV(JNIEnv* env, jclass cls, jmethodID ctor, ...) {
  va_list ap;
  va_start(ap, ctor);
  jobject o = env->functions->NewObjectV(env, cls, ctor, ap);
  va_end(ap);
  return o;
}

// --- Objects, constructors and fields -----------------------------------------

TEST_F(InCall, ConstructorAssignsHandleFieldsAndRecordsArguments) {
  jobject module = vm.newObject(kModule);
  jclass cls = env->FindClass(kSlot);
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor = env->GetMethodID(cls, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11;I)V");
  ASSERT_FALSE(env->ExceptionCheck());
  ASSERT_NE(ctor, nullptr);

  jobject viaDots = env->functions->NewObject(env, cls, ctor, module, static_cast<jint>(7));
  ASSERT_FALSE(env->ExceptionCheck());
  jobject viaV = newObjectThroughV(env, cls, ctor, module, static_cast<jint>(-5));
  ASSERT_FALSE(env->ExceptionCheck());
  jvalue args[2];
  args[0].l = module;
  args[1].i = 2147483647;
  jobject viaA = env->NewObjectA(cls, ctor, args);
  ASSERT_FALSE(env->ExceptionCheck());

  jfieldID slotID = env->GetFieldID(cls, "slotID", "I");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->GetIntField(viaDots, slotID), 7);
  EXPECT_EQ(env->GetIntField(viaV, slotID), -5);
  EXPECT_EQ(env->GetIntField(viaA, slotID), 2147483647);
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;

  EXPECT_EQ(vm.intField(viaV, "slotID"), -5);
  EXPECT_TRUE(vm.sameObject(vm.objectField(viaV, "module"), module));
  std::vector<Value> recorded = vm.ctorArgs(viaDots);
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].type, 'L');
  EXPECT_TRUE(vm.sameObject(recorded[0].ref, module));
  EXPECT_EQ(recorded[1].type, 'I');
  EXPECT_EQ(recorded[1].i, 7);
  EXPECT_EQ(vm.calls("NewObject"), 3);
  EXPECT_EQ(vm.calls("NewObjectV"), 1);
}

TEST_F(InCall, SubclassInheritsFieldsAndIsAnInstanceOfItsSuperclass) {
  vm.defineClass("test/TracingSession", {{"label", "Ljava/lang/String;"}}, {}, kSession);
  jobject session = vm.newObject("test/TracingSession");
  vm.setIntField(session, "sessionID", 41);

  jclass cls = env->GetObjectClass(session);
  jfieldID id = env->GetFieldID(cls, "sessionID", "I");
  ASSERT_FALSE(env->ExceptionCheck());
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(env->GetIntField(session, id), 41);
  env->SetIntField(session, id, 42);
  jclass base = env->FindClass(kSession);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_TRUE(env->IsInstanceOf(session, base));
  EXPECT_FALSE(env->IsInstanceOf(vm.newObject(kSlot), base));
  jfieldID missing = env->GetFieldID(cls, "sessionID", "J");
  EXPECT_EQ(missing, nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NoSuchFieldError");
  env->ExceptionClear();
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.intField(session, "sessionID"), 42);
  EXPECT_TRUE(vm.isInstance(session, kSession));
}

TEST_F(InCall, MethodsDispatchToTheMostDerivedDefinition) {
  vm.defineClass("test/Base", {}, {"()V"});
  vm.defineMethod("test/Base", "size", "()I",
                  [](Vm&, jobject, const std::vector<Value>&) { return Value::ofInt(1); });
  vm.defineClass("test/Derived", {}, {"()V"}, "test/Base");
  vm.defineMethod("test/Derived", "size", "()I",
                  [](Vm&, jobject, const std::vector<Value>&) { return Value::ofInt(2); });
  jclass base = env->FindClass("test/Base");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID size = env->GetMethodID(base, "size", "()I");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallIntMethod(vm.newObject("test/Base"), size), 1);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallIntMethod(vm.newObject("test/Derived"), size), 2);
  ASSERT_FALSE(env->ExceptionCheck());

  vm.defineMethod("test/Derived", "<init>", "()V", [](Vm& v, jobject, const std::vector<Value>&) {
    v.throwNew("java/lang/IllegalArgumentException", "refused");
    return Value();
  });
  jclass derived = env->FindClass("test/Derived");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor = env->GetMethodID(derived, "<init>", "()V");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->NewObject(derived, ctor), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/IllegalArgumentException");
  EXPECT_EQ(vm.pending().message, "refused");
  env->ExceptionClear();
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
}

TEST_F(InCall, BoxedValuesAnswerTheirAccessors) {
  jclass integer = env->FindClass("java/lang/Integer");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID intValue = env->GetMethodID(integer, "intValue", "()I");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallIntMethod(vm.newInteger(-1), intValue), -1);
  ASSERT_FALSE(env->ExceptionCheck());
  jclass boolean = env->FindClass("java/lang/Boolean");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID booleanValue = env->GetMethodID(boolean, "booleanValue", "()Z");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallBooleanMethod(vm.newBoolean(true), booleanValue), JNI_TRUE);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallBooleanMethod(vm.newBoolean(false), booleanValue), JNI_FALSE);
  ASSERT_FALSE(env->ExceptionCheck());

  jclass byteArray = env->FindClass("[B");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_TRUE(env->IsInstanceOf(vm.newBytes({1}), byteArray));
  EXPECT_FALSE(env->IsInstanceOf(vm.newInts({1}), byteArray));
  EXPECT_FALSE(env->IsInstanceOf(vm.newLong(5), integer));
  EXPECT_TRUE(env->IsInstanceOf(nullptr, integer));
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
}

TEST_F(InCall, ObjectArraysHoldElementsAndCheckStores) {
  jclass cls = env->FindClass(kSlot);
  ASSERT_FALSE(env->ExceptionCheck());
  jobjectArray slots = env->NewObjectArray(3, cls, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  jobject slot = vm.newObject(kSlot);
  vm.setIntField(slot, "slotID", 9);
  env->SetObjectArrayElement(slots, 1, slot);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->GetArrayLength(slots), 3);
  jobject back = env->GetObjectArrayElement(slots, 1);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_TRUE(vm.sameObject(back, slot));

  jclass objects = env->FindClass("[Ljava/lang/Object;");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_TRUE(env->IsInstanceOf(slots, objects));
  CallSummary clean = end(slots);
  EXPECT_TRUE(clean.clean()) << clean;
  std::vector<jobject> elems = vm.arrayElements(slots);
  ASSERT_EQ(elems.size(), 3u);
  EXPECT_EQ(elems[0], nullptr);
  EXPECT_EQ(vm.intField(elems[1], "slotID"), 9);
  EXPECT_EQ(vm.classNameOf(slots), "[Lit/morvale/pkcs11/nat/NativePKCS11Slot;");

  vm.beginCall();
  env->SetObjectArrayElement(slots, 0, vm.newString("not a slot"));
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/ArrayStoreException");
  env->ExceptionClear();
  env->GetObjectArrayElement(slots, 3);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/ArrayIndexOutOfBoundsException");
  CallSummary s = end();
  EXPECT_TRUE(hasViolation(s.violations, {"SetObjectArrayElement", "java/lang/String"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"GetObjectArrayElement", "out of bounds"})) << s;
}

// --- Strings --------------------------------------------------------------------

TEST_F(InCall, StringsKeepTheirModifiedUtf8Bytes) {
  jstring label = vm.newString("caf\xc3\xa9 \xc0\x80!");
  const char* text = env->GetStringUTFChars(label, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "caf\xc3\xa9 \xc0\x80!");
  EXPECT_EQ(env->GetStringUTFLength(label), 9);
  EXPECT_EQ(vm.pinned(), 1);
  env->ReleaseStringUTFChars(label, text);
  EXPECT_EQ(vm.pinned(), 0);

  jstring made = env->NewStringUTF("32 blanks                       ");
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end(made);
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.stringOf(made), "32 blanks                       ");
  EXPECT_EQ(vm.calls("GetStringUTFChars"), vm.calls("ReleaseStringUTFChars"));
}

TEST_F(InCall, NewStringUtfRejectsTextThatIsNotModifiedUtf8) {
  const char* bad[] = {"\xff", "ab\xc3", "\xf0\x9f\x98\x80", "\xc1\xbf", "\x80"};
  for (const char* text : bad) {
    env->NewStringUTF(text);
    ASSERT_FALSE(env->ExceptionCheck());
  }
  env->NewStringUTF("\xe2\x82\xac \xed\xa0\xbd\xed\xb8\x80 \xc0\x80");  // euro, surrogate pair, NUL
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end();
  int invalid = 0;
  for (const std::string& v : s.violations) {
    invalid += v.find("not valid modified UTF-8") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(invalid, 5) << s;
  EXPECT_EQ(s.violations.size(), 5u) << s;
}

// --- Pins -----------------------------------------------------------------------

TEST_F(InCall, ReleaseModeZeroCopiesBackAndFrees) {
  jbyteArray data = vm.newBytes({1, 2, 3});
  jboolean isCopy = JNI_FALSE;
  jbyte* p = env->GetByteArrayElements(data, &isCopy);
  ASSERT_FALSE(env->ExceptionCheck());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(isCopy, JNI_TRUE);
  p[0] = 9;
  EXPECT_EQ(vm.bytesOf(data), (Bytes{1, 2, 3})) << "a pin is a copy until released";
  env->ReleaseByteArrayElements(data, p, 0);
  EXPECT_EQ(vm.bytesOf(data), (Bytes{9, 2, 3}));
  EXPECT_EQ(vm.pinned(), 0);
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.releaseModes(data), std::vector<int>{0});
}

TEST_F(InCall, CommitCopiesBackAndKeepsThePinAbortFreesWithoutCopying) {
  jintArray types = vm.newInts({10, 20, 30});
  jint* p = env->GetIntArrayElements(types, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  p[1] = 21;
  env->ReleaseIntArrayElements(types, p, JNI_COMMIT);
  EXPECT_EQ(vm.intsOf(types), (std::vector<jint>{10, 21, 30}));
  EXPECT_EQ(vm.pinned(), 1);
  p[2] = 31;
  env->ReleaseIntArrayElements(types, p, JNI_ABORT);
  EXPECT_EQ(vm.intsOf(types), (std::vector<jint>{10, 21, 30}));
  EXPECT_EQ(vm.pinned(), 0);
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.releaseModes(types), (std::vector<int>{JNI_COMMIT, JNI_ABORT}));
}

TEST_F(InCall, PinsOfEmptyArraysAreValidAndDistinct) {
  jbyteArray a = vm.newBytes(Bytes{});
  jbyteArray b = vm.newBytes(Bytes{});
  jbyte* pa = env->GetByteArrayElements(a, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  jbyte* pb = env->GetByteArrayElements(b, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_NE(pa, nullptr);
  EXPECT_NE(pa, pb);
  env->ReleaseByteArrayElements(a, pa, 0);
  env->ReleaseByteArrayElements(b, pb, JNI_ABORT);
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
}

TEST_F(InCall, ReleaseMistakesAreReported) {
  jbyteArray a = vm.newBytes({1, 2});
  jbyteArray b = vm.newBytes({3, 4});
  jbyte* pa = env->GetByteArrayElements(a, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  env->ReleaseByteArrayElements(b, pa, JNI_COMMIT);  // wrong array
  env->ReleaseByteArrayElements(a, pa, 0);
  env->ReleaseByteArrayElements(a, pa, 0);  // twice
  jbyte local[2] = {0, 0};
  env->ReleaseByteArrayElements(a, local, 0);  // never acquired
  const char* text = env->GetStringUTFChars(vm.newString("pin"), nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  env->GetIntArrayElements(vm.newInts({1}), nullptr);  // never released
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end();
  EXPECT_TRUE(hasViolation(s.violations, {"ReleaseByteArrayElements", "another array"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"ReleaseByteArrayElements", "released twice"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"ReleaseByteArrayElements", "not acquired"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"endCall", "GetStringUTFChars", "not released"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"endCall", "GetIntArrayElements", "not released"})) << s;
  EXPECT_EQ(s.unreleased, 2);
  EXPECT_EQ(vm.pinned(), 0) << "endCall frees what the call left pinned";
  (void)text;
}

#if defined(__SANITIZE_ADDRESS__)
// A pin is a block of its own: reading it after its release is a
// use-after-free that AddressSanitizer stops at.
TEST(FakeVmDeathTest, ReadingAPinAfterItsReleaseIsCaughtBySanitizer) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto readAfterRelease = [] {
    Vm vm;
    JNIEnv* env = vm.env();
    jbyteArray a = vm.newBytes({1, 2, 3});
    vm.beginCall();
    jbyte* p = env->GetByteArrayElements(a, nullptr);
    env->ReleaseByteArrayElements(a, p, JNI_ABORT);
    volatile jbyte b = p[1];
    (void)b;
  };
  EXPECT_DEATH(readAfterRelease(), "heap-use-after-free");
}
#else
// Under AddressSanitizer pins are exact and ASan itself stops at an overrun.
TEST_F(InCall, WritesPastAPinAreSeenOnRelease) {
  jbyteArray a = vm.newBytes({1, 2, 3, 4});
  jbyte* p = env->GetByteArrayElements(a, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  p[4] = 0x55;
  env->ReleaseByteArrayElements(a, p, 0);
  CallSummary s = end();
  EXPECT_TRUE(hasViolation(s.violations, {"ReleaseByteArrayElements", "past the end"})) << s;
  EXPECT_EQ(vm.bytesOf(a), (Bytes{1, 2, 3, 4}));
}
#endif

TEST_F(InCall, RegionsCopyAndCheckBounds) {
  jbyteArray a = env->NewByteArray(4);
  ASSERT_FALSE(env->ExceptionCheck());
  const jbyte in[3] = {7, 8, 9};
  env->SetByteArrayRegion(a, 1, 3, in);
  ASSERT_FALSE(env->ExceptionCheck());
  jbyte out[4] = {1, 1, 1, 1};
  env->GetByteArrayRegion(a, 0, 4, out);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[3], 9);
  jintArray ints = env->NewIntArray(2);
  ASSERT_FALSE(env->ExceptionCheck());
  const jint values[2] = {-1, 65537};
  env->SetIntArrayRegion(ints, 0, 2, values);
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary clean = end(ints);
  EXPECT_TRUE(clean.clean()) << clean;
  EXPECT_EQ(vm.intsOf(ints), (std::vector<jint>{-1, 65537}));

  vm.beginCall();
  env->GetByteArrayRegion(a, 2, 3, out);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/ArrayIndexOutOfBoundsException");
  env->ExceptionClear();
  CallSummary s = end();
  EXPECT_TRUE(hasViolation(s.violations, {"GetByteArrayRegion", "out of bounds for length 4"}))
      << s;
  EXPECT_TRUE(hasViolation(s.violations, {"local reference from an earlier native call"})) << s;
}

// --- Local references ------------------------------------------------------------

TEST_F(InCall, DeletingEachLocalReferenceKeepsThePeakLow) {
  for (int i = 0; i < 1000; ++i) {
    jstring s = env->NewStringUTF("element");
    ASSERT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(s);
  }
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(s.localPeak, 1);
  EXPECT_EQ(s.localsAtEnd, 0);
}

TEST_F(InCall, MoreThan32LiveLocalReferencesAreReportedOnce) {
  for (int i = 0; i < 40; ++i) {
    env->NewStringUTF("kept");
    ASSERT_FALSE(env->ExceptionCheck());
  }
  EXPECT_EQ(vm.liveLocals(), 40);
  CallSummary s = end();
  EXPECT_EQ(s.localPeak, 40);
  EXPECT_EQ(s.localsAtEnd, 40);
  ASSERT_EQ(s.violations.size(), 1u) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"JNI local refs: 33, exceeds capacity: 32"})) << s;
  EXPECT_EQ(vm.liveLocals(), 0);
}

TEST_F(InCall, EnsureLocalCapacityAndFramesRaiseTheLimit) {
  ASSERT_EQ(env->EnsureLocalCapacity(20), JNI_OK);
  for (int i = 0; i < 50; ++i) {
    env->FindClass("java/lang/String");
    ASSERT_FALSE(env->ExceptionCheck());
  }
  ASSERT_EQ(env->PushLocalFrame(10), JNI_OK);
  jobject kept = nullptr;
  for (int i = 0; i < 40; ++i) {
    kept = env->NewStringUTF("in frame");
    ASSERT_FALSE(env->ExceptionCheck());
  }
  EXPECT_EQ(vm.liveLocals(), 90);
  jobject survivor = env->PopLocalFrame(kept);
  EXPECT_EQ(vm.liveLocals(), 51);
  EXPECT_EQ(vm.stringOf(survivor), "in frame");
  env->GetStringUTFLength(static_cast<jstring>(survivor));
  env->GetStringUTFLength(static_cast<jstring>(kept));  // freed with its frame
  CallSummary s = end();
  ASSERT_EQ(s.violations.size(), 1u) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"GetStringUTFLength", "deleted local reference"})) << s;
  EXPECT_EQ(s.localPeak, 90);
}

TEST_F(InCall, ReferenceMisuseIsReported) {
  jstring a = env->NewStringUTF("a");
  ASSERT_FALSE(env->ExceptionCheck());
  env->DeleteLocalRef(a);
  env->DeleteLocalRef(a);
  env->GetStringUTFLength(a);
  int notARef = 0;
  env->GetStringUTFLength(reinterpret_cast<jstring>(&notARef));
  jobject returned = env->NewStringUTF("returned");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject dropped = env->NewStringUTF("dropped");
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary first = end(returned);
  EXPECT_TRUE(hasViolation(first.violations, {"DeleteLocalRef", "deleted twice"})) << first;
  EXPECT_TRUE(hasViolation(first.violations, {"GetStringUTFLength", "deleted local reference"}))
      << first;
  EXPECT_TRUE(hasViolation(first.violations, {"GetStringUTFLength", "not a reference"})) << first;

  vm.beginCall();
  EXPECT_EQ(env->GetStringUTFLength(static_cast<jstring>(returned)), 8);
  env->GetStringUTFLength(static_cast<jstring>(dropped));
  CallSummary second = end();
  ASSERT_EQ(second.violations.size(), 1u) << second;
  EXPECT_TRUE(hasViolation(second.violations, {"GetStringUTFLength", "earlier native call"}))
      << second;
}

// --- Global and weak global references -----------------------------------------

// A library's JNI_OnUnload that deletes the weak reference it kept.
jweak keptClass = nullptr;
void JNICALL forgetKeptClass(JavaVM* javaVm, void*) {
  JNIEnv* env = nullptr;
  ASSERT_EQ(JNI_OK, javaVm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6));
  env->DeleteWeakGlobalRef(keptClass);
  keptClass = nullptr;
}

TEST_F(InCall, WeakGlobalReferencesOutliveTheCallUntilDeleted) {
  jclass local = env->FindClass(kSlot);
  ASSERT_FALSE(env->ExceptionCheck());
  keptClass = env->NewWeakGlobalRef(local);
  ASSERT_FALSE(env->ExceptionCheck());
  env->DeleteLocalRef(local);
  CallSummary first = end();
  EXPECT_TRUE(first.clean()) << first;
  EXPECT_EQ(1, vm.liveGlobals());

  // Usable in a later call, as a class argument too.
  vm.beginCall();
  jfieldID id = env->GetFieldID(static_cast<jclass>(keptClass), "slotID", "I");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_NE(nullptr, id);
  jobject global = env->NewGlobalRef(keptClass);
  ASSERT_FALSE(env->ExceptionCheck());
  env->DeleteGlobalRef(global);
  CallSummary second = end();
  EXPECT_TRUE(second.clean()) << second;

  // Unloading runs outside any call and keeps what the test had pending.
  vm.beginCall();
  env->ThrowNew(env->FindClass(kException), "still pending");
  end();
  CallSummary unload = vm.unloadLibrary(forgetKeptClass);
  EXPECT_TRUE(unload.clean()) << unload;
  EXPECT_EQ(0, vm.liveGlobals());
  EXPECT_EQ("still pending", vm.pending().message);
}

TEST_F(InCall, GlobalReferenceMisuseIsReported) {
  jstring text = env->NewStringUTF("kept");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject global = env->NewGlobalRef(text);
  jweak weak = env->NewWeakGlobalRef(text);
  env->DeleteLocalRef(global);  // a global reference is no local one
  env->DeleteGlobalRef(weak);   // nor is a weak one a strong one
  env->DeleteWeakGlobalRef(weak);
  env->DeleteWeakGlobalRef(weak);                       // twice
  env->GetStringUTFLength(static_cast<jstring>(weak));  // after its deletion
  CallSummary s = end();
  EXPECT_TRUE(hasViolation(s.violations, {"DeleteLocalRef", "global reference is not a local"}))
      << s;
  EXPECT_TRUE(hasViolation(s.violations, {"DeleteGlobalRef", "not a global reference"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"DeleteWeakGlobalRef", "deleted twice"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"GetStringUTFLength", "deleted weak global"})) << s;
  EXPECT_EQ(1, vm.liveGlobals()) << "the global reference was never deleted: a leak";
}

TEST(FakeVm, ChangingWhatALookupAnswersRunsTheHook) {
  Vm vm;
  int changes = 0;
  vm.whenLookupsChange([&] { ++changes; });
  vm.failNext("FindClass");
  vm.failAll("GetFieldID");
  vm.defineClass("test/Fresh", {}, {});
  vm.defineMethod("test/Fresh", "size", "()I",
                  [](Vm&, jobject, const std::vector<Value>&) { return Value::ofInt(1); });
  EXPECT_EQ(4, changes);
}

TEST(FakeVm, JniCallsOutsideANativeCallAreReported) {
  Vm vm;
  vm.env()->FindClass("java/lang/String");
  EXPECT_TRUE(hasViolation(vm.violations(), {"FindClass", "outside a native call"}))
      << joined(vm.violations());
}

// --- Exceptions -------------------------------------------------------------------

TEST_F(InCall, ThrowNewAndThrowLeaveTheExceptionPending) {
  jclass cls = env->FindClass(kException);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->ThrowNew(cls, "Internal error"), JNI_OK);
  fakejni::Pending p = vm.pending();
  ASSERT_TRUE(p);
  EXPECT_EQ(p.className, kException);
  EXPECT_TRUE(p.hasMessage);
  EXPECT_EQ(p.message, "Internal error");
  env->ExceptionClear();
  EXPECT_FALSE(vm.pending());

  jmethodID withFlag = env->GetMethodID(cls, "<init>", "(IZ)V");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject e = env->NewObject(cls, withFlag, static_cast<jint>(-1), JNI_TRUE);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->Throw(static_cast<jthrowable>(e)), JNI_OK);
  p = vm.pending();
  ASSERT_TRUE(p);
  EXPECT_FALSE(p.hasMessage);
  ASSERT_EQ(p.ctorArgs.size(), 2u);
  EXPECT_EQ(p.ctorArgs[0].type, 'I');
  EXPECT_EQ(p.ctorArgs[0].i, -1);
  EXPECT_EQ(p.ctorArgs[1].type, 'Z');
  EXPECT_EQ(p.ctorArgs[1].i, 1);
  jthrowable occurred = env->ExceptionOccurred();
  EXPECT_TRUE(vm.sameObject(occurred, e));
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_TRUE(vm.pending()) << "the exception stays visible after the call returns";
  vm.beginCall();
  EXPECT_FALSE(vm.pending()) << "and is gone when the next call starts";
  end();
}

TEST_F(InCall, UncheckedThrowingCallIsReported) {
  jclass cls = env->FindClass(kSlot);
  env->GetFieldID(cls, "slotID", "I");  // no ExceptionCheck after FindClass
  CallSummary s = end();
  ASSERT_EQ(s.violations.size(), 1u) << s;
  EXPECT_TRUE(
      hasViolation(s.violations, {"GetFieldID", "without checking exceptions", "after FindClass"}))
      << s;
}

TEST_F(InCall, ReleasesAndDeletesNeedNoCheckButTheNextPlainCallDoes) {
  jbyteArray data = vm.newBytes({1});
  jbyte* p = env->GetByteArrayElements(data, nullptr);
  jstring s1 = env->NewStringUTF("x");
  env->ReleaseByteArrayElements(data, p, 0);  // allowed straight after NewStringUTF...
  env->DeleteLocalRef(s1);
  env->GetArrayLength(data);  // ...but this is not
  CallSummary s = end();
  ASSERT_EQ(s.violations.size(), 2u) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"NewStringUTF", "after GetByteArrayElements"})) << s;
  EXPECT_TRUE(hasViolation(s.violations, {"GetArrayLength", "after NewStringUTF"})) << s;
}

TEST_F(InCall, PlainCallWhileAnExceptionIsPendingIsReported) {
  jstring text = vm.newString("pinned");
  const char* chars = env->GetStringUTFChars(text, nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  jclass cls = env->FindClass(kException);
  ASSERT_FALSE(env->ExceptionCheck());
  env->ThrowNew(cls, "boom");
  env->ReleaseStringUTFChars(text, chars);  // allowed with an exception pending
  env->ExceptionOccurred();                 // allowed
  env->FindClass(kSlot);                    // not allowed
  CallSummary s = end();
  ASSERT_EQ(s.violations.size(), 1u) << s;
  EXPECT_TRUE(hasViolation(s.violations,
                           {"FindClass", "exception pending", "it/morvale/pkcs11/PKCS11Exception"}))
      << s;
}

TEST_F(InCall, NullAndMismatchedArgumentsAreReported) {
  jclass slotClass = env->FindClass(kSlot);
  ASSERT_FALSE(env->ExceptionCheck());
  jfieldID module = env->GetFieldID(slotClass, "module", "Lit/morvale/pkcs11/nat/NativePKCS11;");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor =
      env->GetMethodID(slotClass, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11;I)V");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject slot = vm.newObject(kSlot);

  EXPECT_EQ(env->GetStringUTFChars(nullptr, nullptr), nullptr);
  env->ExceptionCheck();
  EXPECT_EQ(env->GetArrayLength(nullptr), 0);
  EXPECT_EQ(env->GetByteArrayElements(nullptr, nullptr), nullptr);
  env->ExceptionCheck();
  EXPECT_EQ(env->GetIntField(nullptr, module), 0);
  EXPECT_EQ(env->GetObjectClass(nullptr), nullptr);
  EXPECT_EQ(env->GetIntField(slot, module), 0);  // object field read as int
  EXPECT_EQ(env->GetIntField(slot, reinterpret_cast<jfieldID>(ctor)), 0);
  EXPECT_EQ(env->GetMethodID(nullptr, "x", "()V"), nullptr);
  env->ExceptionCheck();
  env->NewObject(slotClass, ctor, vm.newString("not a module"), 1);
  env->ExceptionCheck();
  jclass integer = env->FindClass("java/lang/Integer");
  env->ExceptionCheck();
  jmethodID intValue = env->GetMethodID(integer, "intValue", "()I");
  env->ExceptionCheck();
  env->CallIntMethod(slot, intValue);  // Integer method on a slot
  env->ExceptionCheck();
  env->CallObjectMethod(vm.newInteger(1), intValue);  // wrong Call form
  env->ExceptionCheck();
  env->GetStringLength(vm.newString("x"));  // outside the modelled set
  env->GetMethodID(reinterpret_cast<jclass>(vm.newString("x")), "length", "()I");  // not a class
  env->ExceptionCheck();
  env->NewObject(integer, ctor, nullptr, 1);  // a slot constructor for an Integer
  env->ExceptionCheck();
  CallSummary s = end();
  const std::vector<std::vector<const char*>> expected = {
      {"GetStringUTFChars", "null string"},
      {"GetArrayLength", "null array"},
      {"GetByteArrayElements", "null array"},
      {"GetIntField", "null object"},
      {"GetObjectClass", "null object"},
      {"GetIntField", "module has type"},
      {"GetIntField", "a method ID passed as a field ID"},
      {"GetMethodID", "null class"},
      {"NewObjectV", "argument 1",
       "is a java/lang/String, not a it/morvale/pkcs11/nat/NativePKCS11"},
      {"CallIntMethodV",
       "java/lang/Integer.intValue()I called on a it/morvale/pkcs11/nat/NativePKCS11Slot"},
      {"CallObjectMethodV", "does not return what CallObjectMethodV returns"},
      {"GetStringLength", "unexpected JNI function GetStringLength"},
      {"GetMethodID", "a java/lang/String, not a class"},
      {"NewObjectV",
       "constructor of it/morvale/pkcs11/nat/NativePKCS11Slot used to make a java/lang/Integer"},
  };
  for (const auto& e : expected) {
    bool found = false;
    for (const std::string& v : s.violations) {
      bool all = true;
      for (const char* f : e) all = all && v.find(f) != std::string::npos;
      found = found || all;
    }
    EXPECT_TRUE(found) << "missing violation " << e[0] << ": " << e[1] << "\n" << s;
  }
  EXPECT_EQ(s.violations.size(), expected.size()) << s;
  EXPECT_EQ(vm.calls("GetStringLength"), 1);
}

// --- Failure injection -------------------------------------------------------------

TEST_F(InCall, FailedLookupsLeaveTheVmsLinkageErrors) {
  vm.failNext("FindClass");
  EXPECT_EQ(env->FindClass(kSlot), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NoClassDefFoundError");
  EXPECT_EQ(vm.pending().message, kSlot);
  env->ExceptionClear();
  jclass cls = env->FindClass(kSlot);
  ASSERT_FALSE(env->ExceptionCheck()) << "only the next call fails";
  ASSERT_NE(cls, nullptr);

  vm.failNext("GetMethodID");
  EXPECT_EQ(env->GetMethodID(cls, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11;I)V"), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NoSuchMethodError");
  env->ExceptionClear();
  vm.failNext("GetFieldID");
  EXPECT_EQ(env->GetFieldID(cls, "slotID", "I"), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NoSuchFieldError");
  env->ExceptionClear();
  EXPECT_EQ(env->FindClass("no/such/Class"), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NoClassDefFoundError");
  env->ExceptionClear();
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
}

TEST_F(InCall, FailNthCountsCallsOfTheWholeFamily) {
  jclass cls = env->FindClass("java/lang/Integer");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor = env->GetMethodID(cls, "<init>", "(I)V");
  ASSERT_FALSE(env->ExceptionCheck());
  vm.failNth("NewObject", 2);
  EXPECT_NE(env->NewObject(cls, ctor, 1), nullptr);  // NewObjectV through the C++ wrapper
  ASSERT_FALSE(env->ExceptionCheck());
  jvalue arg;
  arg.i = 2;
  EXPECT_EQ(env->NewObjectA(cls, ctor, &arg), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/OutOfMemoryError");
  env->ExceptionClear();
  EXPECT_NE(env->functions->NewObject(env, cls, ctor, 3), nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.calls("NewObject"), 3);
}

TEST_F(InCall, FailAllMakesEveryPinAndAllocationFail) {
  vm.failAll("GetStringUTFChars");
  vm.failAll("GetByteArrayElements");
  vm.failAll("NewByteArray");
  vm.failAll("CallObjectMethod");
  jstring text = vm.newString("pin");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(env->GetStringUTFChars(text, nullptr), nullptr);
    ASSERT_TRUE(env->ExceptionCheck());
    EXPECT_EQ(vm.pending().className, "java/lang/OutOfMemoryError");
    env->ExceptionClear();
  }
  EXPECT_EQ(env->GetByteArrayElements(vm.newBytes({1}), nullptr), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  env->ExceptionClear();
  EXPECT_EQ(env->NewByteArray(1), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  env->ExceptionClear();
  jclass big = env->FindClass("java/math/BigInteger");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID toByteArray = env->GetMethodID(big, "toByteArray", "()[B");
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(env->CallObjectMethod(vm.newBigInteger({1}), toByteArray), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/OutOfMemoryError");
  env->ExceptionClear();
  vm.clearFailures();
  EXPECT_NE(env->GetStringUTFChars(text, nullptr), nullptr);
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end();
  EXPECT_EQ(s.unreleased, 1) << s;
  EXPECT_EQ(vm.pinned(), 0);
}

TEST(FakeVm, FailingAFunctionThatCannotFailIsReported) {
  Vm vm;
  vm.failNext("ExceptionCheck");
  EXPECT_TRUE(hasViolation(vm.violations(), {"ExceptionCheck cannot be made to fail"}))
      << joined(vm.violations());
}

// --- BigInteger and dates ------------------------------------------------------------

TEST_F(InCall, BigIntegerKeepsTwosComplementBytes) {
  jclass cls = env->FindClass("java/math/BigInteger");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor = env->GetMethodID(cls, "<init>", "([B)V");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID toByteArray = env->GetMethodID(cls, "toByteArray", "()[B");
  ASSERT_FALSE(env->ExceptionCheck());
  struct Case {
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      {{0x00, 0xFF}, {0x00, 0xFF}},  // 255 keeps its sign byte
      {{0x00, 0x00, 0x01}, {0x01}},  // redundant zeros go
      {{0x01, 0x00, 0x01}, {0x01, 0x00, 0x01}},
      {{0xFF, 0xFF}, {0xFF}},  // -1
      {{0x00}, {0x00}},        // zero
      {{0x00, 0x80, 0x00}, {0x00, 0x80, 0x00}},
  };
  for (const Case& c : cases) {
    jobject big = env->NewObject(cls, ctor, vm.newBytes(c.in));
    ASSERT_FALSE(env->ExceptionCheck());
    jobject bytes = env->CallObjectMethod(big, toByteArray);
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(vm.bytesOf(bytes), c.out);
    EXPECT_EQ(vm.bigIntegerBytes(big), c.out);
    env->DeleteLocalRef(bytes);
    env->DeleteLocalRef(big);
  }
  EXPECT_EQ(env->NewObject(cls, ctor, vm.newBytes(Bytes{})), nullptr);
  ASSERT_TRUE(env->ExceptionCheck());
  EXPECT_EQ(vm.pending().className, "java/lang/NumberFormatException");
  env->ExceptionClear();
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.bigIntegerBytes(vm.newBigInteger({0x00, 0x01, 0x00, 0x01})),
            (Bytes{0x01, 0x00, 0x01}));
}

class DateFormat : public InCall {
 protected:
  void SetUp() override {
    InCall::SetUp();
    jclass cls = env->FindClass("java/text/SimpleDateFormat");
    ASSERT_FALSE(env->ExceptionCheck());
    jmethodID ctor = env->GetMethodID(cls, "<init>", "(Ljava/lang/String;)V");
    ASSERT_FALSE(env->ExceptionCheck());
    jstring pattern = env->NewStringUTF("yyyyMMdd");
    ASSERT_FALSE(env->ExceptionCheck());
    formatter = env->NewObject(cls, ctor, pattern);
    ASSERT_FALSE(env->ExceptionCheck());
    format = env->GetMethodID(cls, "format", "(Ljava/util/Date;)Ljava/lang/String;");
    ASSERT_FALSE(env->ExceptionCheck());
    parse = env->GetMethodID(cls, "parse", "(Ljava/lang/String;)Ljava/util/Date;");
    ASSERT_FALSE(env->ExceptionCheck());
  }
  jobject parsed(const char* text) {
    jobject d = env->CallObjectMethod(formatter, parse, vm.newString(text));
    return d;
  }
  jobject formatter = nullptr;
  jmethodID format = nullptr;
  jmethodID parse = nullptr;
};

TEST_F(DateFormat, FormatsDatesAndDateSubclassesAsYyyyMMdd) {
  vm.defineClass("java/sql/Date", {}, {}, "java/util/Date");
  jobject s1 = env->CallObjectMethod(formatter, format, vm.newDate(2031, 3, 5));
  ASSERT_FALSE(env->ExceptionCheck());
  jobject s2 = env->CallObjectMethod(formatter, format, vm.newDate(999, 12, 31, "java/sql/Date"));
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.stringOf(s1), "20310305");
  EXPECT_EQ(vm.stringOf(s2), "09991231");
}

TEST_F(DateFormat, ParsesLenientlyAndThrowsParseExceptionOnBadText) {
  jobject march = parsed("20240315");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject rolled = parsed("20240230");  // 30 February is 1 March in a leap year
  ASSERT_FALSE(env->ExceptionCheck());
  jobject shortDay = parsed("2024031");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject monthZero = parsed("20240001");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject monthsOver = parsed("20245001");  // month 50: four years and two months on
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(vm.dateOf(march), (Date{2024, 3, 15}));
  EXPECT_EQ(vm.dateOf(rolled), (Date{2024, 3, 1}));
  EXPECT_EQ(vm.dateOf(shortDay), (Date{2024, 3, 1}));
  EXPECT_EQ(vm.dateOf(monthZero), (Date{2023, 12, 1}));
  EXPECT_EQ(vm.dateOf(monthsOver), (Date{2028, 2, 1}));
  EXPECT_EQ(vm.classNameOf(march), "java/util/Date");

  for (const char* bad : {"2024:315", "202403", "", "abcdefgh"}) {
    EXPECT_EQ(parsed(bad), nullptr) << bad;
    ASSERT_TRUE(env->ExceptionCheck()) << bad;
    fakejni::Pending p = vm.pending();
    EXPECT_EQ(p.className, "java/text/ParseException") << bad;
    EXPECT_EQ(p.message, std::string("Unparseable date: \"") + bad + "\"");
    env->ExceptionClear();
  }
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
}

TEST(FakeVm, DatesConvertToAndFromEpochMillisecondsInUtc) {
  Vm vm;
  JNIEnv* env = vm.env();
  vm.beginCall();
  jclass cls = env->FindClass("java/util/Date");
  ASSERT_FALSE(env->ExceptionCheck());
  jmethodID ctor = env->GetMethodID(cls, "<init>", "(J)V");
  ASSERT_FALSE(env->ExceptionCheck());
  jobject d = env->NewObject(cls, ctor, static_cast<jlong>(1710460800000LL + 3600000));
  ASSERT_FALSE(env->ExceptionCheck());
  CallSummary s = vm.endCall();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.dateOf(d), (Date{2024, 3, 15}));
  EXPECT_EQ(vm.dateOf(vm.newDate(2024, 2, 30)), (Date{2024, 3, 1}));
}

// --- Bookkeeping -------------------------------------------------------------------

TEST_F(InCall, JournalAndCountersFollowEveryCall) {
  vm.clearJournal();
  env->GetVersion();
  env->FindClass(kSlot);
  env->ExceptionCheck();
  CallSummary s = end();
  EXPECT_TRUE(s.clean()) << s;
  EXPECT_EQ(vm.journal(), (std::vector<std::string>{"GetVersion", "FindClass", "ExceptionCheck"}));
  EXPECT_EQ(vm.calls("FindClass"), 1);
  EXPECT_EQ(vm.calls("NewObject"), 0);
}

}  // namespace
