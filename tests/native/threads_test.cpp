// Eight threads call the bridge's entry points at once, each with its own
// session on the recording module, while one of them switches tracing on.
// One fake VM serves them all, as one Java VM serves all Java threads. Built
// under ThreadSanitizer (build/linux-tsan), where any race reported fails
// the run, and under AddressSanitizer (build/linux-asan).
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakejni.h"
#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Slot.h"
#include "jvm.h"
#include "support.h"

namespace {

// Every thread waits here after each round; the last to arrive runs
// `between` while the others wait, then all go on together.
class Barrier {
 public:
  explicit Barrier(int n) : n_(n) {}
  template <typename F>
  void wait(F between) {
    int phase = phase_.load();
    if (arrived_.fetch_add(1) + 1 == n_) {
      between();
      arrived_.store(0);
      phase_.fetch_add(1);
    } else {
      while (phase_.load() == phase) std::this_thread::yield();
    }
  }

 private:
  const int n_;
  std::atomic<int> arrived_{0};
  std::atomic<int> phase_{0};
};

const int kThreads = 8;
const int kRounds = 40;
const std::string kNat = "it/morvale/pkcs11/nat/";

// One thread's work and what went wrong in it; reported once the threads
// are joined, since standard output is then the trace log.
struct Worker {
  fakejni::Vm& vm;
  jlong module;
  jlong list;
  int index;
  JNIEnv* env = nullptr;
  std::vector<std::string> errors;
  int rounds = 0;  // completed

  // Where the threads meet before each round, so that all make their first
  // calls of a round together.
  Barrier* barrier;

  Worker(fakejni::Vm& v, jlong m, jlong l, int i, Barrier* b)
      : vm(v), module(m), list(l), index(i), barrier(b) {}

  void fail(const std::string& what) { errors.push_back(what); }

  // One native call on this thread: nothing left behind, no misuse.
  template <typename F>
  auto call(const char* what, F body) -> decltype(body()) {
    vm.beginCall();
    auto result = body();
    fakejni::CallSummary summary = vm.endCall(testsupport::toObject(result));
    if (!summary.clean() || summary.unreleased != 0 || summary.localPeak > 32) {
      std::ostringstream text;
      text << what << ": " << summary;
      fail(text.str());
    }
    return result;
  }

  template <typename F>
  void callVoid(const char* what, F body) {
    call(what, [&] {
      body();
      return 0;
    });
  }

  // The pending exception's class, cleared; empty when none.
  std::string thrown() {
    fakejni::Pending p = vm.pending();
    vm.clearPending();
    return p.set ? p.className : "";
  }

  void expectNothingThrown(const char* what) {
    std::string cls = thrown();
    if (!cls.empty()) fail(std::string(what) + " threw " + cls);
  }

  void run(const char* modulePath) {
    env = vm.env();  // this thread's own
    jobject p11 = vm.newObject(kNat + "NativePKCS11");
    jobject slot = vm.newObject(kNat + "NativePKCS11Slot");
    vm.setIntField(slot, "slotID", 0);
    barrier->wait([] {});
    jobject session = call("openSession", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_openSession(env, slot, list, 0x6);
    });
    expectNothingThrown("openSession");
    for (int round = 0; round < kRounds; ++round) {
      // Before each round the bridge forgets what it looked up, as when its
      // class loader goes, so that the lookups it remembers are made anew
      // in all threads at once (a race there shows then, if ever).
      barrier->wait([this] { vm.unloadLibrary(JNI_OnUnload); });
      // Every load with PKCS11_ZOR_DEBUG set switches tracing on again,
      // here while the other threads are at work.
      if (index == 0 && round > 0) switchTracingOn(p11, modulePath);
      if (session != nullptr) work(p11, slot, session, round);
    }
    if (session == nullptr) return;
    callVoid("close",
             [&] { Java_it_morvale_pkcs11_nat_NativePKCS11Session_close(env, session, list); });
    expectNothingThrown("close");
  }

  // Loads the module again with PKCS11_ZOR_DEBUG set, so that the trace
  // switch runs while the others trace.
  void switchTracingOn(jobject p11, const char* modulePath) {
    jstring path = vm.newString(modulePath);
    call("loadPKCS11Library",
         [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11, path); });
    expectNothingThrown("loadPKCS11Library");
  }

  void work(jobject p11, jobject slot, jobject session, int round) {
    call("getInfo",
         [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, p11, list); });
    call("getSlotList", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(env, p11, list, JNI_TRUE);
    });
    call("getTokenInfo",
         [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenInfo(env, slot, list); });
    call("getMechanismList", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismList(env, slot, list);
    });
    call("session getInfo", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_getInfo(env, session, list);
    });
    expectNothingThrown("information calls");

    // An object of this thread's own, read back, renamed and found again.
    std::string label = "thread " + std::to_string(index) + " round " + std::to_string(round);
    jintArray types = vm.newInts({CKA_CLASS, CKA_TOKEN, CKA_LABEL, CKA_VALUE});
    jobjectArray values = vm.newObjectArray(
        "java/lang/Object",
        {vm.newInteger(0), vm.newBoolean(false), vm.newString(label), vm.newBytes({index, round})});
    jobject object = call("createObject", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_createObject(env, session, list, types,
                                                                         values);
    });
    expectNothingThrown("createObject");
    if (object == nullptr) return;
    jobject read = call("getAttributeValue", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getAttributeValue(env, object, list,
                                                                             CKA_LABEL);
    });
    if (read == nullptr || vm.stringOf(read) != label) fail("label read back: not " + label);
    std::string renamed = label + " renamed";
    jstring renamedText = vm.newString(renamed);
    callVoid("setAttributeValue", [&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValue(env, object, list, CKA_LABEL,
                                                                      renamedText);
    });
    jintArray searchTypes = vm.newInts({CKA_LABEL});
    jobjectArray searchValues = vm.newObjectArray("java/lang/Object", {renamedText});
    callVoid("findObjectsInit", [&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObjectsInit(env, session, list,
                                                                     searchTypes, searchValues);
    });
    jobject found = call("findObject", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObject(env, session, list);
    });
    if (found == nullptr || vm.intField(found, "objectID") != vm.intField(object, "objectID"))
      fail("search for " + renamed + " did not find its object");
    callVoid("findObjectsFinal", [&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObjectsFinal(env, session, list);
    });
    expectNothingThrown("object calls");

    // A signature with a key of this thread's.
    jintArray keyTypes = vm.newInts({CKA_CLASS, CKA_VALUE, CKA_SIGN});
    jobjectArray keyValues = vm.newObjectArray(
        "java/lang/Object", {vm.newInteger(4), vm.newBytes({index + 1}), vm.newBoolean(true)});
    jobject key = call("createObject key", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_createObject(env, session, list,
                                                                         keyTypes, keyValues);
    });
    jbyteArray data = vm.newBytes({1, 2, 3});
    callVoid("signInit", [&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_signInit(env, session, list, CKM_RSA_PKCS,
                                                              nullptr, key);
    });
    jint needed = call("sign", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(env, session, list, data, 0, 3,
                                                                 nullptr);
    });
    jbyteArray signature = vm.newBytes(fakejni::Bytes(needed > 0 ? needed : 0));
    jint length = call("sign", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(env, session, list, data, 0, 3,
                                                                 signature);
    });
    expectNothingThrown("signature");
    // The recording module signs with the key's first byte: this thread's.
    fakejni::Bytes bytes = vm.bytesOf(signature);
    if (length != 256 || bytes.size() != 256 || bytes[0] != (1 ^ (index + 1)))
      fail("signature made with another key");

    // A call that throws.
    call("getIntAttributeValue", [&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Object_getIntAttributeValue(env, object, list,
                                                                                0x90);
    });
    if (thrown() != "it/morvale/pkcs11/PKCS11Exception") fail("a missing attribute did not throw");

    callVoid("destroy", [&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, object, list);
      Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, key, list);
    });
    expectNothingThrown("destroy");
    ++rounds;
  }
};

TEST(Threads, EightThreadsWithTheirOwnSessionsWhileTracingSwitchesOn) {
  testsupport::Recorder& qrec = testsupport::Recorder::at(QREC_MODULE);
  qrec.clear();
  qrec.reset();
  qrec.set("SLOTS", "1");
  qrec.set("SOAK", "1");  // no journal: eight threads would fill it for nothing
  unsetenv("PKCS11_ZOR_DEBUG");

  fakejni::Vm vm;
  JNIEnv* env = vm.env();
  jobject p11 = vm.newObject(kNat + "NativePKCS11");
  jstring path = vm.newString(QREC_MODULE);
  vm.beginCall();
  jlong module = Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11, path);
  jlong list = Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, p11, module);
  Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, p11, list);
  ASSERT_TRUE(vm.endCall().clean());
  ASSERT_FALSE(vm.pending().set) << vm.pending();

  // Tracing sends standard output to the trace log for good: keep the
  // test's own output to come back to.
  fflush(stdout);
  int savedStdout = dup(STDOUT_FILENO);
  setenv("PKCS11_ZOR_DEBUG", "", 1);
  std::vector<Worker> workers;
  Barrier barrier(kThreads);
  for (int i = 0; i < kThreads; ++i) workers.emplace_back(vm, module, list, i, &barrier);
  std::vector<std::thread> threads;
  for (Worker& w : workers) threads.emplace_back([&w] { w.run(QREC_MODULE); });
  for (std::thread& t : threads) t.join();
  fflush(stdout);
  dup2(savedStdout, STDOUT_FILENO);
  close(savedStdout);
  unsetenv("PKCS11_ZOR_DEBUG");

  for (const Worker& w : workers) {
    for (const std::string& e : w.errors) ADD_FAILURE() << "thread " << w.index << ": " << e;
    EXPECT_EQ(kRounds, w.rounds) << "thread " << w.index;
  }
  EXPECT_TRUE(vm.violations().empty()) << vm.violations().size() << " violations";
  EXPECT_TRUE(vm.unloadLibrary(JNI_OnUnload).clean());
  EXPECT_EQ(0, vm.liveGlobals()) << "global references left behind";
  vm.beginCall();
  EXPECT_EQ(0L, Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, p11, module, list));
  vm.endCall();
  qrec.clear();
}

}  // namespace
