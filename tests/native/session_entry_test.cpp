// The native methods of NativePKCS11Session, called as the VM calls them,
// through the exported functions of the built library and a fake JNI
// environment, against the recording module.
#include <stdint.h>

#include <string>
#include <vector>

#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "jvm.h"
#include "support.h"

using testsupport::CaptureStdout;
using testsupport::Recorder;

#define SESSION(name) Java_it_morvale_pkcs11_nat_NativePKCS11Session_##name

namespace {

const char kSessionClass[] = "it/morvale/pkcs11/nat/NativePKCS11Session";
const char kObjectClass[] = "it/morvale/pkcs11/nat/NativePKCS11Object";

// A CK_ULONG as the journal writes its value bytes (native byte order).
std::string ulongBytes(CK_ULONG value) {
  return testsupport::hex(&value, sizeof value);
}
std::string ulongLen() {
  return sizeof(CK_ULONG) == 8 ? "0x8" : "0x4";
}
bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SessionEntry : public testsupport::Jvm {
 protected:
  void SetUp() override {
    rec.reset();
    rec.clear();
  }
  void TearDown() override {
    rec.clear();
    if (list != 0) Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, p11, module, list);
  }

  // Loads, binds and initialises the recording module and opens a read-write
  // session on its first slot, straight through the function list.
  void start() {
    p11 = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
    module = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11,
                                                                       newString(QREC_MODULE));
    });
    ASSERT_NE(0, module);
    list = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, p11, module);
    });
    ASSERT_NE(0, list);
    callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, p11, list); });
    self = openSession(CKF_SERIAL_SESSION | CKF_RW_SESSION);
    rec.journalClear();
  }

  jobject openSession(CK_FLAGS flags) {
    CK_FUNCTION_LIST* functions = reinterpret_cast<CK_FUNCTION_LIST*>(static_cast<intptr_t>(list));
    CK_SESSION_HANDLE handle = 0;
    EXPECT_EQ(CKR_OK, functions->C_OpenSession(0, flags, nullptr, nullptr, &handle));
    jobject session = vm.newObject(kSessionClass);
    vm.setIntField(session, "sessionID", static_cast<jint>(handle));
    return session;
  }

  // The last journal line of one function, "" when it was not called.
  std::string last(const std::string& function) {
    std::vector<std::string> lines = rec.journal(function);
    return lines.empty() ? "" : lines.back();
  }
  size_t count(const std::string& function) { return rec.journal(function).size(); }

  // What `body` printed to standard output.
  template <typename F>
  static std::string printedBy(F body) {
    CaptureStdout out;
    body();
    return out.text();
  }

  void login(jboolean so, const char* pin) {
    callVoid([&] { SESSION(login)(env, self, list, so, pin ? newString(pin) : nullptr); });
  }
  jobject createObject(const std::vector<jint>& types, const std::vector<jobject>& values) {
    jintArray typeArray = vm.newInts(types);
    jobjectArray valueArray = vm.newObjectArray("java/lang/Object", values);
    return call([&] { return SESSION(createObject)(env, self, list, typeArray, valueArray); });
  }
  jobject labelled(const char* label) {
    return createObject({CKA_LABEL, CKA_TOKEN}, {newString(label), vm.newBoolean(false)});
  }
  jobject findObject() {
    return call([&] { return SESSION(findObject)(env, self, list); });
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  jobject p11 = nullptr;
  jobject self = nullptr;
  jlong module = 0;
  jlong list = 0;
};

TEST_F(SessionEntry, LoginPassesUserTypesAndWholePins) {
  start();
  login(JNI_TRUE, "5678");
  EXPECT_EQ("C_Login hSession=0x1 userType=0x0 pPin=35363738 ulPinLen=0x4 -> 0x0", last("C_Login"));
  callVoid([&] { SESSION(logout)(env, self, list); });
  EXPECT_EQ("C_Logout hSession=0x1 -> 0x0", last("C_Logout"));

  login(JNI_FALSE, "1234");
  EXPECT_EQ("C_Login hSession=0x1 userType=0x1 pPin=31323334 ulPinLen=0x4 -> 0x0", last("C_Login"));
  callVoid([&] { SESSION(loginContextSpecific)(env, self, list, newString("1234")); });
  EXPECT_EQ("C_Login hSession=0x1 userType=0x2 pPin=31323334 ulPinLen=0x4 -> 0x0", last("C_Login"));
  expectNothingPending();

  // A U+0000 character is two bytes of modified UTF-8: the whole PIN passes.
  callVoid([&] {
    SESSION(loginContextSpecific)(env, self, list, newString(std::string("12\xc0\x80", 4)));
  });
  EXPECT_EQ(0xA0, thrownCode());
  EXPECT_TRUE(contains(last("C_Login"), "pPin=3132c080 ulPinLen=0x4")) << last("C_Login");

  callVoid([&] { SESSION(logout)(env, self, list); });
  login(JNI_FALSE, "");
  EXPECT_EQ(0xA0, thrownCode()) << "a wrong PIN is the module's CKR_PIN_INCORRECT";
  EXPECT_EQ("C_Login hSession=0x1 userType=0x1 pPin= ulPinLen=0x0 -> 0xa0", last("C_Login"));
  callVoid([&] { SESSION(logout)(env, self, list); });
  EXPECT_EQ(0x101, thrownCode()) << "CKR_USER_NOT_LOGGED_IN";
}

TEST_F(SessionEntry, ProtectedAuthenticationPathPassesNoPin) {
  rec.set("TOKEN_FLAGS", "0x50d");
  start();
  callVoid([&] { SESSION(loginAuthPath)(env, self, list, JNI_FALSE); });
  expectNothingPending();
  EXPECT_EQ("C_Login hSession=0x1 userType=0x1 pPin=NULL ulPinLen=0x0 -> 0x0", last("C_Login"));
  rec.set("TOKEN_FLAGS", "0x40d");
  callVoid([&] { SESSION(logout)(env, self, list); });
  callVoid([&] { SESSION(loginAuthPath)(env, self, list, JNI_TRUE); });
  EXPECT_EQ(0x7, thrownCode()) << "CKR_ARGUMENTS_BAD without a protected path";
  EXPECT_EQ("C_Login hSession=0x1 userType=0x0 pPin=NULL ulPinLen=0x0 -> 0x7", last("C_Login"));
}

TEST_F(SessionEntry, PinsInitialisedAndChanged) {
  start();
  login(JNI_TRUE, "5678");
  callVoid([&] { SESSION(initPIN)(env, self, list, newString("4321")); });
  expectNothingPending();
  EXPECT_EQ("C_InitPIN hSession=0x1 pPin=34333231 ulPinLen=0x4 -> 0x0", last("C_InitPIN"));
  callVoid([&] { SESSION(logout)(env, self, list); });
  callVoid([&] { SESSION(setPIN)(env, self, list, newString("4321"), newString("876543")); });
  expectNothingPending();
  EXPECT_EQ(
      "C_SetPIN hSession=0x1 pOldPin=34333231 ulOldLen=0x4 pNewPin=383736353433 ulNewLen=0x6 -> "
      "0x0",
      last("C_SetPIN"));
  login(JNI_FALSE, "876543");
  expectNothingPending();
  callVoid([&] { SESSION(initPIN)(env, self, list, newString("1111")); });
  EXPECT_EQ(0x101, thrownCode()) << "C_InitPIN needs the Security Officer";
}

TEST_F(SessionEntry, PinTextsThatCannotBeHadNeverReachTheModule) {
  start();
  login(JNI_FALSE, nullptr);
  EXPECT_EQ("Internal error: utf_str == NULL", thrownMessage());
  callVoid([&] { SESSION(loginContextSpecific)(env, self, list, nullptr); });
  EXPECT_EQ("Internal error: utf_str == NULL", thrownMessage());
  vm.failNext("GetStringUTFChars");
  login(JNI_FALSE, "1234");
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass()) << "the VM's own error stands";

  callVoid([&] { SESSION(initPIN)(env, self, list, nullptr); });
  EXPECT_EQ("Internal error: newPinStr == NULL", thrownMessage());
  callVoid([&] { SESSION(setPIN)(env, self, list, nullptr, newString("1")); });
  EXPECT_EQ("Internal error: oldPinStr == NULL", thrownMessage());
  // The old PIN was taken: it is released (the call summary checks it).
  callVoid([&] { SESSION(setPIN)(env, self, list, newString("1234"), nullptr); });
  EXPECT_EQ("Internal error: newPinStr == NULL", thrownMessage());
  vm.failNth("GetStringUTFChars", 2);
  callVoid([&] { SESSION(setPIN)(env, self, list, newString("1234"), newString("1")); });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_EQ(0u, rec.journal().size()) << rec.journal()[0];
}

TEST_F(SessionEntry, SessionInfoAndClose) {
  rec.set("DEVICE_ERROR", "0xffffffffffffffff");
  start();
  login(JNI_FALSE, "1234");
  jobject info = call([&] { return SESSION(getInfo)(env, self, list); });
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("it/morvale/pkcs11/PKCS11SessionInfo", vm.classNameOf(info));
  std::vector<fakejni::Value> args = vm.ctorArgs(info);
  ASSERT_EQ(3u, args.size());
  EXPECT_EQ(CKS_RW_USER_FUNCTIONS, static_cast<CK_ULONG>(args[0].i));
  EXPECT_EQ(CKF_SERIAL_SESSION | CKF_RW_SESSION, static_cast<CK_ULONG>(args[1].i));
  EXPECT_EQ(-1, args[2].i) << "an all-ones device error";

  const char* failures[] = {"FindClass", "GetMethodID", "NewObject"};
  const char* errors[] = {"java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError",
                          "java/lang/OutOfMemoryError"};
  for (int i = 0; i < 3; ++i) {
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, call([&] { return SESSION(getInfo)(env, self, list); }));
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
  }

  callVoid([&] { SESSION(close)(env, self, list); });
  expectNothingPending();
  EXPECT_EQ("C_CloseSession hSession=0x1 -> 0x0", last("C_CloseSession"));
  EXPECT_EQ(nullptr, call([&] { return SESSION(getInfo)(env, self, list); }));
  EXPECT_EQ(0xB3, thrownCode()) << "CKR_SESSION_HANDLE_INVALID";
  callVoid([&] { SESSION(close)(env, self, list); });
  EXPECT_EQ(0xB3, thrownCode());
  EXPECT_EQ(1, vm.intField(self, "sessionID")) << "the Java object keeps its handle";
}

TEST_F(SessionEntry, HandlesAndFunctionListFailures) {
  start();
  // Handles are widened without sign.
  vm.setIntField(self, "sessionID", -5);
  callVoid([&] { SESSION(logout)(env, self, list); });
  EXPECT_EQ(0xB3, thrownCode());
  EXPECT_EQ("C_Logout hSession=0xfffffffb -> 0xb3", last("C_Logout"));
  rec.journalClear();

  // No session object: nothing reaches the module.
  jobject none = nullptr;
  callVoid([&] { SESSION(close)(env, none, list); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  callVoid([&] { SESSION(login)(env, none, list, JNI_FALSE, newString("1234")); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  EXPECT_EQ(nullptr, call([&] { return SESSION(findObject)(env, none, list); }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  callVoid([&] { SESSION(setCardStatus)(env, none, list, 8); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  callVoid([&] { SESSION(setPIN4)(env, none, module, nullptr, 0, newString("1"), 1); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  EXPECT_TRUE(rec.journal().empty());

  // A zero list handle and a missing entry are the bridge's own codes.
  callVoid([&] { SESSION(logout)(env, self, 0); });
  EXPECT_EQ("Internal error", thrownMessage());
  rec.set("NULLFN", "C_Logout,C_FindObjects");
  callVoid([&] { SESSION(logout)(env, self, list); });
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, findObject());
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SessionEntry, SearchYieldsOneObjectPerCall) {
  start();
  for (const char* label : {"a", "b", "c"}) ASSERT_NE(nullptr, labelled(label));
  rec.journalClear();

  callVoid([&] { SESSION(findObjectsInit)(env, self, list, nullptr, nullptr); });
  expectNothingPending();
  EXPECT_EQ("C_FindObjectsInit hSession=0x1 pTemplate=NULL ulCount=0x0 -> 0x0",
            last("C_FindObjectsInit"));
  for (jint handle = 1; handle <= 3; ++handle) {
    jobject found = findObject();
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(kObjectClass, vm.classNameOf(found));
    EXPECT_EQ(handle, vm.intField(found, "objectID"));
    EXPECT_TRUE(vm.sameObject(self, vm.objectField(found, "session")));
  }
  EXPECT_EQ(nullptr, findObject());
  expectNothingPending();
  std::vector<std::string> steps = rec.journal("C_FindObjects");
  ASSERT_EQ(4u, steps.size());
  for (const std::string& step : steps) EXPECT_TRUE(contains(step, "ulMaxObjectCount=0x1")) << step;
  callVoid([&] { SESSION(findObjectsFinal)(env, self, list); });
  expectNothingPending();
  callVoid([&] { SESSION(findObjectsFinal)(env, self, list); });
  EXPECT_EQ(0x91, thrownCode()) << "CKR_OPERATION_NOT_INITIALIZED";

  // Empty arrays: a template of no attributes, matching everything.
  jintArray noTypes = vm.newInts({});
  jobjectArray noValues = vm.newObjectArray("java/lang/Object", {});
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, noTypes, noValues); });
  EXPECT_EQ("C_FindObjectsInit hSession=0x1 pTemplate=[] ulCount=0x0 -> 0x0",
            last("C_FindObjectsInit"));
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, noTypes, noValues); });
  EXPECT_EQ(0x90, thrownCode()) << "CKR_OPERATION_ACTIVE";
  callVoid([&] { SESSION(findObjectsFinal)(env, self, list); });

  // By label: only "b".
  jintArray types = vm.newInts({CKA_LABEL});
  jobjectArray values = vm.newObjectArray("java/lang/Object", {newString("b")});
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, types, values); });
  EXPECT_TRUE(
      contains(last("C_FindObjectsInit"), "pTemplate=[{type=0x3,len=0x1,val=62}] ulCount=0x1"));
  EXPECT_EQ(std::vector<int>{JNI_ABORT}, vm.releaseModes(types));
  jobject b = findObject();
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(2, vm.intField(b, "objectID"));
  EXPECT_EQ(nullptr, findObject());
}

TEST_F(SessionEntry, SearchFailures) {
  start();
  jintArray two = vm.newInts({CKA_LABEL, CKA_TOKEN});
  jobjectArray one = vm.newObjectArray("java/lang/Object", {newString("x")});
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, two, one); });
  EXPECT_EQ("Different array length", thrownMessage());
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, two, nullptr); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  jobjectArray unconvertible =
      vm.newObjectArray("java/lang/Object", {newString("x"), vm.newLong(1)});
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, two, unconvertible); });
  expectNothingPending();
  EXPECT_EQ(0u, count("C_FindObjectsInit"));

  rec.set("RV_C_FindObjectsInit", "0x5");
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, nullptr, nullptr); });
  EXPECT_EQ(5, thrownCode());
  rec.set("RV_C_FindObjectsInit", nullptr);
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, nullptr, nullptr); });
  rec.set("RV_C_FindObjects", "0x30");
  EXPECT_EQ(nullptr, findObject());
  EXPECT_EQ(0x30, thrownCode());
  rec.set("RV_C_FindObjects", nullptr);

  // A found object that cannot be made: null with the VM's error.
  ASSERT_NE(nullptr, labelled("x"));
  callVoid([&] { SESSION(findObjectsFinal)(env, self, list); });
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, nullptr, nullptr); });
  vm.failNext("NewObject");
  EXPECT_EQ(nullptr, findObject());
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(SessionEntry, CreateObjectPassesTheTemplateAndWrapsTheHandle) {
  rec.set("OBJECT_BASE", "0xffffffff");
  start();
  jobject made = createObject({CKA_CLASS, CKA_LABEL, CKA_TOKEN},
                              {vm.newInteger(-1), newString("hello"), vm.newBoolean(false)});
  ASSERT_NE(nullptr, made);
  EXPECT_EQ(-1, vm.intField(made, "objectID")) << "the highest handle, as a negative int";
  EXPECT_TRUE(vm.sameObject(self, vm.objectField(made, "session")));
  EXPECT_EQ("C_CreateObject hSession=0x1 pTemplate=[{type=0x0,len=" + ulongLen() +
                ",val=" + ulongBytes(~CK_ULONG(0)) +
                "},{type=0x3,len=0x5,val=68656c6c6f},{type=0x1,len=0x1,val=00}] ulCount=0x3 "
                "phObject=out -> 0x0",
            last("C_CreateObject"));

  // The next handle, 2^32 where CK_ULONG has 64 bits, would come back from
  // Java as 0: no Java object, and the module's object stays.
  if (sizeof(CK_ULONG) == 8) {
    EXPECT_EQ(nullptr, createObject({CKA_LABEL}, {newString("wide")}));
    EXPECT_EQ("Internal error: handle out of range", thrownMessage());
    EXPECT_TRUE(contains(last("C_CreateObject"), "-> 0x0"));
    EXPECT_EQ(0u, count("C_DestroyObject"));
  }

  // No attributes at all: the module is still asked, and its answer thrown.
  rec.set("RV_C_CreateObject", "0xd1");
  EXPECT_EQ(nullptr, createObject({}, {}));
  EXPECT_EQ(0xD1, thrownCode());
  EXPECT_EQ("C_CreateObject hSession=0x1 pTemplate=[] ulCount=0x0 phObject=out -> 0xd1",
            last("C_CreateObject"));
}

TEST_F(SessionEntry, CreateObjectFailures) {
  start();
  EXPECT_EQ(nullptr, createObject({CKA_LABEL, CKA_TOKEN},
                                  {newString("a"), vm.newBoolean(false), vm.newBoolean(true)}));
  EXPECT_EQ("Different array length", thrownMessage());
  // The second value is of no class the bridge converts: the first value's
  // block is freed (the sanitizers check it), nothing is thrown.
  EXPECT_EQ(nullptr, createObject({CKA_LABEL, CKA_VALUE}, {newString("a"), vm.newLong(7)}));
  expectNothingPending();
  EXPECT_EQ(nullptr,
            call([&] { return SESSION(createObject)(env, self, list, nullptr, nullptr); }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  EXPECT_EQ(0u, count("C_CreateObject"));

  // Created, but the Java object cannot be made: the object stays created.
  vm.failNext("NewObject");
  EXPECT_EQ(nullptr, labelled("kept"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(contains(last("C_CreateObject"), "-> 0x0"));
  callVoid([&] { SESSION(findObjectsInit)(env, self, list, nullptr, nullptr); });
  EXPECT_NE(nullptr, findObject());
}

TEST_F(SessionEntry, InstallCertificateBuildsItsFixedTemplate) {
  start();
  jbyteArray der = vm.newBytes({0x30, 0x03, 0x02, 0x01, 0x00});
  std::string printed;
  printed = printedBy([&] {
    callVoid([&] {
      SESSION(installCertificate)
      (env, self, list, 0x100000002LL, der, nullptr, newString("CN=subject"), newString("42"),
       newString("CN=issuer"), newString("my cert"));
    });
  });
  expectNothingPending();
  EXPECT_EQ(
      "JNI: start PKCS11Session.createObj... (ses=1)\n"
      "Label: my cert\nLabel: CN=subject\nLabel: 42\nLabel: CN=issuer\n",
      printed)
      << "printed with tracing off";
  // The first three values are one CK_ULONG each: 8 bytes on Linux, 4 on
  // Windows, where the vendor value 0x1_0000_0002 arrives as 2.
  std::string vendor = sizeof(CK_ULONG) == 8 ? "0200000001000000" : "02000000";
  EXPECT_EQ("C_CreateObject hSession=0x1 pTemplate=[{type=0x0,len=" + ulongLen() +
                ",val=" + ulongBytes(CKO_CERTIFICATE) + "},{type=0x80,len=" + ulongLen() + ",val=" +
                ulongBytes(CKC_X_509) + "},{type=0x80002000,len=" + ulongLen() + ",val=" + vendor +
                "},{type=0x11,len=0x5,val=3003020100},{type=0x3,len=0x7,val=6d792063657274},"
                "{type=0x101,len=0xa,val=434e3d7375626a656374},{type=0x82,len=0x2,val=3432},"
                "{type=0x81,len=0x9,val=434e3d697373756572}] ulCount=0x8 phObject=out -> 0x0",
            last("C_CreateObject"));
  EXPECT_EQ(std::vector<int>{0}, vm.releaseModes(der));

  rec.set("RV_C_CreateObject", "0xd1");
  {
    CaptureStdout out;
    callVoid([&] {
      SESSION(installCertificate)
      (env, self, list, 0, der, nullptr, newString(""), newString(""), newString(""),
       newString(""));
    });
    EXPECT_EQ(0xD1, thrownCode());
    EXPECT_EQ(
        "JNI: start PKCS11Session.createObj... (ses=1)\n"
        "Label: \nLabel: \nLabel: \nLabel: \nC_CreateObject fails.",
        out.text());
  }
}

TEST_F(SessionEntry, InstallCertificateRefusesMissingArguments) {
  start();
  jbyteArray der = vm.newBytes({1});
  auto install = [&](jbyteArray cert, jstring subject, jstring issuer) {
    CaptureStdout quiet;
    callVoid([&] {
      SESSION(installCertificate)
      (env, self, list, 0, cert, nullptr, subject, newString("1"), issuer, newString("l"));
    });
  };
  install(nullptr, newString("s"), newString("i"));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  install(der, nullptr, newString("i"));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  install(der, newString("s"), nullptr);
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  vm.failNext("GetByteArrayElements");
  install(der, newString("s"), newString("i"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetStringUTFChars", 3);
  install(der, newString("s"), newString("i"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_EQ(0u, count("C_CreateObject"));
}

TEST_F(SessionEntry, BytePinsPassEveryByte) {
  start();
  jbyteArray pin = vm.newBytes({'1', '2', 0, '4', '5', '6'});
  callVoid([&] { SESSION(loginellips)(env, self, list, JNI_FALSE, pin); });
  EXPECT_EQ(0xA0, thrownCode());
  EXPECT_EQ("C_Login hSession=0x1 userType=0x1 pPin=313200343536 ulPinLen=0x6 -> 0xa0",
            last("C_Login"));
  EXPECT_EQ(std::vector<int>{0}, vm.releaseModes(pin));
  callVoid([&] {
    SESSION(loginellips)(env, self, list, JNI_TRUE, vm.newBytes({'5', '6', '7', '8'}));
  });
  expectNothingPending();
  EXPECT_TRUE(contains(last("C_Login"), "userType=0x0 pPin=35363738 ulPinLen=0x4 -> 0x0"));

  jbyteArray oldPin = vm.newBytes({'5', '6', '7', '8'});
  jbyteArray newPin = vm.newBytes({9, 0, 9});
  callVoid([&] { SESSION(setPINellips)(env, self, list, oldPin, newPin); });
  expectNothingPending();
  EXPECT_EQ(
      "C_SetPIN hSession=0x1 pOldPin=35363738 ulOldLen=0x4 pNewPin=090009 ulNewLen=0x3 -> 0x0",
      last("C_SetPIN"));
  EXPECT_EQ(std::vector<int>{0}, vm.releaseModes(newPin));
  rec.journalClear();

  callVoid([&] { SESSION(loginellips)(env, self, list, JNI_FALSE, nullptr); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  callVoid([&] { SESSION(setPINellips)(env, self, list, oldPin, nullptr); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  vm.failNext("GetByteArrayElements");
  callVoid([&] { SESSION(loginellips)(env, self, list, JNI_FALSE, pin); });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetByteArrayElements", 2);
  callVoid([&] { SESSION(setPINellips)(env, self, list, oldPin, newPin); });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());
}

TEST_F(SessionEntry, VendorPinFunctionsReceiveTextsAndLengthsAsGiven) {
  start();
  callVoid([&] {
    SESSION(initPIN4)(env, self, module, nullptr, 0, newString("4321"), 99, 511, -1);
  });
  expectNothingPending();
  EXPECT_EQ(
      "C_InitPIN4 hSession=0x1 puk=NULL pukLen=0x0 newPin=34333231 newPinLen=0x63 option1=0xff "
      "option2=0xff -> 0x0",
      last("C_InitPIN4"));
  callVoid([&] {
    SESSION(initPIN4)(env, self, module, newString("5678"), -1, newString("11"), 2, 0x100, 7);
  });
  expectNothingPending();
  std::string allOnes = sizeof(CK_ULONG) == 8 ? "0xffffffffffffffff" : "0xffffffff";
  EXPECT_EQ("C_InitPIN4 hSession=0x1 puk=35363738 pukLen=" + allOnes +
                " newPin=3131 newPinLen=0x2 option1=0x0 option2=0x7 -> 0x0",
            last("C_InitPIN4"));
  callVoid([&] {
    SESSION(initPIN4)(env, self, module, newString("0000"), 4, newString("1"), 1, 0, 0);
  });
  EXPECT_EQ(0xA0, thrownCode()) << "a PUK that is not the SO PIN";

  callVoid([&] { SESSION(initPIN4Bit)(env, self, module, nullptr, 0, newString("2468"), 4); });
  expectNothingPending();
  EXPECT_EQ(
      "C_InitPIN4 hSession=0x1 puk=NULL pukLen=0x0 newPin=32343638 newPinLen=0x4 option1=0x0 "
      "option2=0x0 -> 0x0",
      last("C_InitPIN4"));

  callVoid([&] {
    SESSION(setPIN4)(env, self, module, newString("2468"), 4, newString("1357"), 0x100000004LL);
  });
  expectNothingPending();
  std::string wide = sizeof(CK_ULONG) == 8 ? "0x100000004" : "0x4";
  EXPECT_EQ("C_SetPIN4 hSession=0x1 oldPin=32343638 oldLen=0x4 newPin=31333537 newLen=" + wide +
                " -> 0x0",
            last("C_SetPIN4"));
  callVoid([&] { SESSION(setPIN4)(env, self, module, nullptr, 0, newString("9999"), 4); });
  expectNothingPending();
  EXPECT_TRUE(contains(last("C_SetPIN4"), "oldPin=NULL oldLen=0x0 newPin=39393939"));
  login(JNI_FALSE, "9999");
  expectNothingPending();

  rec.set("RV_C_SetPIN4", "0x80000100");
  callVoid([&] { SESSION(setPIN4)(env, self, module, nullptr, 0, newString("1"), 1); });
  EXPECT_EQ("Internal error", thrownMessage()) << "a vendor-defined code";
}

TEST_F(SessionEntry, VendorPinTextFailures) {
  start();
  callVoid([&] { SESSION(initPIN4)(env, self, module, newString("5678"), 4, nullptr, 0, 0, 0); });
  EXPECT_EQ("Internal error: pNewPin == NULL", thrownMessage());
  callVoid([&] { SESSION(initPIN4Bit)(env, self, module, nullptr, 0, nullptr, 0); });
  EXPECT_EQ("Internal error: pNewPin == NULL", thrownMessage());
  callVoid([&] { SESSION(setPIN4)(env, self, module, newString("1"), 1, nullptr, 0); });
  EXPECT_EQ("Internal error: pNewPin == NULL", thrownMessage());
  // The new PIN cannot be converted, then (second text) the PUK or old PIN:
  // the VM's error stands and the new PIN's text is released.
  vm.failNext("GetStringUTFChars");
  callVoid([&] { SESSION(initPIN4)(env, self, module, nullptr, 0, newString("1"), 1, 0, 0); });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetStringUTFChars", 2);
  callVoid([&] {
    SESSION(initPIN4)(env, self, module, newString("5678"), 4, newString("1"), 1, 0, 0);
  });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetStringUTFChars", 2);
  callVoid([&] { SESSION(setPIN4)(env, self, module, newString("5678"), 4, newString("1"), 1); });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());

  // A module without the vendor functions.
  jlong other = call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11,
                                                                     newString(QNOTP11_MODULE));
  });
  ASSERT_NE(0, other);
  callVoid([&] { SESSION(setPIN4)(env, self, other, nullptr, 0, newString("1"), 1); });
  EXPECT_EQ("Internal error", thrownMessage());
  callVoid([&] { SESSION(initPIN4)(env, self, other, nullptr, 0, newString("1"), 1, 0, 0); });
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr,
            call([&] { return SESSION(getTokenParam)(env, self, other, newString("a"), 1); }));
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SessionEntry, TokenParameters) {
  rec.set("TOKENPARAM_five", "68656c6c6f");
  rec.set("TOKENPARAM_cut", "41420043");
  start();
  auto get = [&](const char* name, jlong length) {
    return call([&] { return SESSION(getTokenParam)(env, self, module, newString(name), length); });
  };
  EXPECT_EQ("hello", vm.stringOf(get("five", 4)));
  EXPECT_EQ(
      "C_GetTokenParam hSession=0x1 name=66697665 nameLen=0x4 value=out *pulValueLen=0x400 "
      "-> 0x0",
      last("C_GetTokenParam"));
  EXPECT_EQ("AB", vm.stringOf(get("cut", 3))) << "the value ends at its first zero byte";

  callVoid([&] {
    SESSION(setTokenParam)(env, self, module, newString("mode"), 4, newString("fast"), 0x40);
  });
  expectNothingPending();
  EXPECT_EQ(
      "C_SetTokenParam hSession=0x1 name=6d6f6465 nameLen=0x4 value=66617374 valueLen=0x40 "
      "-> 0x0",
      last("C_SetTokenParam"));
  EXPECT_EQ("fast", vm.stringOf(get("mode", 4)));
  EXPECT_EQ(nullptr, get("unknown", 7));
  EXPECT_EQ(0x7, thrownCode());

  rec.journalClear();
  EXPECT_EQ(nullptr, call([&] { return SESSION(getTokenParam)(env, self, module, nullptr, 0); }));
  EXPECT_EQ("Internal error: pNewPin == NULL", thrownMessage());
  callVoid([&] { SESSION(setTokenParam)(env, self, module, nullptr, 0, newString("v"), 1); });
  EXPECT_EQ("Internal error: pNewPin == NULL", thrownMessage());
  callVoid([&] { SESSION(setTokenParam)(env, self, module, newString("n"), 1, nullptr, 0); });
  EXPECT_EQ("Internal error: utf_pValue == NULL", thrownMessage());
  vm.failNth("GetStringUTFChars", 2);
  callVoid([&] {
    SESSION(setTokenParam)(env, self, module, newString("n"), 1, newString("v"), 1);
  });
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass()) << "the name's text; the value's released";
  vm.failNext("GetStringUTFChars");
  EXPECT_EQ(nullptr, get("five", 4));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());
  vm.failNext("NewStringUTF");
  EXPECT_EQ(nullptr, get("five", 4));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(SessionEntry, CardStatusOnTheIdentrusApplication) {
  rec.set("IDENTRUS", "08");
  start();
  std::string printed;
  jint status;
  printed =
      printedBy([&] { status = call([&] { return SESSION(getCardStatus)(env, self, list); }); });
  EXPECT_EQ(8, status);
  EXPECT_EQ(
      "JNI: start PKCS11Session.getCardStatus oberthur... (session= 1)\n"
      "Identrus application id = 1\nlifeCycle status 8\n",
      printed);
  EXPECT_EQ(
      "C_FindObjectsInit hSession=0x1 pTemplate=[{type=0x80000201,len=0x4,val=01800080}] "
      "ulCount=0x1 -> 0x0",
      last("C_FindObjectsInit"));
  EXPECT_EQ(1u, count("C_FindObjectsFinal"));
  EXPECT_TRUE(contains(last("C_GetAttributeValue"), "hObject=0x1 pTemplate=[{type=0x80004400,"));

  printed = printedBy([&] { callVoid([&] { SESSION(setCardStatus)(env, self, list, 200); }); });
  expectNothingPending();
  EXPECT_EQ(
      "JNI: start PKCS11Session.setCardStatus oberthur... (session= 1)\n"
      "Identrus application id = 1\nCurrent lifeCycle status 8\n"
      "Setting lifeCycle status to -56\n",
      printed);
  EXPECT_EQ(
      "C_SetAttributeValue hSession=0x1 hObject=0x1 pTemplate=[{type=0x80004400,len=0x1,val=c8}] "
      "ulCount=0x1 -> 0x0",
      last("C_SetAttributeValue"));
  {
    CaptureStdout quiet;
    EXPECT_EQ(-56, call([&] { return SESSION(getCardStatus)(env, self, list); }));
  }

  printed = printedBy([&] { callVoid([&] { SESSION(setCardStatus)(env, self, list, 264); }); });
  EXPECT_FALSE(contains(printed, "pre.first use")) << "the whole int is compared";
  EXPECT_TRUE(contains(last("C_SetAttributeValue"), "val=08}"));
  printed = printedBy([&] { callVoid([&] { SESSION(setCardStatus)(env, self, list, 8); }); });
  EXPECT_TRUE(contains(printed,
                       "Current lifeCycle status 8\nSetting status to pre.first use\n"
                       "Setting lifeCycle status to 8\n"))
      << printed;

  rec.set("RV_C_SetAttributeValue", "0x10");
  printed = printedBy([&] { callVoid([&] { SESSION(setCardStatus)(env, self, list, 1); }); });
  EXPECT_EQ(0x10, thrownCode());
  EXPECT_TRUE(contains(printed, "Setting lifeCycle status to 1\nError number : 16\n")) << printed;
}

TEST_F(SessionEntry, CardStatusWithoutTheApplication) {
  start();
  std::string printed;
  printed = printedBy(
      [&] { EXPECT_EQ(0, call([&] { return SESSION(getCardStatus)(env, self, list); })); });
  EXPECT_EQ(0x82, thrownCode()) << "the module's error for the handle 0";
  EXPECT_TRUE(contains(printed, "Identrus application id = 0\n")) << printed;
  EXPECT_FALSE(contains(printed, "lifeCycle")) << printed;

  rec.set("RV_C_FindObjectsInit", "0x5");
  printed = printedBy([&] { callVoid([&] { SESSION(setCardStatus)(env, self, list, 8); }); });
  EXPECT_EQ(0x82, thrownCode());
  EXPECT_TRUE(contains(printed, "Identrus application id = -1\n")) << printed;
  EXPECT_FALSE(contains(printed, "Setting")) << "nothing is written";
  EXPECT_EQ(0u, count("C_SetAttributeValue"));
  std::string allOnes = sizeof(CK_ULONG) == 8 ? "0xffffffffffffffff" : "0xffffffff";
  EXPECT_TRUE(contains(last("C_GetAttributeValue"), "hObject=" + allOnes))
      << last("C_GetAttributeValue");

  rec.set("RV_C_FindObjectsInit", nullptr);
  rec.set("RV_C_FindObjects", "0x30");
  rec.journalClear();
  jobject object;
  printed = printedBy(
      [&] { object = call([&] { return SESSION(getIdentrusObject)(env, self, list); }); });
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(-2, vm.intField(object, "objectID"));
  EXPECT_EQ(0u, count("C_FindObjectsFinal")) << "the failed search is left open";
  EXPECT_EQ(
      "JNI: start PKCS11Session.getIdentrusObject... (session= 1)\n"
      "Identrus application id = -2JNI: creating PKCS11Object (-2)...",
      printed);
}

TEST_F(SessionEntry, IdentrusObject) {
  rec.set("IDENTRUS", "08");
  start();
  CaptureStdout quiet;
  // The application object is the only object; a search left open by an
  // earlier failed lookup would make the next one fail, so this comes first.
  jobject object = call([&] { return SESSION(getIdentrusObject)(env, self, list); });
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(kObjectClass, vm.classNameOf(object));
  EXPECT_EQ(1, vm.intField(object, "objectID"));
  EXPECT_TRUE(vm.sameObject(self, vm.objectField(object, "session")));

  const char* failures[] = {"FindClass", "GetMethodID", "NewObject"};
  const char* lines[] = {"Unable to find class NativePKCS11Object\n",
                         "Unable to find constructor for class NativePKCS11Object\n",
                         "Unable to find construct new object for class NativePKCS11Object\n"};
  for (int i = 0; i < 3; ++i) {
    std::string printed = printedBy([&] {
      vm.failNext(failures[i]);
      EXPECT_EQ(nullptr, call([&] { return SESSION(getIdentrusObject)(env, self, list); }));
    });
    EXPECT_FALSE(thrownClass().empty()) << "the VM's own error stands";
    EXPECT_TRUE(contains(printed, std::string("JNI: creating PKCS11Object (1)...") + lines[i]))
        << printed;
  }
}

}  // namespace
