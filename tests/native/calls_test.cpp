// The call layer (module binding and the standard wrappers) driven directly
// against the recording module: what the module receives, what the wrappers
// return and the exact trace they print.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "cryptoki.h"
#include "runtime.h"
#include "qrec_layout.h"
#include "support.h"

using testsupport::CaptureStdout;
using testsupport::hex;
using testsupport::Recorder;

namespace {

const CK_ULONG kAllOnes = ~static_cast<CK_ULONG>(0);

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    debug = 0;
    rec.reset();
    rec.clear();
    ASSERT_EQ(CKR_OK, loadfunctionList(rec.module, &list));
    ASSERT_EQ(CKR_OK, initLib(list));
    rec.journalClear();
  }
  void TearDown() override {
    debug = 0;
    rec.clear();
    finalizeLib(rec.module, list);
  }

  // Opens a read-write session on the first slot.
  CK_SESSION_HANDLE session() {
    CK_SESSION_HANDLE handle = 0;
    EXPECT_EQ(CKR_OK, openSession(list, 0, CKF_SERIAL_SESSION | CKF_RW_SESSION, &handle));
    return handle;
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  FunctionList list = nullptr;
};

TEST_F(Calls, NullListHandleIsRefusedBeforeAnythingIsPrinted) {
  debug = 1;
  CaptureStdout out;
  CK_INFO info;
  CK_SLOT_ID* slots = nullptr;
  CK_ULONG count = 0;
  CK_ATTRIBUTE attribute = {CKA_LABEL, nullptr, 0};
  CK_OBJECT_HANDLE object = 0;
  EXPECT_EQ(CKR_ZOR_NOTINIT, getInfo(nullptr, &info));
  EXPECT_EQ(CKR_ZOR_NOTINIT, getSlotList(nullptr, &slots, 1, &count));
  EXPECT_EQ(CKR_ZOR_NOTINIT, Morvale_login(nullptr, 1, CKU_USER, "1234"));
  EXPECT_EQ(CKR_ZOR_NOTINIT, setPinellips(nullptr, 1, nullptr, 0, nullptr, 0));
  EXPECT_EQ(CKR_ZOR_NOTINIT, getAttributeValue(nullptr, 1, 1, &attribute));
  EXPECT_EQ(CKR_ZOR_NOTINIT, findObjects(nullptr, 1, &object));
  EXPECT_EQ(CKR_ZOR_NOTINIT, InitToken(nullptr, 0, "5678", 4, "label"));
  EXPECT_EQ(CKR_ZOR_NOTINIT, initLib(nullptr));
  EXPECT_EQ(CKR_ZOR_NOTINIT, finalizeLib(rec.module, nullptr));
  EXPECT_EQ("", out.text());
  EXPECT_EQ(nullptr, slots);
  EXPECT_TRUE(rec.journal().empty());
}

TEST_F(Calls, MissingEntryLeavesTheOpeningLineOpen) {
  rec.set("NULLFN", "C_GetSlotInfo,C_Login,C_InitToken,C_Finalize");
  debug = 1;
  CaptureStdout out;
  CK_SLOT_INFO info;
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, getSlotInfo(list, 0, &info));
  EXPECT_EQ("JNI:BRIDGE: Calling C_GetSlotInfo...", out.text());
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, Morvale_login(list, 1, CKU_USER, "1234"));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, InitToken(list, 0, "5678", 4, "label"));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, finalizeLib(rec.module, list));
  EXPECT_TRUE(rec.journal().empty());
  rec.clear();
}

TEST_F(Calls, TheCommonShapeTracesAndPassesTheResultThrough) {
  rec.set("RV_C_GetSlotInfo", "0xb3");
  debug = 1;
  CaptureStdout out;
  CK_SLOT_INFO info;
  EXPECT_EQ(static_cast<CK_RV>(0xB3), getSlotInfo(list, 5, &info));
  EXPECT_EQ("JNI:BRIDGE: Calling C_GetSlotInfo... Done\n", out.text());
  ASSERT_EQ(1u, rec.journal("C_GetSlotInfo").size());
  EXPECT_NE(std::string::npos, rec.journal("C_GetSlotInfo")[0].find("slotID=0x5"));
}

TEST_F(Calls, SlotListAsksForTheCountThenFillsTheBuffer) {
  rec.set("SLOT_IDS", sizeof(CK_ULONG) == 8 ? "0x1,0x80000001,0x100000005" : "0x1,0x80000001");
  CK_SLOT_ID* slots = nullptr;
  CK_ULONG count = 0;
  finalizeLib(rec.module, list);
  ASSERT_EQ(CKR_OK, initLib(list));
  rec.journalClear();
  debug = 1;
  CaptureStdout out;
  ASSERT_EQ(CKR_OK, getSlotList(list, &slots, 0x101, &count));
  const CK_ULONG expected = sizeof(CK_ULONG) == 8 ? 3 : 2;
  EXPECT_EQ(
      "JNI:BRIDGE: Calling C_GetSlotList... (slots=" + std::to_string(expected) + ")... 0 Done\n",
      out.text());
  ASSERT_EQ(expected, count);
  EXPECT_EQ(1u, slots[0]);
  EXPECT_EQ(0x80000001u, slots[1]);
  std::vector<std::string> calls = rec.journal("C_GetSlotList");
  ASSERT_EQ(2u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("tokenPresent=0x1 pSlotList=NULL"))
      << "only the low byte of tokenPresent: " << calls[0];
  EXPECT_NE(std::string::npos, calls[1].find("tokenPresent=0x1 pSlotList=out"));
  free(slots);
}

TEST_F(Calls, SlotListEdgeCounts) {
  CK_SLOT_ID* slots = nullptr;
  CK_ULONG count = 7;
  rec.set("SLOTS", "0");
  finalizeLib(rec.module, list);
  ASSERT_EQ(CKR_OK, initLib(list));
  rec.journalClear();
  ASSERT_EQ(CKR_OK, getSlotList(list, &slots, 0, &count));
  EXPECT_EQ(0u, count);
  EXPECT_NE(nullptr, slots) << "zero slots still get a block and the second call";
  EXPECT_EQ(2u, rec.journal("C_GetSlotList").size());
  free(slots);

  // A count whose buffer size overflows size_t (only a 64-bit CK_ULONG can
  // hold one; a 32-bit count always has a size) gets no second call.
  if (sizeof(CK_ULONG) == sizeof(size_t)) {
    rec.set("SLOTLIST_COUNT", "0xffffffffffffffff");
    rec.journalClear();
    slots = nullptr;
    EXPECT_EQ(CKR_ZOR_NOSPACE, getSlotList(list, &slots, 0, &count));
    EXPECT_EQ(nullptr, slots);
    EXPECT_EQ(1u, rec.journal("C_GetSlotList").size());
    rec.set("SLOTLIST_COUNT", nullptr);
  }

  // A filling call that claims more entries than were allocated is held to
  // the allocation.
  rec.set("SLOTS", "2");
  finalizeLib(rec.module, list);
  ASSERT_EQ(CKR_OK, initLib(list));
  rec.set("SLOTLIST_SECOND_COUNT", "5");
  ASSERT_EQ(CKR_OK, getSlotList(list, &slots, 0, &count));
  EXPECT_EQ(2u, count);
  free(slots);
  rec.set("MECHLIST_SECOND_COUNT", "9");
  CK_MECHANISM_TYPE* mechanisms = nullptr;
  ASSERT_EQ(CKR_OK, getMechanismList(list, 0, &mechanisms, &count));
  EXPECT_EQ(6u, count) << "the six default mechanisms";
  free(mechanisms);
  rec.set("SLOTLIST_SECOND_COUNT", nullptr);
  rec.set("MECHLIST_SECOND_COUNT", nullptr);

  // The second call fails: the buffer is freed by the wrapper.
  rec.set("RV2_C_GetSlotList", "0x150");
  EXPECT_EQ(static_cast<CK_RV>(0x150), getSlotList(list, &slots, 0, &count));
  EXPECT_EQ(nullptr, slots);
}

TEST_F(Calls, MechanismListAsksForTheCountThenFillsTheBuffer) {
  rec.set("MECHS", "0x0,0x1,0x250,0x80000001");
  debug = 1;
  CK_MECHANISM_TYPE* mechanisms = nullptr;
  CK_ULONG count = 0;
  {
    CaptureStdout out;
    ASSERT_EQ(CKR_OK, getMechanismList(list, 0, &mechanisms, &count));
    EXPECT_EQ("JNI:BRIDGE: Calling C_GetMechanismList...(mechs=4)...\n Done\n", out.text());
  }
  ASSERT_EQ(4u, count);
  EXPECT_EQ(0x250u, mechanisms[2]);
  EXPECT_EQ(0x80000001u, mechanisms[3]);
  free(mechanisms);
  if (sizeof(CK_ULONG) == sizeof(size_t)) {
    rec.set("MECHLIST_COUNT", "0xffffffffffffffff");
    mechanisms = nullptr;
    EXPECT_EQ(CKR_ZOR_NOSPACE, getMechanismList(list, 0, &mechanisms, &count));
    EXPECT_EQ(nullptr, mechanisms);
  }
}

TEST_F(Calls, AttributeValuesAreTerminatedAndUnavailableLengthsRefused) {
  CK_SESSION_HANDLE s = session();
  CK_OBJECT_CLASS dataClass = CKO_DATA;
  char label[] = "hello";
  CK_ATTRIBUTE object[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                           {CKA_LABEL, label, 5},
                           {CKA_APPLICATION, label, 0}};
  CK_OBJECT_HANDLE handle = 0;
  ASSERT_EQ(CKR_OK, createObject(list, s, &handle, object, 3));
  rec.journalClear();

  debug = 1;
  CK_ATTRIBUTE value = {CKA_LABEL, nullptr, 0};
  {
    CaptureStdout out;
    ASSERT_EQ(CKR_OK, getAttributeValue(list, s, handle, &value));
    EXPECT_EQ("JNI:BRIDGE: Calling C_GetAttributeValue 3 ...(len=5)... Done\n", out.text());
  }
  ASSERT_EQ(5u, value.ulValueLen);
  EXPECT_STREQ("hello", static_cast<char*>(value.pValue));
  free(value.pValue);
  std::vector<std::string> calls = rec.journal("C_GetAttributeValue");
  ASSERT_EQ(2u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("val=NULL"));

  CK_ATTRIBUTE empty = {CKA_APPLICATION, nullptr, 0};
  ASSERT_EQ(CKR_OK, getAttributeValue(list, s, handle, &empty));
  EXPECT_EQ(0u, empty.ulValueLen);
  ASSERT_NE(nullptr, empty.pValue);
  EXPECT_EQ(0, static_cast<char*>(empty.pValue)[0]) << "a one-byte block holding the NUL";
  free(empty.pValue);

  // A module that answers CKR_OK with an unavailable length gets no buffer.
  rec.set("ATTR_LEN", sizeof(CK_ULONG) == 8 ? "0xffffffffffffffff" : "0xffffffff");
  rec.journalClear();
  CK_ATTRIBUTE unavailable = {CKA_LABEL, nullptr, 0};
  EXPECT_EQ(CKR_ZOR_NOSPACE, getAttributeValue(list, s, handle, &unavailable));
  EXPECT_EQ(nullptr, unavailable.pValue);
  EXPECT_EQ(1u, rec.journal("C_GetAttributeValue").size());
  rec.set("ATTR_LEN", nullptr);

  // The module's refusal of the first call is returned with nothing allocated.
  CK_ATTRIBUTE invalid = {0x90, nullptr, 0};
  EXPECT_EQ(static_cast<CK_RV>(CKR_ATTRIBUTE_TYPE_INVALID),
            getAttributeValue(list, s, handle, &invalid));
  EXPECT_EQ(nullptr, invalid.pValue);
}

TEST_F(Calls, FindObjectsWithNothingFoundGivesHandleZero) {
  CK_SESSION_HANDLE s = session();
  char label[] = "no such object";
  CK_ATTRIBUTE search[] = {{CKA_LABEL, label, sizeof label - 1}};
  ASSERT_EQ(CKR_OK, findObjectsInit(list, s, search, 1));
  CK_OBJECT_HANDLE found = 77;
  debug = 1;
  {
    CaptureStdout out;
    EXPECT_EQ(CKR_OK, findObjects(list, s, &found));
    EXPECT_EQ("JNI:BRIDGE: Calling C_FindObjects ... Done(found=0)\n", out.text());
  }
  debug = 0;
  EXPECT_EQ(0u, found);
  std::vector<std::string> calls = rec.journal("C_FindObjects");
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("ulMaxObjectCount=0x1")) << calls[0];
  EXPECT_EQ(CKR_OK, findObjectsFinal(list, s));
}

TEST_F(Calls, PinsReachTheModuleWithTheRightLengths) {
  CK_SESSION_HANDLE s = session();
  CK_UTF8CHAR withZero[] = {'1', 0, '3', '4'};
  debug = 1;
  {
    CaptureStdout out;
    loginellips(list, s, CKU_USER, withZero, sizeof withZero);
    Morvale_login(list, s, CKU_SO,
                  "12\0"
                  "34");
    loginAuthPath(list, s, CKU_USER);
    EXPECT_EQ(
        "JNI:BRIDGE: Calling C_Login (len=4)... Done\n"
        "JNI:BRIDGE: Calling C_Login (l=2)... Done\n"
        "JNI:BRIDGE: Calling C_Login... Done\n",
        out.text());
  }
  std::vector<std::string> calls = rec.journal("C_Login");
  ASSERT_EQ(3u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("userType=0x1 pPin=31003334 ulPinLen=0x4"))
      << "every byte of the array, zero bytes included: " << calls[0];
  EXPECT_NE(std::string::npos, calls[1].find("userType=0x0 pPin=3132 ulPinLen=0x2"))
      << "a text PIN ends at its first zero byte: " << calls[1];
  EXPECT_NE(std::string::npos, calls[2].find("pPin=NULL ulPinLen=0x0")) << calls[2];

  CK_UTF8CHAR oldPin[] = {'1', '2', '3', '4'};
  CK_UTF8CHAR newPin[] = {'9', '9'};
  CaptureStdout out;
  setPinellips(list, s, oldPin, 4, newPin, 2);
  EXPECT_EQ(
      "JNI:BRIDGE: Calling C_SetPIN...JNI:BRIDGE: Calling C_SetPIN (len=4)..."
      "JNI:BRIDGE: Calling C_SetPIN (len=2)... Done\n",
      out.text());
  std::vector<std::string> setCalls = rec.journal("C_SetPIN");
  ASSERT_EQ(1u, setCalls.size());
  EXPECT_NE(std::string::npos,
            setCalls[0].find("pOldPin=31323334 ulOldLen=0x4 pNewPin=3939 ulNewLen=0x2"))
      << setCalls[0];
}

TEST_F(Calls, InitTokenCopiesTheLabelIntoTheBlankPaddedField) {
  struct Case {
    const char* label;
    std::string field;
  } cases[] = {
      {"Quillon", "Quillon" + std::string(25, ' ')},
      {"", std::string(32, ' ')},
      {"0123456789abcdef0123456789ABCDEF-cut", "0123456789abcdef0123456789ABCDEF"},
      // 31 ASCII bytes and a two-byte character: the character does not fit.
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xc3\xa9", std::string(31, 'a') + " "},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\xc3\xa9", std::string(30, 'a') + "\xc3\xa9"},
  };
  for (const Case& c : cases) {
    rec.journalClear();
    InitToken(list, 0, "5678", 4, c.label);
    std::vector<std::string> calls = rec.journal("C_InitToken");
    ASSERT_EQ(1u, calls.size());
    EXPECT_NE(std::string::npos, calls[0].find("pLabel=" + hex(c.field.data(), 32)))
        << c.label << ": " << calls[0];
    EXPECT_NE(std::string::npos, calls[0].find("pPin=35363738 ulPinLen=0x4")) << calls[0];
  }
}

TEST_F(Calls, OutputLengthsAndSessionsAreTracedOnTheClosingLine) {
  debug = 1;
  CK_SESSION_HANDLE s = 0;
  {
    CaptureStdout out;
    ASSERT_EQ(CKR_OK, openSession(list, 0, CKF_SERIAL_SESSION, &s));
    EXPECT_EQ("JNI:BRIDGE: Calling C_OpenSession... Done(session=1)\n", out.text())
        << "the first handle of a freshly initialised module";
  }
  std::vector<std::string> calls = rec.journal("C_OpenSession");
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(std::string::npos, calls[0].find("pApplication=NULL Notify=NULL")) << calls[0];

  CK_SESSION_HANDLE refused = 99;
  CaptureStdout out;
  EXPECT_EQ(static_cast<CK_RV>(CKR_SESSION_PARALLEL_NOT_SUPPORTED),
            openSession(list, 0, 0, &refused));
  EXPECT_EQ("JNI:BRIDGE: Calling C_OpenSession... Done(session=99)\n", out.text())
      << "printed whatever the result";
}

TEST_F(Calls, BindingFailures) {
  ModuleHandle missing = reinterpret_cast<ModuleHandle>(1);
  debug = 1;
  {
    CaptureStdout out;
    EXPECT_EQ(CKR_ZOR_NOFUNCPTR, loadLib("/nonexistent/module", &missing));
    EXPECT_EQ("JNI:BRIDGE: Start loading library... Done: 0\n", out.text());
  }
  EXPECT_EQ(reinterpret_cast<ModuleHandle>(1), missing) << "no out value on failure";
  debug = 0;

  FunctionList untouched = reinterpret_cast<FunctionList>(1);
  rec.set("GETFUNCTIONLIST", "null");
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, loadfunctionList(rec.module, &untouched));
  rec.set("GETFUNCTIONLIST", "0x6");
  EXPECT_EQ(static_cast<CK_RV>(6), loadfunctionList(rec.module, &untouched));
  EXPECT_EQ(reinterpret_cast<FunctionList>(1), untouched);
  rec.set("GETFUNCTIONLIST", nullptr);

  ModuleHandle other = nullptr;
  ASSERT_EQ(CKR_OK, loadLib(QNOTP11_MODULE, &other));
  EXPECT_EQ(CKR_ZOR_NOFUNCPTR, loadfunctionList(other, &untouched));

  EXPECT_EQ(static_cast<CK_RV>(CKR_CRYPTOKI_ALREADY_INITIALIZED), initLib(list));
  EXPECT_EQ(CKR_OK, finalizeLib(nullptr, list)) << "only the list handle is used";
  EXPECT_EQ(static_cast<CK_RV>(CKR_CRYPTOKI_NOT_INITIALIZED), finalizeLib(rec.module, list));
  ASSERT_EQ(CKR_OK, initLib(list));
}

TEST(Conversions, HandlesAndTypesWidenWithoutSignCountsWithSign) {
  EXPECT_EQ(kAllOnes, J2CK_INT(-1));
  EXPECT_EQ(kAllOnes, J2CK_FLAGS(-1));
  EXPECT_EQ(static_cast<CK_ULONG>(0xFFFFFFFBUL), J2CK_HANDLE(-5));
  EXPECT_EQ(static_cast<CK_ULONG>(0x80000201UL), J2CK_TYPE(static_cast<jint>(0x80000201UL)));
  EXPECT_EQ(-1, CK2J_INT(kAllOnes));
  EXPECT_EQ(static_cast<jint>(0x80000000UL), CK2J_INT(0x80000000UL));
  EXPECT_EQ(5, CK2J_SESSION(static_cast<CK_ULONG>(sizeof(CK_ULONG) == 8 ? 0x100000005ULL : 5)));
  EXPECT_EQ(1, CK2J_BOOL(2));
  EXPECT_EQ(532, CK2J_VER(CK_VERSION{2, 20}));
  EXPECT_EQ(65535, CK2J_VER(CK_VERSION{255, 255}));
  EXPECT_EQ(2, J2CK_BOOL(2)) << "the byte unchanged";
}

TEST(Layout, TheModuleAndTheBridgeAgreeOnEveryStructure) {
  Recorder& rec = Recorder::at(QREC_MODULE);
  char here[8192];
  qrec_layout_write(here, sizeof here);
  EXPECT_STREQ(here, rec.layout());
  EXPECT_NE(nullptr,
            strstr(here, sizeof(CK_ULONG) == 8 ? "CK_ATTRIBUTE size=24" : "CK_ATTRIBUTE size=16"));
}

}  // namespace
