// The vendor wrappers driven directly: each looks its function up by name on
// every call, passes the arguments through (the PIN options as single bytes)
// and returns the module's result, or CKR_ZOR_NOFUNCPTR when the module does
// not export the name.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cryptoki.h"
#include "runtime.h"
#include "support.h"

using testsupport::CaptureStdout;
using testsupport::Recorder;

namespace {

std::string lookupLine(void* address) {
  char text[64];
  snprintf(text, sizeof text, "JNI:BRIDGE: Getting FuncList address... Done: %lx\n",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)));
  return text;
}

class VendorCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    debug = 0;
    rec.reset();
    rec.clear();
    ASSERT_EQ(CKR_OK, loadfunctionList(rec.module, &list));
    ASSERT_EQ(CKR_OK, initLib(list));
    ASSERT_EQ(CKR_OK, openSession(list, 0, CKF_SERIAL_SESSION | CKF_RW_SESSION, &session));
    rec.journalClear();
  }
  void TearDown() override {
    debug = 0;
    rec.clear();
    finalizeLib(rec.module, list);
  }

  // The one journal line of `function`.
  std::string line(const char* function) {
    std::vector<std::string> lines = rec.journal(function);
    EXPECT_EQ(1u, lines.size()) << function;
    return lines.empty() ? "" : lines[0];
  }
  std::string ulong(CK_ULONG value) {
    char text[32];
    snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  FunctionList list = nullptr;
  CK_SESSION_HANDLE session = 0;
};

TEST_F(VendorCalls, ControlBlocksGoThroughAndComeBack) {
  rec.set("CONTROL_REPLY", "a1b2");
  CK_BYTE data[4] = {1, 2, 3, 4};
  CK_ULONG length = sizeof data;
  debug = 1;
  {
    CaptureStdout out;
    EXPECT_EQ(CKR_OK, C_Control(rec.module, 3, 0x10, data, &length));
    EXPECT_EQ(lookupLine(testsupport::librarySymbol(rec.module, "C_Control")), out.text())
        << "the lookup line alone: no trace follows the call";
  }
  EXPECT_EQ("C_Control slotID=0x3 command=0x10 data=01020304 *pulDataLen=0x4 -> 0x0",
            line("C_Control"));
  EXPECT_EQ(0xA1, data[0]);
  EXPECT_EQ(0xB2, data[1]);
  EXPECT_EQ(3, data[2]);
  EXPECT_EQ(2u, length) << "the module's length comes back";

  CK_BYTE block[2] = {0xAB, 0xCD};
  length = 2;
  const CK_ULONG allOnes = ~static_cast<CK_ULONG>(0);
  EXPECT_EQ(CKR_OK, C_Control2(rec.module, "Reader 1", allOnes, block, &length));
  EXPECT_EQ("C_Control2 readerName=5265616465722031 command=" + ulong(allOnes) +
                " data=abcd *pulDataLen=0x2 -> 0x0",
            line("C_Control2"));
  EXPECT_EQ(0xA1, block[0]);

  // The module's codes pass through unchanged, vendor-defined ones too.
  rec.set("RV_C_Control", "0x80000005");
  EXPECT_EQ(static_cast<CK_RV>(0x80000005UL), C_Control(rec.module, 0, 0, data, &length));
  rec.set("CONTROL_REPLY", "010203");
  length = 2;
  EXPECT_EQ(static_cast<CK_RV>(CKR_BUFFER_TOO_SMALL),
            C_Control2(rec.module, "Reader 1", 0, block, &length));
}

TEST_F(VendorCalls, PinFunctionsPassTextsLengthsAndOptionBytes) {
  EXPECT_EQ(CKR_OK, C_InitPIN4(rec.module, session, nullptr, 0, "4321", 4, 0x1FF, 0x100));
  EXPECT_EQ("C_InitPIN4 hSession=" + ulong(session) +
                " puk=NULL pukLen=0x0 newPin=34333231 newPinLen=0x4 option1=0xff option2=0x0 -> "
                "0x0",
            line("C_InitPIN4"));
  rec.journalClear();
  // The five-argument form reaches the same function with both options 0.
  EXPECT_EQ(CKR_OK, C_InitPIN4Bit(rec.module, session, "5678", 4, "1111", 4));
  EXPECT_EQ("C_InitPIN4 hSession=" + ulong(session) +
                " puk=35363738 pukLen=0x4 newPin=31313131 newPinLen=0x4 option1=0x0 option2=0x0 "
                "-> 0x0",
            line("C_InitPIN4"));
  EXPECT_EQ(static_cast<CK_RV>(CKR_PIN_INCORRECT),
            C_InitPIN4Bit(rec.module, session, "0000", 4, "1111", 4));

  // Lengths are passed as given, not measured: the module reads the text.
  EXPECT_EQ(CKR_OK, C_SetPIN4(rec.module, session, nullptr, 0, "2222", 9));
  EXPECT_EQ("C_SetPIN4 hSession=" + ulong(session) +
                " oldPin=NULL oldLen=0x0 newPin=32323232 newLen=0x9 -> 0x0",
            line("C_SetPIN4"));
  EXPECT_EQ(static_cast<CK_RV>(CKR_PIN_INCORRECT),
            C_SetPIN4(rec.module, session, "1111", 4, "3333", 4));
}

TEST_F(VendorCalls, TokenParametersAreWrittenAndReadBack) {
  EXPECT_EQ(CKR_OK, C_SetTokenParam(rec.module, session, "mode", 4, "fast", 7));
  EXPECT_EQ("C_SetTokenParam hSession=" + ulong(session) +
                " name=6d6f6465 nameLen=0x4 value=66617374 valueLen=0x7 -> 0x0",
            line("C_SetTokenParam"));
  CK_BYTE value[16] = {0};
  CK_ULONG length = sizeof value;
  EXPECT_EQ(CKR_OK, C_GetTokenParam(rec.module, session, "mode", 4, value, &length));
  EXPECT_EQ("C_GetTokenParam hSession=" + ulong(session) +
                " name=6d6f6465 nameLen=0x4 value=out *pulValueLen=0x10 -> 0x0",
            line("C_GetTokenParam"));
  EXPECT_EQ(4u, length);
  EXPECT_EQ(std::string("fast"), std::string(reinterpret_cast<char*>(value), 4));
  EXPECT_EQ(static_cast<CK_RV>(CKR_SESSION_HANDLE_INVALID),
            C_GetTokenParam(rec.module, session + 100, "mode", 4, value, &length));
}

TEST_F(VendorCalls, EveryCallLooksItsFunctionUpAgain) {
  debug = 1;
  CK_BYTE data[1] = {0};
  CK_ULONG length = 1;
  CaptureStdout out;
  C_Control(rec.module, 0, 0, data, &length);
  C_Control(rec.module, 0, 0, data, &length);
  C_InitPIN4Bit(rec.module, session, nullptr, 0, "1234", 4);
  std::string control = lookupLine(testsupport::librarySymbol(rec.module, "C_Control"));
  EXPECT_EQ(control + control + lookupLine(testsupport::librarySymbol(rec.module, "C_InitPIN4")),
            out.text());
}

TEST_F(VendorCalls, AModuleWithoutTheFunctionsIsAnsweredByTheBridge) {
  void* plain = testsupport::openLibrary(QREC_NOVENDOR_MODULE);
  ASSERT_NE(nullptr, plain);
  CK_BYTE data[4] = {1, 2, 3, 4};
  CK_ULONG length = 4;
  CK_BYTE value[4];
  debug = 1;
  CaptureStdout out;
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_Control(plain, 0, 0, data, &length));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_Control2(plain, "r", 0, data, &length));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_InitPIN4(plain, 1, nullptr, 0, "1", 1, 0, 0));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_InitPIN4Bit(plain, 1, nullptr, 0, "1", 1));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_SetPIN4(plain, 1, nullptr, 0, "1", 1));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_GetTokenParam(plain, 1, "n", 1, value, &length));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_SetTokenParam(plain, 1, "n", 1, "v", 1));
  // No module at all: nothing is looked up in the whole process, where the
  // bridge's own wrappers of the same names could be found.
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, C_Control(nullptr, 0, 0, data, &length));
  std::string missing = lookupLine(nullptr);
  std::string expected;
  for (int i = 0; i < 8; ++i) expected += missing;
  EXPECT_EQ(expected, out.text());
  EXPECT_EQ(1, data[0]);
  EXPECT_TRUE(rec.journal().empty()) << "the recording module was not reached";
}

}  // namespace
