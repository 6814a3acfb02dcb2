// The native methods of NativePKCS11Slot, called as the VM calls them,
// through the exported functions of the built library and a fake JNI
// environment, against the recording module.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Slot.h"
#include "jvm.h"
#include "support.h"

using testsupport::hex;
using testsupport::Recorder;

namespace {

const char kNat[] = "it/morvale/pkcs11/nat/";

std::string ulong(unsigned long value) {
  char text[32];
  snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

// All ones in the module's CK_ULONG, as the journal writes it.
std::string allOnes() {
  return sizeof(CK_ULONG) == 8 ? "0xffffffffffffffff" : "0xffffffff";
}

class SlotEntry : public testsupport::Jvm {
 protected:
  void SetUp() override {
    rec.reset();
    rec.clear();
    p11 = vm.newObject(std::string(kNat) + "NativePKCS11");
  }
  void TearDown() override {
    rec.clear();
    if (list != 0) Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, p11, module, list);
  }

  // Loads, binds and initialises the recording module (after the
  // configuration that the test set), and makes the object of slot `id`.
  void start(jint id = 0) {
    module = load(QREC_MODULE);
    ASSERT_NE(0, module);
    list = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, p11, module);
    });
    ASSERT_NE(0, list);
    callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, p11, list); });
    expectNothingPending();
    slot = slotObject(id);
    rec.journalClear();
  }
  jlong load(const char* path) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11, newString(path));
    });
  }
  jobject slotObject(jint id) {
    jobject object = vm.newObject(std::string(kNat) + "NativePKCS11Slot");
    vm.setObjectField(object, "module", p11);
    vm.setIntField(object, "slotID", id);
    return object;
  }

  jobject slotInfo(jlong handle) {
    return call(
        [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getInfo(env, slot, handle); });
  }
  jobject tokenInfo(jlong handle) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenInfo(env, slot, handle);
    });
  }
  jstring serial(jlong handle) {
    return call(
        [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenSN(env, slot, handle); });
  }
  jintArray mechanisms(jlong handle) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismList(env, slot, handle);
    });
  }
  jobject mechanismInfo(jlong handle, jint type) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismInfo(env, slot, handle, type);
    });
  }
  jobject open(jint flags) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_openSession(env, slot, list, flags);
    });
  }
  void initToken(jstring puk, jstring label) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Slot_initToken(env, slot, list, puk, label);
    });
  }
  void closeAll(jlong handle) {
    callVoid(
        [&] { Java_it_morvale_pkcs11_nat_NativePKCS11Slot_closeAllSessions(env, slot, handle); });
  }
  void control(jint command, jbyteArray data, jlong length) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control(env, slot, module, command, data, length);
    });
  }
  void control2(jstring reader, jint command, jbyteArray data, jlong length) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control2(env, slot, module, reader, command, data,
                                                           length);
    });
  }

  // The one journal line of `function`.
  std::string line(const char* function) {
    std::vector<std::string> lines = rec.journal(function);
    EXPECT_EQ(1u, lines.size()) << function;
    return lines.empty() ? "" : lines[0];
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  jobject p11 = nullptr;
  jobject slot = nullptr;
  jlong module = 0;
  jlong list = 0;
};

TEST_F(SlotEntry, SlotInfoKeepsPaddingAndEncodesVersions) {
  rec.set("SLOT_IDS", "0x3,0x80000001");
  rec.set("SLOT_DESCRIPTION", "");
  rec.set("SLOT_MANUFACTURER", "ACME");
  rec.set("SLOT_HWVERSION", "1.0");
  rec.set("SLOT_FWVERSION", "0.1");
  rec.set("SLOT_FLAGS", "0x80000007");
  start(static_cast<jint>(0x80000001UL));
  jobject info = slotInfo(list);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("it/morvale/pkcs11/PKCS11SlotInfo", vm.classNameOf(info));
  std::vector<fakejni::Value> args = vm.ctorArgs(info);
  ASSERT_EQ(5u, args.size());
  EXPECT_EQ(std::string(64, ' '), vm.stringOf(args[0].ref));
  EXPECT_EQ("ACME" + std::string(28, ' '), vm.stringOf(args[1].ref));
  EXPECT_EQ(static_cast<jint>(0x80000007UL), static_cast<jint>(args[2].i));
  EXPECT_EQ(256, args[3].i);
  EXPECT_EQ(1, args[4].i);
  EXPECT_EQ("C_GetSlotInfo slotID=0x80000001 pInfo=out -> 0x0", line("C_GetSlotInfo"))
      << "the slot field widened without sign";
}

TEST_F(SlotEntry, TokenInfoFillsAllEighteenArgumentsInOrder) {
  rec.set("TOKEN_LABEL", "my token");
  rec.set("TOKEN_MANUFACTURER", "ACME");
  rec.set("TOKEN_MODEL", "M1");
  rec.set("TOKEN_SERIAL", "SN42");
  rec.set("TOKEN_FLAGS", "0x40d");
  rec.set("TOKEN_MAX_SESSION_COUNT", "0xffffffffffffffff");
  rec.set("TOKEN_MAX_RW_SESSION_COUNT", "0");
  rec.set("TOKEN_MAX_PIN_LEN", "64");
  rec.set("TOKEN_MIN_PIN_LEN", "6");
  rec.set("TOKEN_TOTAL_PUBLIC_MEMORY", "100");
  rec.set("TOKEN_FREE_PUBLIC_MEMORY", "90");
  rec.set("TOKEN_TOTAL_PRIVATE_MEMORY", "80");
  rec.set("TOKEN_FREE_PRIVATE_MEMORY", "70");
  rec.set("TOKEN_HWVERSION", "2.20");
  rec.set("TOKEN_FWVERSION", "1.0");
  start();
  jobject session = open(CKF_SERIAL_SESSION | CKF_RW_SESSION);
  ASSERT_NE(nullptr, session);
  jobject info = tokenInfo(list);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("it/morvale/pkcs11/PKCS11TokenInfo", vm.classNameOf(info));
  std::vector<fakejni::Value> args = vm.ctorArgs(info);
  ASSERT_EQ(18u, args.size());
  EXPECT_EQ("my token" + std::string(24, ' '), vm.stringOf(args[0].ref));
  EXPECT_EQ("ACME" + std::string(28, ' '), vm.stringOf(args[1].ref));
  EXPECT_EQ("M1" + std::string(14, ' '), vm.stringOf(args[2].ref));
  EXPECT_EQ("SN42" + std::string(12, ' '), vm.stringOf(args[3].ref));
  const long long numbers[] = {0x40d, -1, 1, 0, 1, 64, 6, 100, 90, 80, 70, 532, 256};
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_EQ('I', args[4 + i].type) << "argument " << 5 + i;
    EXPECT_EQ(numbers[i], args[4 + i].i) << "argument " << 5 + i;
  }
  EXPECT_EQ("2024010112000000", vm.stringOf(args[17].ref));

  jstring sn = serial(list);
  EXPECT_EQ("SN42" + std::string(12, ' '), vm.stringOf(sn)) << "blank padding kept";
  EXPECT_EQ(2u, rec.journal("C_GetTokenInfo").size());
}

TEST_F(SlotEntry, InformationFailures) {
  rec.set("SLOT_IDS", "0x0,0x5");
  rec.set("TOKEN_ABSENT", "0x5");
  start(5);
  EXPECT_EQ(nullptr, tokenInfo(list));
  EXPECT_EQ(CKR_TOKEN_NOT_PRESENT, thrownCode());
  EXPECT_EQ(nullptr, serial(list));
  EXPECT_EQ(CKR_TOKEN_NOT_PRESENT, thrownCode());
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ(CKR_TOKEN_NOT_PRESENT, thrownCode());
  slot = slotObject(9);
  EXPECT_EQ(nullptr, slotInfo(list));
  EXPECT_EQ(CKR_SLOT_ID_INVALID, thrownCode());

  // A null function-list handle: the bridge's own code, as a message.
  EXPECT_EQ(nullptr, slotInfo(0));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, tokenInfo(0));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, serial(0));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, mechanisms(0));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, mechanismInfo(0, 1));
  EXPECT_EQ("Internal error", thrownMessage());

  slot = slotObject(0);
  rec.set("NULLFN", "C_GetSlotInfo,C_GetTokenInfo,C_GetMechanismList,C_GetMechanismInfo");
  rec.journalClear();
  EXPECT_EQ(nullptr, slotInfo(list));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, tokenInfo(list));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(nullptr, mechanismInfo(list, 1));
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_TRUE(rec.journal().empty());

  // An object without a slot field: the VM's lookup error stands.
  slot = vm.newObject(std::string(kNat) + "NativePKCS11");
  EXPECT_EQ(nullptr, slotInfo(list));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  slot = nullptr;
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
}

TEST_F(SlotEntry, JavaSideFailuresLeaveOnlyTheVmsError) {
  start();
  const char* failures[] = {"FindClass", "GetMethodID", "NewObject"};
  const char* errors[] = {"java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError",
                          "java/lang/OutOfMemoryError"};
  for (int i = 0; i < 3; ++i) {
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, slotInfo(list)) << failures[i];
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, tokenInfo(list)) << failures[i];
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, mechanismInfo(list, 1)) << failures[i];
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
    vm.failNext(failures[i]);
    EXPECT_EQ(nullptr, open(CKF_SERIAL_SESSION)) << failures[i];
    EXPECT_EQ(errors[i], thrownClass()) << failures[i];
  }
  // getTokenSN looks the class up although it builds no object.
  vm.failNext("FindClass");
  EXPECT_EQ(nullptr, serial(list));
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
  vm.failNext("NewStringUTF");
  EXPECT_EQ(nullptr, serial(list));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  // A text field that cannot become a String: no object is made.
  vm.failNth("NewStringUTF", 3);
  EXPECT_EQ(nullptr, tokenInfo(list));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(SlotEntry, MechanismListKeepsTheModulesOrderOnBothWidths) {
  rec.set("MECHS", "0x0,0x1,0x250,0x80000001");
  start();
  jintArray array = mechanisms(list);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ((std::vector<jint>{0, 1, 592, static_cast<jint>(0x80000001UL)}), vm.intsOf(array));
  std::vector<std::string> calls = rec.journal("C_GetMechanismList");
  ASSERT_EQ(2u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("pMechanismList=NULL")) << calls[0];

  // More mechanisms than one copy chunk holds.
  std::string many;
  std::vector<jint> expected;
  for (int i = 0; i < 600; ++i) {
    many += (i ? "," : "") + ulong(0x1000 + i);
    expected.push_back(0x1000 + i);
  }
  rec.set("MECHS", many.c_str());
  EXPECT_EQ(expected, vm.intsOf(mechanisms(list)));

  rec.set("MECHS", "");
  array = mechanisms(list);
  ASSERT_NE(nullptr, array) << "no mechanisms: an empty array, not null";
  EXPECT_TRUE(vm.intsOf(array).empty());
}

TEST_F(SlotEntry, MechanismListFailures) {
  start();
  rec.set("RV2_C_GetMechanismList", "0x150");
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ(0x150, thrownCode());
  rec.set("RV2_C_GetMechanismList", nullptr);
  if (sizeof(CK_ULONG) == sizeof(size_t)) {
    rec.set("MECHLIST_COUNT", "0xffffffffffffffff");
    EXPECT_EQ(nullptr, mechanisms(list));
    EXPECT_EQ("Internal error", thrownMessage());
    rec.set("MECHLIST_COUNT", nullptr);
  }
  vm.failNext("NewIntArray");
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("SetIntArrayRegion");
  EXPECT_EQ(nullptr, mechanisms(list));
  EXPECT_EQ("java/lang/ArrayIndexOutOfBoundsException", thrownClass());
}

TEST_F(SlotEntry, MechanismInfoAndVendorMechanismNumbers) {
  rec.set("MECHS", "0x1,0x250,0x80000001");
  rec.set("MECHINFO_250", "512,0xffffffffffffffff,0x80000001");
  rec.set("MECHINFO_80000001", "1,2,3");
  start();
  jobject info = mechanismInfo(list, 0x250);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ("it/morvale/pkcs11/PKCS11MechanismInfo", vm.classNameOf(info));
  std::vector<fakejni::Value> args = vm.ctorArgs(info);
  ASSERT_EQ(3u, args.size());
  EXPECT_EQ(512, args[0].i);
  EXPECT_EQ(-1, args[1].i);
  EXPECT_EQ(static_cast<jint>(0x80000001UL), static_cast<jint>(args[2].i));
  rec.journalClear();

  // A vendor mechanism listed as a negative int names the same mechanism
  // when it comes back: a mechanism type is widened without sign.
  jint vendor = vm.intsOf(mechanisms(list))[2];
  info = mechanismInfo(list, vendor);
  ASSERT_NE(nullptr, info);
  EXPECT_EQ(3, vm.ctorArgs(info)[2].i);
  EXPECT_EQ("C_GetMechanismInfo slotID=0x0 type=0x80000001 pInfo=out -> 0x0",
            line("C_GetMechanismInfo"));
  EXPECT_EQ(nullptr, mechanismInfo(list, 0x40));
  EXPECT_EQ(CKR_MECHANISM_INVALID, thrownCode());
}

TEST_F(SlotEntry, OpenSessionPassesTheFlagsAsGiven) {
  rec.set("SESSION_BASE", "0x80000000");
  start();
  jobject session = open(CKF_SERIAL_SESSION | CKF_RW_SESSION);
  ASSERT_NE(nullptr, session);
  EXPECT_EQ(std::string(kNat) + "NativePKCS11Session", vm.classNameOf(session));
  EXPECT_TRUE(vm.sameObject(slot, vm.objectField(session, "slot")));
  EXPECT_EQ(static_cast<jint>(0x80000000UL), vm.intField(session, "sessionID"))
      << "a handle of 2^31 reaches Java as a negative int";
  EXPECT_EQ("C_OpenSession slotID=0x0 flags=0x6 pApplication=NULL Notify=NULL phSession=out -> 0x0",
            line("C_OpenSession"));

  rec.journalClear();
  EXPECT_EQ(nullptr, open(0));
  EXPECT_EQ(CKR_SESSION_PARALLEL_NOT_SUPPORTED, thrownCode()) << "the bridge adds no flag";
  rec.journalClear();
  // Flags keep their sign: -1 reaches the module as all ones.
  EXPECT_NE(nullptr, open(-1));
  EXPECT_NE(std::string::npos, line("C_OpenSession").find("flags=" + allOnes()));
  EXPECT_EQ(nullptr, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11Slot_openSession(env, slot, 0, 6);
            }));
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SlotEntry, CloseAllSessionsEndsEverySessionOfTheSlot) {
  start();
  ASSERT_NE(nullptr, open(CKF_SERIAL_SESSION));
  ASSERT_NE(nullptr, open(CKF_SERIAL_SESSION | CKF_RW_SESSION));
  rec.journalClear();
  closeAll(list);
  expectNothingPending();
  EXPECT_EQ("C_CloseAllSessions slotID=0x0 -> 0x0", line("C_CloseAllSessions"));
  EXPECT_EQ(0, vm.ctorArgs(tokenInfo(list))[6].i) << "no session left open";

  rec.set("RV_C_CloseAllSessions", "0x3");
  closeAll(list);
  EXPECT_EQ(3, thrownCode());
  closeAll(0);
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SlotEntry, InitTokenPassesThePuksByteCountAndThePaddedLabel) {
  start();
  initToken(newString("5678"), newString("Quillon"));
  expectNothingPending();
  std::string label = "Quillon" + std::string(25, ' ');
  EXPECT_EQ("C_InitToken slotID=0x0 pPin=35363738 ulPinLen=0x4 pLabel=" + hex(label.data(), 32) +
                " -> 0x0",
            line("C_InitToken"));

  // Eight characters, one of them U+00E9: nine bytes.
  rec.journalClear();
  initToken(newString("1234567\xc3\xa9"), newString(""));
  EXPECT_EQ(CKR_PIN_INCORRECT, thrownCode());
  EXPECT_NE(std::string::npos, line("C_InitToken").find("pPin=31323334353637c3a9 ulPinLen=0x9"));

  ASSERT_NE(nullptr, open(CKF_SERIAL_SESSION));
  initToken(newString("5678"), newString("x"));
  EXPECT_EQ(CKR_SESSION_EXISTS, thrownCode());
}

TEST_F(SlotEntry, InitTokenRefusesWhatItCannotConvert) {
  start();
  initToken(newString("5678"), nullptr);
  EXPECT_EQ("Internal error: pPuk == NULL||label==NULL", thrownMessage());
  initToken(nullptr, newString("label"));
  EXPECT_EQ("Internal error: pPuk == NULL||label==NULL", thrownMessage());
  // A text the VM cannot give: its own error stands, and the PUK taken
  // before the label is released (call() checks that nothing stays pinned).
  vm.failNext("GetStringUTFChars");
  initToken(newString("5678"), newString("label"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNth("GetStringUTFChars", 2);
  initToken(newString("5678"), newString("label"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Slot_initToken(env, slot, 0, newString("5678"),
                                                          newString("l"));
  });
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SlotEntry, PinRulesSendTheFixedBlock) {
  rec.set("SLOT_IDS", "0x0,0x2");
  start(2);
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Slot_setPinRules(env, slot, module); });
  expectNothingPending();
  unsigned char block[152] = {0};
  const unsigned char head[] = {0x0B, 0, 0, 0};
  const unsigned char lengths[] = {0x08, 0, 0x04, 0, 0x08, 0};
  memcpy(block, head, 4);
  memcpy(block + 6, lengths, 6);
  block[24] = 0x03;
  memcpy(block + 28, lengths, 4);
  block[44] = 0x0A;
  memcpy(block + 64, "20100120", 8);
  const unsigned char rules[] = {0x10, 0x10, 0x10, 0x10, 0x01, 0x03, 0x03, 0x10, 0x04};
  memcpy(block + 85, rules, 9);
  block[100] = block[101] = 0x10;
  block[103] = 0x03;
  block[104] = 0x10;
  block[105] = 0x08;
  block[112] = block[113] = 0x10;
  block[115] = 0x0A;
  EXPECT_EQ("C_Control slotID=0x2 command=0x0 data=" + hex(block, 152) + " *pulDataLen=0x98 -> 0x0",
            line("C_Control"));

  rec.set("RV_C_Control", "0x6");
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Slot_setPinRules(env, slot, module); });
  EXPECT_EQ(6, thrownCode());
  jlong plain = load(QREC_NOVENDOR_MODULE);
  ASSERT_NE(0, plain);
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Slot_setPinRules(env, slot, plain); });
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(SlotEntry, ControlWritesBackIntoTheJavaArray) {
  rec.set("SLOT_IDS", "0x7");
  rec.set("CONTROL_REPLY", "deadbeef");
  start(7);
  jbyteArray data = vm.newBytes({1, 2, 3, 4});
  control(-2, data, 4);
  expectNothingPending();
  EXPECT_EQ((fakejni::Bytes{0xde, 0xad, 0xbe, 0xef}), vm.bytesOf(data));
  EXPECT_EQ((std::vector<int>{0}), vm.releaseModes(data)) << "copied back";
  EXPECT_EQ("C_Control slotID=0x7 command=" + ulong(~0UL & static_cast<CK_ULONG>(-2)) +
                " data=01020304 *pulDataLen=0x4 -> 0x0",
            line("C_Control"))
      << "the command keeps its sign";

  // A shorter length than the array: the module sees only that much.
  rec.set("CONTROL_REPLY", nullptr);
  rec.journalClear();
  control(1, vm.newBytes({9, 8, 7}), 2);
  EXPECT_NE(std::string::npos, line("C_Control").find("data=0908 *pulDataLen=0x2"));

  rec.set("RV_C_Control", "0xa0");
  jbyteArray failing = vm.newBytes({5});
  control(1, failing, 1);
  EXPECT_EQ(0xA0, thrownCode());
  EXPECT_EQ((std::vector<int>{0}), vm.releaseModes(failing)) << "released also on failure";
}

TEST_F(SlotEntry, ControlBuffersAreCheckedBeforeTheModuleIsCalled) {
  start();
  jbyteArray data = vm.newBytes({1, 2, 3, 4});
  control(0, data, 5);
  EXPECT_EQ("Internal error: length out of range", thrownMessage());
  control(0, data, -1);
  EXPECT_EQ("Internal error: length out of range", thrownMessage());
  control2(newString("r"), 0, data, 0x100000004LL);
  EXPECT_EQ("Internal error: length out of range", thrownMessage())
      << "not cut to its low 32 bits on Windows";
  control(0, nullptr, 0);
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  control2(newString("r"), 0, nullptr, 0);
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  vm.failNext("GetByteArrayElements");
  control(0, data, 4);
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());
}

TEST_F(SlotEntry, Control2AddressesAReaderByName) {
  rec.set("CONTROL_REPLY", "0102");
  start();
  jbyteArray data = vm.newBytes({0xab, 0xcd, 0xef});
  control2(newString("Reader 1"), 3, data, 3);
  expectNothingPending();
  EXPECT_EQ("C_Control2 readerName=5265616465722031 command=0x3 data=abcdef *pulDataLen=0x3 -> 0x0",
            line("C_Control2"));
  EXPECT_EQ((fakejni::Bytes{1, 2, 0xef}), vm.bytesOf(data));

  rec.journalClear();
  control2(nullptr, 3, data, 3);
  EXPECT_EQ("Internal error: readerName == NULL", thrownMessage());
  vm.failNext("GetStringUTFChars");
  control2(newString("Reader 1"), 3, data, 3);
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());

  jlong plain = load(QREC_NOVENDOR_MODULE);
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control2(env, slot, plain, newString("r"), 0, data,
                                                         3);
  });
  EXPECT_EQ("Internal error", thrownMessage());
}

}  // namespace
