#include "fuzz_support.h"

#include <iostream>
#include <sstream>

#include "it_morvale_pkcs11_nat_NativePKCS11.h"

namespace fuzz {

const Module& answeringModule() {
  static Module loaded = [] {
    fakejni::Vm vm;
    jobject self = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
    jstring path = vm.newString(ANSWERS_MODULE);
    vm.beginCall();
    Module m;
    m.module = Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(vm.env(), self, path);
    m.list = Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(vm.env(), self, m.module);
    fakejni::CallSummary summary = vm.endCall();
    if (m.module == 0 || m.list == 0 || !summary.clean()) {
      std::cerr << "cannot load " << ANSWERS_MODULE << ": " << vm.pending() << "\n";
      abort();
    }
    finish(vm);
    return m;
  }();
  return loaded;
}

uint8_t byte() {
  uint8_t b;
  answers_take(&b, 1);
  return b;
}

uint16_t word() {
  uint16_t w;
  answers_take(&w, 2);
  return w;
}

uint32_t u32() {
  uint32_t v;
  answers_take(&v, 4);
  return v;
}

size_t count(size_t limit) {
  return word() % limit;
}

const char* const kFailable[] = {"FindClass",
                                 "GetMethodID",
                                 "GetFieldID",
                                 "NewObject",
                                 "NewStringUTF",
                                 "NewObjectArray",
                                 "NewByteArray",
                                 "NewIntArray",
                                 "GetByteArrayElements",
                                 "GetIntArrayElements",
                                 "GetStringUTFChars",
                                 "CallObjectMethod",
                                 "CallIntMethod",
                                 "CallBooleanMethod",
                                 "ThrowNew",
                                 "SetObjectArrayElement",
                                 "GetObjectClass",
                                 "GetObjectField",
                                 "GetObjectArrayElement",
                                 "Throw"};
const size_t kFailableCount = sizeof kFailable / sizeof kFailable[0];

bool maybeFail(fakejni::Vm& vm) {
  uint8_t b = byte();
  if (b >= 48) return false;
  vm.failNth(kFailable[byte() % kFailableCount], 1 + b % 8);
  return true;
}

void finish(fakejni::Vm& vm) {
  fakejni::CallSummary summary = vm.unloadLibrary(JNI_OnUnload);
  std::ostringstream why;
  if (!summary.clean()) {
    why << summary;
    stop("JNI_OnUnload", why.str());
  }
  if (vm.liveGlobals() != 0) {
    why << vm.liveGlobals() << " global references left behind";
    stop("JNI_OnUnload", why.str());
  }
}

void stop(const char* what, const std::string& why) {
  std::cerr << "\n" << what << ": " << why << "\n";
  abort();
}

void endCall(fakejni::Vm& vm, const char* what, jobject result, bool injected,
             std::initializer_list<const char*> allowed) {
  fakejni::CallSummary summary = vm.endCall(result);
  std::ostringstream why;
  if (!summary.clean() || summary.unreleased != 0 || summary.localPeak > 32) {
    why << summary;
    stop(what, why.str());
  }
  fakejni::Pending p = vm.pending();
  if (p.set && !injected && p.className != "it/morvale/pkcs11/PKCS11Exception") {
    bool ok = false;
    for (const char* name : allowed) ok = ok || p.className == name;
    if (!ok) {
      why << "unexpected exception " << p;
      stop(what, why.str());
    }
  }
  vm.clearPending();
  vm.clearFailures();
}

}  // namespace fuzz
