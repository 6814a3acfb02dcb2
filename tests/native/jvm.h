// A fake Java VM prepared for the bridge: every native call is bracketed so
// that what the bridge acquired and did not release, and any JNI misuse, fails
// the test. The bridge remembers the classes and members it looks up; it is
// made to forget them (through its JNI_OnUnload) whenever the test changes
// what a lookup answers, so that an injected failure or a redefined class is
// seen exactly as before, and at the end of the test, when no global
// reference may be left.
#ifndef QUILLON_TESTS_JVM_H
#define QUILLON_TESTS_JVM_H

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "fakejni.h"

namespace testsupport {

// A native method's result as the reference that endCall takes: the object
// itself, or null for a primitive or void result.
template <typename T>
jobject toObject(T value) {
  if constexpr (std::is_pointer_v<T>)
    return static_cast<jobject>(value);
  else
    return nullptr;
}

class Jvm : public ::testing::Test {
 protected:
  Jvm() {
    vm.whenLookupsChange([this] { forgetLookups(); });
  }
  ~Jvm() override {
    forgetLookups();
    EXPECT_EQ(0, vm.liveGlobals()) << "global references left behind";
  }
  void forgetLookups() {
    fakejni::CallSummary summary = vm.unloadLibrary(JNI_OnUnload);
    EXPECT_TRUE(summary.clean()) << summary;
  }

  // Runs one native call and checks what it left behind: nothing pinned,
  // no local reference beyond the result, no misuse, at most one exception.
  template <typename F>
  auto call(F body) -> decltype(body()) {
    vm.beginCall();
    auto result = body();
    fakejni::CallSummary summary = vm.endCall(toObject(result));
    EXPECT_TRUE(summary.clean()) << summary;
    EXPECT_EQ(0, summary.unreleased) << summary;
    EXPECT_LE(summary.localPeak, 32) << summary;
    return result;
  }
  template <typename F>
  void callVoid(F body) {
    vm.beginCall();
    body();
    fakejni::CallSummary summary = vm.endCall();
    EXPECT_TRUE(summary.clean()) << summary;
    EXPECT_EQ(0, summary.unreleased) << summary;
  }

  // The pending PKCS11Exception built with a message; clears it.
  std::string thrownMessage() {
    fakejni::Pending p = vm.pending();
    EXPECT_TRUE(p.set) << "no exception pending";
    EXPECT_EQ("it/morvale/pkcs11/PKCS11Exception", p.className) << p;
    EXPECT_TRUE(p.hasMessage) << p;
    vm.clearPending();
    return p.message;
  }
  // The pending PKCS11Exception built with a code ("(I)V"); clears it.
  long long thrownCode() {
    fakejni::Pending p = vm.pending();
    EXPECT_TRUE(p.set) << "no exception pending";
    EXPECT_EQ("it/morvale/pkcs11/PKCS11Exception", p.className) << p;
    vm.clearPending();
    if (p.ctorArgs.size() != 1 || p.ctorArgs[0].type != 'I') {
      ADD_FAILURE() << "not the code constructor: " << p;
      return -1;
    }
    return p.ctorArgs[0].i;
  }
  // The class of the pending throwable (the VM's own errors); clears it.
  std::string thrownClass() {
    fakejni::Pending p = vm.pending();
    vm.clearPending();
    return p.className;
  }
  void expectNothingPending() { EXPECT_FALSE(vm.pending().set) << vm.pending(); }

  jstring newString(const std::string& s) { return vm.newString(s); }

  fakejni::Vm vm;
  JNIEnv* env = vm.env();
};

}  // namespace testsupport

#endif
