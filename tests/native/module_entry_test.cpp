// The native methods of NativePKCS11, called as the VM calls them, through
// the exported functions of the built library and a fake JNI environment,
// against the recording module.
#include <string.h>

#include <string>
#include <vector>

#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "jvm.h"
#include "support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using testsupport::Recorder;

namespace {

const char kSlotClass[] = "it/morvale/pkcs11/nat/NativePKCS11Slot";

class ModuleEntry : public testsupport::Jvm {
 protected:
  void SetUp() override {
    rec.reset();
    rec.clear();
    self = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
  }
  void TearDown() override {
    rec.clear();
    if (list != 0) Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, module, list);
  }

  jlong load(const std::string& path) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, self, newString(path));
    });
  }

  // Loads, binds and initialises the recording module.
  void start() {
    module = load(QREC_MODULE);
    ASSERT_NE(0, module);
    list = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self, module);
    });
    ASSERT_NE(0, list);
    callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, list); });
    expectNothingPending();
    rec.journalClear();
  }

  jobject getInfo(jlong handle) {
    return call([&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, self, handle); });
  }

  jobjectArray getSlotList(jboolean present) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(env, self, list, present);
    });
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  jobject self = nullptr;
  jlong module = 0;
  jlong list = 0;
};

TEST_F(ModuleEntry, LifecycleOnTheRecordingModule) {
  start();
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, list); });
  EXPECT_EQ(static_cast<long long>(CKR_CRYPTOKI_ALREADY_INITIALIZED), thrownCode());
  jlong rv = call(
      [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, module, list); });
  EXPECT_EQ(0, rv);
  rv =
      call([&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, 0, list); });
  EXPECT_EQ(static_cast<jlong>(CKR_CRYPTOKI_NOT_INITIALIZED), rv) << "returned, not thrown";
  expectNothingPending();
  rv = call([&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, 0, 0); });
  EXPECT_EQ(0x80000003LL, rv);
  list = 0;
}

TEST_F(ModuleEntry, LoadingFailures) {
  EXPECT_EQ(0, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, self, nullptr);
            }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());

  EXPECT_EQ(0, load("/nonexistent/module.so"));
  EXPECT_EQ("Internal error", thrownMessage());

  // A NUL inside the path (modified UTF-8 C0 80) names no file: the path is
  // not cut short at it (on Windows "qrec" alone would load qrec.dll).
  EXPECT_EQ(0, load(std::string("qrec") + "\xc0\x80" + "-rest"));
  EXPECT_EQ("Internal error", thrownMessage());

  // The VM cannot give the path's characters: its own error is what Java sees.
  vm.failNext("GetStringUTFChars");
  EXPECT_EQ(0, load(QREC_MODULE));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());

  jlong notCryptoki = load(QNOTP11_MODULE);
  ASSERT_NE(0, notCryptoki);
  EXPECT_EQ(0, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self,
                                                                                 notCryptoki);
            }));
  EXPECT_EQ("Internal error", thrownMessage());

  jlong recording = load(QREC_MODULE);
  rec.set("GETFUNCTIONLIST", "0x6");
  EXPECT_EQ(0, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self,
                                                                                 recording);
            }));
  EXPECT_EQ(6, thrownCode());
  rec.set("GETFUNCTIONLIST", "null");
  call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self, recording);
  });
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(ModuleEntry, InitialisationFailures) {
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, 0); });
  EXPECT_EQ("Internal error", thrownMessage());
  module = load(QREC_MODULE);
  jlong bound = call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self, module);
  });
  rec.set("RV_C_Initialize", "0x5");
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, bound); });
  EXPECT_EQ(5, thrownCode());
  rec.set("RV_C_Initialize", nullptr);
  rec.set("NULLFN", "C_Initialize");
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, bound); });
  EXPECT_EQ("Internal error", thrownMessage());
  // The exception class itself cannot be found: the VM's error stands.
  vm.failNext("FindClass");
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, bound); });
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
}

TEST_F(ModuleEntry, UnsupportedAndVersion) {
  EXPECT_EQ(0, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_waitForSlotEvent(env, self, 0, 0);
            }));
  EXPECT_EQ("Not supported", thrownMessage());
  jstring version =
      call([&] { return Java_it_morvale_pkcs11_nat_NativePKCS11_getBridgeVersion(env, self); });
  EXPECT_EQ("2.00", vm.stringOf(version));
  vm.failNext("NewStringUTF");
  EXPECT_EQ(nullptr, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_getBridgeVersion(env, self);
            }));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(ModuleEntry, InfoKeepsPaddingAndVersions) {
  rec.set("INFO_MANUFACTURER", "ACME");
  rec.set("INFO_VERSION", "2.20");
  rec.set("INFO_LIBVERSION", "1.0");
  rec.set("INFO_FLAGS", "0x80000001");
  start();
  jobject info = getInfo(list);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("it/morvale/pkcs11/PKCS11Info", vm.classNameOf(info));
  std::vector<fakejni::Value> args = vm.ctorArgs(info);
  ASSERT_EQ(5u, args.size());
  EXPECT_EQ(532, args[0].i);
  EXPECT_EQ("ACME" + std::string(28, ' '), vm.stringOf(args[1].ref));
  EXPECT_EQ(static_cast<jint>(0x80000001UL), static_cast<jint>(args[2].i));
  EXPECT_EQ(32u, vm.stringOf(args[3].ref).size());
  EXPECT_EQ(256, args[4].i);
}

TEST_F(ModuleEntry, InfoFailures) {
  start();
  rec.set("RV_C_GetInfo", "0xa0");
  EXPECT_EQ(nullptr, getInfo(list));
  EXPECT_EQ(0xA0, thrownCode());
  rec.set("RV_C_GetInfo", "0x80000000");
  EXPECT_EQ(nullptr, getInfo(list));
  EXPECT_EQ("Internal error", thrownMessage());
  rec.set("RV_C_GetInfo", nullptr);
  EXPECT_EQ(nullptr, getInfo(0));
  EXPECT_EQ("Internal error", thrownMessage());

  // Each Java-side failure leaves only the VM's own error pending.
  const char* failures[] = {"FindClass", "GetMethodID", "NewObject"};
  const char* errors[] = {"java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError",
                          "java/lang/OutOfMemoryError"};
  for (int i = 0; i < 3; ++i) {
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, getInfo(list)) << failures[i];
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
  }
  // A text field that cannot become a String: no object is made with the
  // VM's error pending.
  vm.failNext("NewStringUTF");
  EXPECT_EQ(nullptr, getInfo(list));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(ModuleEntry, SlotListBuildsOneSlotObjectPerSlot) {
  rec.set("SLOT_IDS", "0x0,0x7,0x80000001");
  start();
  jobjectArray slots = getSlotList(JNI_FALSE);
  ASSERT_NE(nullptr, slots);
  std::vector<jobject> elements = vm.arrayElements(slots);
  ASSERT_EQ(3u, elements.size());
  const jint expected[] = {0, 7, static_cast<jint>(0x80000001UL)};
  for (size_t i = 0; i < elements.size(); ++i) {
    EXPECT_EQ(kSlotClass, vm.classNameOf(elements[i]));
    EXPECT_EQ(expected[i], vm.intField(elements[i], "slotID"));
    EXPECT_TRUE(vm.sameObject(self, vm.objectField(elements[i], "module")));
  }
  std::vector<std::string> calls = rec.journal("C_GetSlotList");
  ASSERT_EQ(2u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("tokenPresent=0x0")) << calls[0];
}

TEST_F(ModuleEntry, SlotListOfAThousandSlotsKeepsFewLocalReferences) {
  rec.set("SLOTS", "1000");
  start();
  vm.beginCall();
  jobjectArray slots =
      Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(env, self, list, JNI_TRUE);
  fakejni::CallSummary summary = vm.endCall(slots);
  EXPECT_TRUE(summary.clean()) << summary;
  EXPECT_LE(summary.localPeak, 8) << "each slot's reference is deleted once stored";
  ASSERT_EQ(1000u, vm.arrayElements(slots).size());
  EXPECT_EQ(999, vm.intField(vm.arrayElements(slots)[999], "slotID"));
}

TEST_F(ModuleEntry, SlotListFailures) {
  rec.set("SLOTS", "0");
  start();
  EXPECT_EQ(nullptr, getSlotList(JNI_TRUE));
  expectNothingPending();

  rec.set("SLOTS", "3");
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, module, list); });
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, list); });
  rec.set("RV_C_GetSlotList", "0x30");
  EXPECT_EQ(nullptr, getSlotList(JNI_FALSE));
  EXPECT_EQ(0x30, thrownCode());
  rec.set("RV_C_GetSlotList", nullptr);
  if (sizeof(CK_ULONG) == sizeof(size_t)) {
    // No buffer can be sized for this count.
    rec.set("SLOTLIST_COUNT", "0xffffffffffffffff");
    EXPECT_EQ(nullptr, getSlotList(JNI_FALSE));
    EXPECT_EQ("Internal error", thrownMessage());
    rec.set("SLOTLIST_COUNT", nullptr);
  }

  vm.failNext("NewObjectArray");
  EXPECT_EQ(nullptr, getSlotList(JNI_FALSE));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("NewObject", 3);
  EXPECT_EQ(nullptr, getSlotList(JNI_FALSE)) << "the third slot cannot be made";
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("SetObjectArrayElement");
  EXPECT_EQ(nullptr, getSlotList(JNI_FALSE));
  EXPECT_FALSE(thrownClass().empty());
}

TEST_F(ModuleEntry, RsaCredentialLookupAlwaysFailsWithAllBitsSet) {
  auto lookup = [&](jstring alias, jstring pin) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_getRSAcredential(env, self, 0, alias, -1, pin);
    });
  };
  for (jstring pin : {newString("1234"), static_cast<jstring>(nullptr)}) {
    EXPECT_EQ(nullptr, lookup(newString("signing key"), pin));
    fakejni::Pending p = vm.pending();
    vm.clearPending();
    EXPECT_EQ("it/morvale/pkcs11/PKCS11Exception", p.className);
    ASSERT_EQ(2u, p.ctorArgs.size()) << "built with the code and the flag: " << p;
    EXPECT_EQ('I', p.ctorArgs[0].type);
    EXPECT_EQ(-1, p.ctorArgs[0].i);
    EXPECT_EQ('Z', p.ctorArgs[1].type);
    EXPECT_EQ(1, p.ctorArgs[1].i);
  }

  EXPECT_EQ(nullptr, lookup(nullptr, newString("1234")));
  EXPECT_EQ("Internal error: utf_alias == NULL", thrownMessage());
  // Texts the VM cannot give: its own error stands, and the alias taken
  // before the PIN is released (call() checks that nothing stays pinned).
  vm.failNext("GetStringUTFChars");
  EXPECT_EQ(nullptr, lookup(newString("a"), newString("1234")));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetStringUTFChars", 2);
  EXPECT_EQ(nullptr, lookup(newString("a"), newString("1234")));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("FindClass");
  EXPECT_EQ(nullptr, lookup(newString("a"), nullptr));
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
}

TEST_F(ModuleEntry, ModulePathsWithNonAsciiCharactersLoad) {
  // A folder whose name holds characters outside ASCII, given to the bridge
  // as the VM gives it: modified UTF-8.
  std::string folder =
      "m\xc3\xb3"
      "dulo-\xc3\xbc-\xe2\x82\xac";
#ifdef _WIN32
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring dir(exe);
  dir = dir.substr(0, dir.find_last_of(L"\\/"));
  std::wstring target = dir + L"\\m\u00f3dulo-\u00fc-\u20ac";
  CreateDirectoryW(target.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((dir + L"\\qrec.dll").c_str(), (target + L"\\qrec.dll").c_str(), FALSE));
  char utf8[4 * MAX_PATH];
  WideCharToMultiByte(CP_UTF8, 0, target.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::string path = std::string(utf8) + "\\qrec.dll";
  // The same bytes read in the ANSI code page name no such file.
  EXPECT_EQ(nullptr, LoadLibraryA(path.c_str()));
#else
  std::string source = QREC_MODULE;
  std::string dir = source.substr(0, source.rfind('/')) + "/" + folder;
  std::string path = dir + "/libqrec.so";
  ASSERT_EQ(0, system(("mkdir -p '" + dir + "' && cp '" + source + "' '" + path + "'").c_str()));
#endif
  jlong loaded = load(path);
  ASSERT_NE(0, loaded);
  expectNothingPending();
  EXPECT_NE(0, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self, loaded);
            }));
}

}  // namespace
