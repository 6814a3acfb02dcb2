// The bridge runtime in a fake JVM: which PKCS11Exception each code becomes,
// the handle readers, and Java strings made from fixed-width text fields.
#include <string.h>

#include <string>

#include "jvm.h"
#include "runtime.h"
#include "support.h"

namespace {

const CK_ULONG kAllOnes = ~static_cast<CK_ULONG>(0);

class Runtime : public testsupport::Jvm {
 protected:
  // The pending PKCS11Exception built with "(IZ)V": its code and flag.
  std::pair<long long, long long> thrownCodeAndFlag() {
    fakejni::Pending p = vm.pending();
    vm.clearPending();
    EXPECT_EQ(2u, p.ctorArgs.size()) << p;
    if (p.ctorArgs.size() != 2) return {0, 0};
    EXPECT_EQ('I', p.ctorArgs[0].type);
    EXPECT_EQ('Z', p.ctorArgs[1].type);
    return {p.ctorArgs[0].i, p.ctorArgs[1].i};
  }
};

TEST_F(Runtime, CodesBecomeExceptions) {
  callVoid([&] { throwCKExc(env, 0); });
  EXPECT_EQ("Unknown internal error", thrownMessage());
  callVoid([&] { throwCKExc(env, 0xA0); });
  EXPECT_EQ(160, thrownCode());
  callVoid([&] { throwCKExc(env, 0x7FFFFFFF); });
  EXPECT_EQ(0x7FFFFFFF, thrownCode());
  for (CK_RV rv : {static_cast<CK_RV>(0x80000000UL), CKR_ZOR_NOFUNCPTR, CKR_ZOR_NOSPACE,
                   CKR_ZOR_NOTINIT, kAllOnes}) {
    callVoid([&] { throwCKExc(env, rv); });
    EXPECT_EQ("Internal error", thrownMessage()) << rv;
  }
#if !defined(_WIN32)
  callVoid([&] { throwCKExc(env, static_cast<CK_RV>(0x100000000ULL)); });
  EXPECT_EQ("Internal error", thrownMessage()) << "the comparison covers all 64 bits";
#endif
}

TEST_F(Runtime, FlaggedCodesKeepTheirNumber) {
  callVoid([&] { throwCKExcAS(env, 0); });
  EXPECT_EQ("Unknown internal error", thrownMessage());
  callVoid([&] { throwCKExcAS(env, 0xA0); });
  EXPECT_EQ((std::pair<long long, long long>{160, 0}), thrownCodeAndFlag());
  callVoid([&] { throwCKExcAS(env, kAllOnes); });
  EXPECT_EQ((std::pair<long long, long long>{-1, 1}), thrownCodeAndFlag());
  callVoid([&] { throwCKExcAS(env, CKR_ZOR_NOFUNCPTR); });
  EXPECT_EQ((std::pair<long long, long long>{static_cast<jint>(0x80000001UL), 1}),
            thrownCodeAndFlag());
}

TEST_F(Runtime, AnExceptionThatCannotBeBuiltLeavesTheVmError) {
  const char* failures[] = {"FindClass", "GetMethodID", "NewObject"};
  for (const char* fn : failures) {
    vm.failNext(fn);
    callVoid([&] { throwCKExc(env, 0xA0); });
    std::string left = thrownClass();
    EXPECT_FALSE(left.empty()) << fn << ": the VM's own error stays pending";
    EXPECT_NE("it/morvale/pkcs11/PKCS11Exception", left) << fn;
  }
  vm.failNext("FindClass");
  callVoid([&] { throwExc(env, "message"); });
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
}

TEST_F(Runtime, HandleReadersWidenWithoutSign) {
  jobject slot = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Slot");
  vm.setIntField(slot, "slotID", -5);
  EXPECT_EQ(static_cast<CK_ULONG>(0xFFFFFFFBUL), call([&] { return getSlotID(env, slot); }));
  jobject session = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Session");
  vm.setIntField(session, "sessionID", static_cast<jint>(0x80000001UL));
  EXPECT_EQ(static_cast<CK_ULONG>(0x80000001UL), call([&] { return getSessionID(env, session); }));
  jobject object = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Object");
  vm.setIntField(object, "objectID", 42);
  vm.setObjectField(object, "session", session);
  EXPECT_EQ(42u, call([&] { return getObjectID(env, object); }));
  EXPECT_EQ(static_cast<CK_ULONG>(0x80000001UL),
            call([&] { return getObjSessionID(env, object); }));
  expectNothingPending();

  // A subclass works: the class comes from the object.
  vm.defineClass("test/SubSlot", {}, {}, "it/morvale/pkcs11/nat/NativePKCS11Slot");
  jobject sub = vm.newObject("test/SubSlot");
  vm.setIntField(sub, "slotID", 9);
  EXPECT_EQ(9u, call([&] { return getSlotID(env, sub); }));
}

TEST_F(Runtime, RememberedFieldIDsServeOnlyInstancesOfTheirClass) {
  // A class beside NativePKCS11Slot with a field of the same name and type
  // at another place, and a subclass of it.
  vm.defineClass("test/Elsewhere", {{"padding", "I"}, {"slotID", "I"}}, {});
  vm.defineClass("test/SubSlot", {}, {}, "it/morvale/pkcs11/nat/NativePKCS11Slot");
  jobject slot = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Slot");
  vm.setIntField(slot, "slotID", 3);
  jobject sub = vm.newObject("test/SubSlot");
  vm.setIntField(sub, "slotID", 9);
  jobject elsewhere = vm.newObject("test/Elsewhere");
  vm.setIntField(elsewhere, "slotID", 4);

  EXPECT_EQ(3u, call([&] { return getSlotID(env, slot); }));
  int lookups = vm.calls("GetFieldID");
  EXPECT_EQ(3u, call([&] { return getSlotID(env, slot); }));
  EXPECT_EQ(9u, call([&] { return getSlotID(env, sub); }));
  EXPECT_EQ(lookups, vm.calls("GetFieldID"))
      << "the ID is remembered for the class and its subclasses";
  // The object of another class gets the field of its own class (with the
  // remembered ID the fake VM would report a field used on the wrong class).
  EXPECT_EQ(4u, call([&] { return getSlotID(env, elsewhere); }));
  EXPECT_EQ(3u, call([&] { return getSlotID(env, slot); }));
  expectNothingPending();
}

TEST_F(Runtime, UnreadableHandlesAreReported) {
  jobject object = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Object");
  EXPECT_EQ(0u, call([&] { return getObjSessionID(env, object); })) << "null session";
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  EXPECT_EQ(0u, call([&] { return getSlotID(env, nullptr); }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  // An object without the field: the VM's lookup error is what Java sees.
  jobject plain = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
  EXPECT_EQ(0u, call([&] { return getSessionID(env, plain); }));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  vm.failNext("GetFieldID");
  jobject slot = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Slot");
  EXPECT_EQ(0u, call([&] { return getSlotID(env, slot); }));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  // No class for the object: no field is looked up in a null class.
  vm.failNext("GetObjectClass");
  EXPECT_EQ(0u, call([&] { return getSlotID(env, slot); }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  vm.failNext("GetObjectClass");
  EXPECT_EQ(0u, call([&] { return getObjSessionID(env, object); }));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
}

TEST_F(Runtime, TextFieldsKeepTheirPaddingAndEndAtANul) {
  CK_UTF8CHAR blanks[32];
  memset(blanks, ' ', sizeof blanks);
  EXPECT_EQ(std::string(32, ' '), vm.stringOf(call([&] { return CK2J_STR(env, blanks, 32); })));
  CK_UTF8CHAR withNul[16] = {'A', 'B', 'C', 'D', 'E', 0,   'G', 'H',
                             'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'};
  EXPECT_EQ("ABCDE", vm.stringOf(call([&] { return CK2J_STR(env, withNul, 16); })));
  CK_UTF8CHAR full[16];
  memcpy(full, "0123456789ABCDEF", 16);
  EXPECT_EQ("0123456789ABCDEF", vm.stringOf(call([&] { return CK2J_STR(env, full, 16); })))
      << "exactly the field's width, without a terminator in the field";

  // Token bytes become valid modified UTF-8: a stray byte becomes U+FFFD, a
  // four-byte sequence a surrogate pair.
  CK_UTF8CHAR mixed[8] = {'a', 0xFF, 0xF0, 0x9F, 0x98, 0x80, 0xC3, 0xA9};
  EXPECT_EQ("a\xef\xbf\xbd\xed\xa0\xbd\xed\xb8\x80\xc3\xa9",
            vm.stringOf(call([&] { return CK2J_STR(env, mixed, 8); })));

  vm.failNext("NewStringUTF");
  testsupport::CaptureStdout out;
  EXPECT_EQ(nullptr, call([&] { return CK2J_STR(env, full, 16); }));
  EXPECT_EQ("JNI:##########ERROR CK2J_STR################\n", out.text())
      << "printed whether or not tracing is on";
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

}  // namespace
