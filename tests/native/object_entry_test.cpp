// The native methods of NativePKCS11Object, called as the VM calls them,
// through the exported functions of the built library and a fake JNI
// environment, on objects that the tests create in the recording module.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "jvm.h"
#include "support.h"

using testsupport::hex;
using testsupport::Recorder;

namespace {

const char kObjectClass[] = "it/morvale/pkcs11/nat/NativePKCS11Object";
const char kSessionClass[] = "it/morvale/pkcs11/nat/NativePKCS11Session";

using Bytes = std::vector<unsigned char>;

Bytes textBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes ulongBytes(CK_ULONG value) {
  Bytes bytes(sizeof value);
  memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// Attributes for C_CreateObject, owning their values.
class Attributes {
 public:
  Attributes& add(CK_ATTRIBUTE_TYPE type, const Bytes& value) {
    values_.push_back(value);
    types_.push_back(type);
    return *this;
  }
  std::vector<CK_ATTRIBUTE> list() {
    std::vector<CK_ATTRIBUTE> result;
    for (size_t i = 0; i < types_.size(); ++i)
      result.push_back({types_[i], values_[i].data(), static_cast<CK_ULONG>(values_[i].size())});
    return result;
  }

 private:
  std::vector<CK_ATTRIBUTE_TYPE> types_;
  std::vector<Bytes> values_;
};

class ObjectEntry : public testsupport::Jvm {
 protected:
  void SetUp() override {
    rec.reset();
    rec.clear();
    auto getList = reinterpret_cast<CK_C_GetFunctionList>(
        testsupport::librarySymbol(rec.module, "C_GetFunctionList"));
    ASSERT_NE(nullptr, getList);
    ASSERT_EQ(CKR_OK, getList(&module));
    ASSERT_EQ(CKR_OK, module->C_Initialize(nullptr));
    ASSERT_EQ(CKR_OK, module->C_OpenSession(0, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                                            nullptr, &sessionHandle));
    list = static_cast<jlong>(reinterpret_cast<intptr_t>(module));
    session = vm.newObject(kSessionClass);
    vm.setIntField(session, "sessionID", static_cast<jint>(sessionHandle));
    dataObject = wrap(create(Attributes()
                                 .add(CKA_CLASS, ulongBytes(CKO_DATA))
                                 .add(CKA_LABEL, textBytes("hello"))
                                 .add(CKA_ID, {0xca, 0xfe})));
    rec.journalClear();
  }
  void TearDown() override {
    rec.clear();
    if (module != nullptr) module->C_Finalize(nullptr);
  }

  CK_OBJECT_HANDLE create(Attributes attributes) {
    std::vector<CK_ATTRIBUTE> list = attributes.list();
    CK_OBJECT_HANDLE handle = 0;
    EXPECT_EQ(CKR_OK, module->C_CreateObject(sessionHandle, list.data(),
                                             static_cast<CK_ULONG>(list.size()), &handle));
    return handle;
  }
  jobject wrap(CK_OBJECT_HANDLE handle) {
    jobject object = vm.newObject(kObjectClass);
    vm.setObjectField(object, "session", session);
    vm.setIntField(object, "objectID", static_cast<jint>(handle));
    return object;
  }
  // A data object holding one attribute.
  jobject holding(CK_ATTRIBUTE_TYPE type, const Bytes& value) {
    return wrap(create(Attributes().add(CKA_CLASS, ulongBytes(CKO_DATA)).add(type, value)));
  }

  // One read of `type` through the read entry point `entry`.
  template <typename R>
  R read(R(JNICALL* entry)(JNIEnv*, jobject, jlong, jint), jobject object, jint type) {
    return call([&] { return entry(env, object, list, type); });
  }
  jboolean readBool(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBoolAttributeValue, object, type);
  }
  jint readInt(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getIntAttributeValue, object, type);
  }
  jstring readString(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getStringAttributeValue, object,
                type);
  }
  jbyteArray readBytes(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getByteArrayAttributeValue, object,
                type);
  }
  jobject readDate(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getDateAttributeValue, object, type);
  }
  jobject readBig(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBigIntegerAttributeValue, object,
                type);
  }
  jobject readAny(jobject object, jint type) {
    return read(Java_it_morvale_pkcs11_nat_NativePKCS11Object_getAttributeValue, object, type);
  }
  void write(jobject object, jint type, jobject value) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValue(env, object, list, type,
                                                                      value);
    });
  }
  void writeAll(jobject object, jintArray types, jobjectArray values) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValues(env, object, list, types,
                                                                       values);
    });
  }

  // Each JNI function in `failures` fails once during `read`: the read gives
  // null and the VM's own error stands, not one of the bridge's.
  template <typename F>
  void expectVmErrors(std::initializer_list<const char*> failures, F read) {
    for (const char* failure : failures) {
      vm.failNext(failure);
      EXPECT_EQ(nullptr, read()) << failure;
      std::string thrown = thrownClass();
      EXPECT_NE("it/morvale/pkcs11/PKCS11Exception", thrown) << failure;
      EXPECT_NE("", thrown) << failure;
    }
  }

  // The one C_SetAttributeValue line of the journal, cleared afterwards.
  std::string setCall() {
    std::vector<std::string> lines = rec.journal("C_SetAttributeValue");
    rec.journalClear();
    EXPECT_EQ(1u, lines.size());
    return lines.empty() ? std::string() : lines[0];
  }
  std::string handles(jobject object) {
    char text[64];
    snprintf(text, sizeof text, "hSession=0x%lx hObject=0x%lx",
             static_cast<unsigned long>(sessionHandle),
             static_cast<unsigned long>(static_cast<uint32_t>(vm.intField(object, "objectID"))));
    return text;
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  CK_FUNCTION_LIST* module = nullptr;
  CK_SESSION_HANDLE sessionHandle = 0;
  jlong list = 0;
  jobject session = nullptr;
  jobject dataObject = nullptr;
};

TEST_F(ObjectEntry, CopyIsNotOffered) {
  EXPECT_EQ(nullptr, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11Object_copy(env, dataObject, list,
                                                                        vm.newInts({1}), nullptr);
            }));
  EXPECT_EQ("Not supported", thrownMessage());
  EXPECT_TRUE(rec.journal().empty());
}

TEST_F(ObjectEntry, SizeAndDestroy) {
  jint size = call(
      [&] { return Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(env, dataObject, list); });
  EXPECT_EQ(static_cast<jint>(sizeof(CK_ULONG) + 5 + 2), size);
  EXPECT_EQ("C_GetObjectSize " + handles(dataObject) + " pulSize=out -> 0x0",
            rec.journal("C_GetObjectSize").at(0));

  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, dataObject, list); });
  expectNothingPending();
  EXPECT_EQ("C_DestroyObject " + handles(dataObject) + " -> 0x0",
            rec.journal("C_DestroyObject").at(0));

  // The object is gone: both now fail with the module's code.
  EXPECT_EQ(-1, call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(env, dataObject, list);
  }));
  EXPECT_EQ(static_cast<long long>(CKR_OBJECT_HANDLE_INVALID), thrownCode());
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, dataObject, list); });
  EXPECT_EQ(static_cast<long long>(CKR_OBJECT_HANDLE_INVALID), thrownCode());

  jobject fixed = wrap(create(Attributes().add(CKA_DESTROYABLE, {0})));
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, fixed, list); });
  EXPECT_EQ(static_cast<long long>(CKR_ACTION_PROHIBITED), thrownCode());

  rec.set("NULLFN", "C_GetObjectSize,C_DestroyObject");
  EXPECT_EQ(-1, call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(env, fixed, list);
  }));
  EXPECT_EQ("Internal error", thrownMessage());
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, fixed, list); });
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_EQ(
      -1, call([&] { return Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(env, fixed, 0); }));
  EXPECT_EQ("Internal error", thrownMessage());
}

TEST_F(ObjectEntry, HandlesAreReadWithoutSignAndChecked) {
  // The handle -5 reaches the module as the unsigned 32-bit number.
  jobject odd = wrap(0);
  vm.setIntField(odd, "objectID", -5);
  readString(odd, CKA_LABEL);
  EXPECT_EQ(static_cast<long long>(CKR_OBJECT_HANDLE_INVALID), thrownCode());
  std::string line = rec.journal("C_GetAttributeValue").at(0);
  EXPECT_NE(std::string::npos, line.find("hObject=0xfffffffb ")) << line;
  rec.journalClear();

  // Without a session object or without a receiver nothing reaches the module.
  jobject orphan = vm.newObject(kObjectClass);
  vm.setIntField(orphan, "objectID", 1);
  EXPECT_EQ(-1, readInt(orphan, CKA_CLASS));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  write(orphan, CKA_LABEL, newString("x"));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11Object_destroy(env, nullptr, list); });
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  // A field that the VM cannot find: its own error stands.
  vm.failNext("GetFieldID");
  EXPECT_EQ(JNI_FALSE, readBool(dataObject, CKA_TOKEN));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());
}

TEST_F(ObjectEntry, TypedReadsConvertTheValue) {
  EXPECT_EQ("hello", vm.stringOf(readString(dataObject, CKA_LABEL)));
  EXPECT_EQ(static_cast<jint>(CKO_DATA), readInt(dataObject, CKA_CLASS));
  EXPECT_EQ((Bytes{0xca, 0xfe}), vm.bytesOf(readBytes(dataObject, CKA_ID)));
  // The read asks for the length, then for the value.
  std::vector<std::string> reads = rec.journal("C_GetAttributeValue");
  ASSERT_EQ(6u, reads.size());
  EXPECT_EQ("C_GetAttributeValue " + handles(dataObject) +
                " pTemplate=[{type=0x3,len=0x0,val=NULL}] ulCount=0x1 -> 0x0",
            reads[0]);
  EXPECT_EQ("C_GetAttributeValue " + handles(dataObject) +
                " pTemplate=[{type=0x3,len=0x5,val=out}] ulCount=0x1 -> 0x0",
            reads[1]);

  // Any non-zero byte is true; a number keeps its low 32 bits.
  EXPECT_EQ(JNI_TRUE, readBool(holding(CKA_TOKEN, {2}), CKA_TOKEN));
  EXPECT_EQ(JNI_FALSE, readBool(holding(CKA_PRIVATE, {0}), CKA_PRIVATE));
  EXPECT_EQ(-1, readInt(holding(CKA_VALUE_LEN, ulongBytes(~CK_ULONG(0))), CKA_VALUE_LEN));
  EXPECT_EQ(static_cast<jint>(0x80000001u),
            readInt(holding(CKA_KEY_TYPE, ulongBytes(0x80000001u)), CKA_KEY_TYPE));

  // A vendor-defined type reaches the module as the unsigned 32-bit number.
  jobject vendor = holding(0x80000201u, {1, 2, 3});
  rec.journalClear();
  EXPECT_EQ((Bytes{1, 2, 3}), vm.bytesOf(readBytes(vendor, static_cast<jint>(0x80000201u))));
  EXPECT_NE(std::string::npos, rec.journal("C_GetAttributeValue").at(0).find("type=0x80000201,"));

  // A text stops at its first NUL.
  EXPECT_EQ("ab", vm.stringOf(readString(holding(CKA_LABEL, {'a', 'b', 0, 'c'}), CKA_LABEL)));
}

TEST_F(ObjectEntry, TextsBecomeValidModifiedUtf8) {
  // Three-byte sequences stay; a four-byte one becomes a surrogate pair and
  // bytes that start no sequence become U+FFFD.
  jobject label = holding(
      CKA_LABEL, {'A', 0xc3, 0xa9, 0xe2, 0x82, 0xac, 0xf0, 0x9f, 0x98, 0x80, 0xff, 0xc3, 'Z'});
  EXPECT_EQ(std::string("A\xc3\xa9\xe2\x82\xac"
                        "\xed\xa0\xbd\xed\xb8\x80"
                        "\xef\xbf\xbd\xef\xbf\xbd"
                        "Z"),
            vm.stringOf(readString(label, CKA_LABEL)));
  // Overlong and truncated forms are no sequences either.
  jobject overlong = holding(CKA_LABEL, {0xc0, 0xaf, 0xe0, 0x80, 0xaf, 0xf4, 0x90, 0x80, 0x80});
  EXPECT_EQ(9u * 3, vm.stringOf(readString(overlong, CKA_LABEL)).size());
  jobject cut = holding(CKA_LABEL, {'x', 0xe2, 0x82});
  EXPECT_EQ("x\xef\xbf\xbd\xef\xbf\xbd", vm.stringOf(readString(cut, CKA_LABEL)));
}

TEST_F(ObjectEntry, DatesInDigitsOrBinary) {
  jobject ascii = holding(CKA_END_DATE, textBytes("20240315"));
  jobject binary = holding(CKA_END_DATE, {2, 0, 2, 4, 0, 3, 1, 5});
  EXPECT_EQ((fakejni::Date{2024, 3, 15}), vm.dateOf(readDate(ascii, CKA_END_DATE)));
  EXPECT_EQ((fakejni::Date{2024, 3, 15}), vm.dateOf(readDate(binary, CKA_END_DATE)));
  // Only the first eight bytes count.
  jobject longer = holding(CKA_START_DATE, textBytes("19991231xyz"));
  EXPECT_EQ((fakejni::Date{1999, 12, 31}), vm.dateOf(readDate(longer, CKA_START_DATE)));

  // A first byte of 0, an empty or a short value: no date.
  const Bytes voids[] = {{0, '0', '2', '4', '0', '3', '1', '5'}, {}, textBytes("2024031")};
  for (const Bytes& value : voids) {
    EXPECT_EQ(nullptr, readDate(holding(CKA_END_DATE, value), CKA_END_DATE))
        << hex(value.data(), value.size());
    EXPECT_EQ("VOID Date field", thrownMessage());
  }
  // A text that does not parse: the VM's parse exception stands.
  EXPECT_EQ(nullptr, readDate(holding(CKA_END_DATE, textBytes("2024AB15")), CKA_END_DATE));
  EXPECT_EQ("java/text/ParseException", thrownClass());
  // Binary digits past 9 or bytes past ASCII: still a text the VM can take.
  EXPECT_EQ(nullptr, readDate(holding(CKA_END_DATE, {2, 0, 0xd0, 4, 0, 3, 1, 5}), CKA_END_DATE));
  EXPECT_EQ("java/text/ParseException", thrownClass());

  expectVmErrors({"FindClass", "GetMethodID", "NewObject", "NewStringUTF", "CallObjectMethod"},
                 [&] { return readDate(ascii, CKA_END_DATE); });
}

TEST_F(ObjectEntry, BigIntegersAreUnsigned) {
  jobject modulus = holding(CKA_MODULUS, {0x80, 0x01});
  jobject big = readBig(modulus, CKA_MODULUS);
  ASSERT_NE(nullptr, big);
  EXPECT_EQ((Bytes{0x00, 0x80, 0x01}), vm.bigIntegerBytes(big));
  // The constructor received the value behind one zero byte.
  std::vector<fakejni::Value> args = vm.ctorArgs(big);
  ASSERT_EQ(1u, args.size());
  EXPECT_EQ((Bytes{0x00, 0x80, 0x01}), vm.bytesOf(args[0].ref));

  EXPECT_EQ(nullptr, readBig(holding(CKA_PUBLIC_EXPONENT, {}), CKA_PUBLIC_EXPONENT));
  EXPECT_EQ("VOID BigInteger field", thrownMessage());

  expectVmErrors({"NewByteArray", "SetByteArrayRegion", "FindClass", "GetMethodID", "NewObject"},
                 [&] { return readBig(modulus, CKA_MODULUS); });
}

TEST_F(ObjectEntry, EmptyAndShortValues) {
  EXPECT_EQ("", vm.stringOf(readString(holding(CKA_LABEL, {}), CKA_LABEL)));
  expectNothingPending();
  jbyteArray empty = readBytes(holding(CKA_ID, {}), CKA_ID);
  ASSERT_NE(nullptr, empty);
  EXPECT_TRUE(vm.bytesOf(empty).empty());

  EXPECT_EQ(-1, readInt(holding(CKA_CLASS, {}), CKA_CLASS));
  EXPECT_EQ("VOID int field", thrownMessage());
  // Fewer bytes than a CK_ULONG are no number either.
  EXPECT_EQ(-1, readInt(holding(CKA_CLASS, Bytes(sizeof(CK_ULONG) - 1, 0)), CKA_CLASS));
  EXPECT_EQ("VOID int field", thrownMessage());
  EXPECT_EQ(JNI_FALSE, readBool(holding(CKA_TOKEN, {}), CKA_TOKEN));
  EXPECT_EQ("VOID boolean field", thrownMessage());
}

TEST_F(ObjectEntry, ReadFailures) {
  // Missing and sensitive attributes fail in the length query.
  EXPECT_EQ(nullptr, readString(dataObject, CKA_APPLICATION));
  EXPECT_EQ(static_cast<long long>(CKR_ATTRIBUTE_TYPE_INVALID), thrownCode());
  CK_BBOOL yes = CK_TRUE;
  jobject secret = wrap(create(Attributes()
                                   .add(CKA_CLASS, ulongBytes(CKO_SECRET_KEY))
                                   .add(CKA_SENSITIVE, {yes})
                                   .add(CKA_VALUE, {1, 2, 3, 4})));
  rec.journalClear();
  EXPECT_EQ(nullptr, readBytes(secret, CKA_VALUE));
  EXPECT_EQ(static_cast<long long>(CKR_ATTRIBUTE_SENSITIVE), thrownCode());
  EXPECT_EQ(1u, rec.journal("C_GetAttributeValue").size());

  rec.set("RV_C_GetAttributeValue", "0xb3");
  EXPECT_EQ(JNI_FALSE, readBool(dataObject, CKA_TOKEN));
  EXPECT_EQ(0xB3, thrownCode());
  EXPECT_EQ(-1, readInt(dataObject, CKA_CLASS));
  EXPECT_EQ(0xB3, thrownCode());
  EXPECT_EQ(nullptr, readDate(dataObject, CKA_END_DATE));
  EXPECT_EQ(0xB3, thrownCode());
  EXPECT_EQ(nullptr, readBig(dataObject, CKA_MODULUS));
  EXPECT_EQ(0xB3, thrownCode());
  rec.set("RV_C_GetAttributeValue", nullptr);
  rec.set("NULLFN", "C_GetAttributeValue");
  EXPECT_EQ(nullptr, readBytes(dataObject, CKA_ID));
  EXPECT_EQ("Internal error", thrownMessage());
  rec.set("NULLFN", nullptr);

  // The VM cannot make the string or the array: its error stands.
  vm.failNext("NewStringUTF");
  EXPECT_EQ(nullptr, readString(dataObject, CKA_LABEL));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("NewByteArray");
  EXPECT_EQ(nullptr, readBytes(dataObject, CKA_ID));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("SetByteArrayRegion");
  EXPECT_EQ(nullptr, readBytes(dataObject, CKA_ID));
  EXPECT_EQ("java/lang/ArrayIndexOutOfBoundsException", thrownClass());
}

TEST_F(ObjectEntry, GenericReadPicksTheClassByType) {
  jobject dated = wrap(create(Attributes()
                                  .add(CKA_TOKEN, {0})
                                  .add(CKA_END_DATE, textBytes("20310305"))
                                  .add(CKA_MODULUS, {0x01, 0x00, 0x01})));
  jobject number = readAny(dataObject, CKA_CLASS);
  EXPECT_EQ("java/lang/Integer", vm.classNameOf(number));
  EXPECT_EQ(static_cast<long long>(CKO_DATA), vm.field(number, "value").i);
  jobject flag = readAny(dated, CKA_TOKEN);
  EXPECT_EQ("java/lang/Boolean", vm.classNameOf(flag));
  EXPECT_EQ(0, vm.field(flag, "value").i);
  EXPECT_EQ("hello", vm.stringOf(readAny(dataObject, CKA_LABEL)));
  EXPECT_EQ((Bytes{0xca, 0xfe}), vm.bytesOf(readAny(dataObject, CKA_ID)));
  EXPECT_EQ((fakejni::Date{2031, 3, 5}), vm.dateOf(readAny(dated, CKA_END_DATE)));
  EXPECT_EQ((Bytes{0x01, 0x00, 0x01}), vm.bigIntegerBytes(readAny(dated, CKA_MODULUS)));

  // Types in no table are refused before any call.
  rec.journalClear();
  EXPECT_EQ(nullptr, readAny(dataObject, 0x90));
  EXPECT_EQ("Object type not valid", thrownMessage());
  EXPECT_EQ(nullptr, readAny(dataObject, static_cast<jint>(0x80000201u)));
  EXPECT_EQ("Object type not valid", thrownMessage());
  EXPECT_TRUE(rec.journal().empty());

  // A failed read is returned at once, without a box: the only classes
  // looked up are those of the two exceptions.
  int lookups = vm.calls("FindClass");
  EXPECT_EQ(nullptr, readAny(dataObject, CKA_TOKEN));
  EXPECT_EQ(static_cast<long long>(CKR_ATTRIBUTE_TYPE_INVALID), thrownCode());
  EXPECT_EQ(nullptr, readAny(holding(CKA_CLASS, {}), CKA_CLASS));
  EXPECT_EQ("VOID int field", thrownMessage());
  EXPECT_EQ(lookups + 2, vm.calls("FindClass"));
  // A box the VM cannot make.
  vm.failNext("FindClass");
  EXPECT_EQ(nullptr, readAny(dataObject, CKA_CLASS));
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
  vm.failNext("NewObject");
  EXPECT_EQ(nullptr, readAny(dated, CKA_TOKEN));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(ObjectEntry, WritesPassTheConvertedValues) {
  write(dataObject, CKA_LABEL, newString("new"));
  expectNothingPending();
  EXPECT_EQ("C_SetAttributeValue " + handles(dataObject) +
                " pTemplate=[{type=0x3,len=0x3,val=6e6577}] ulCount=0x1 -> 0x0",
            setCall());
  EXPECT_EQ("new", vm.stringOf(readString(dataObject, CKA_LABEL)));

  const std::string ones = hex(Bytes(sizeof(CK_ULONG), 0xff).data(), sizeof(CK_ULONG));
  const std::string width = "0x" + std::to_string(sizeof(CK_ULONG));
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Object_setIntAttributeValue(env, dataObject, list,
                                                                       CKA_VALUE_LEN, -1);
  });
  EXPECT_NE(std::string::npos,
            setCall().find("[{type=0x161,len=" + width + ",val=" + ones + "}] ulCount=0x1"));
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Object_setBoolAttributeValue(
        env, dataObject, list, static_cast<jint>(0x80000201u), JNI_TRUE);
  });
  EXPECT_NE(std::string::npos, setCall().find("[{type=0x80000201,len=0x1,val=01}] ulCount=0x1"));
  EXPECT_EQ(JNI_TRUE, readBool(dataObject, static_cast<jint>(0x80000201u)));

  jintArray types = vm.newInts({CKA_LABEL, CKA_ID, static_cast<jint>(0x80000202u)});
  jobjectArray values = vm.newObjectArray("java/lang/Object",
                                          {newString("two"), vm.newBytes({9}), vm.newInteger(-1)});
  writeAll(dataObject, types, values);
  expectNothingPending();
  EXPECT_EQ("C_SetAttributeValue " + handles(dataObject) +
                " pTemplate=[{type=0x3,len=0x3,val=74776f},{type=0x102,len=0x1,val=09},"
                "{type=0x80000202,len=" +
                width + ",val=" + ones + "}] ulCount=0x3 -> 0x0",
            setCall());
  EXPECT_EQ(std::vector<int>{JNI_ABORT}, vm.releaseModes(types));

  writeAll(dataObject, vm.newInts({}), vm.newObjectArray("java/lang/Object", {}));
  expectNothingPending();
  EXPECT_EQ("C_SetAttributeValue " + handles(dataObject) + " pTemplate=[] ulCount=0x0 -> 0x0",
            setCall());
}

TEST_F(ObjectEntry, WritesThatAreRefused) {
  // A null value is refused; values that do not convert: no call and
  // nothing thrown.
  write(dataObject, CKA_LABEL, nullptr);
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  write(dataObject, CKA_LABEL, vm.newLong(5));
  expectNothingPending();
  writeAll(dataObject, vm.newInts({CKA_LABEL, CKA_ID}),
           vm.newObjectArray("java/lang/Object", {newString("a"), vm.newLong(1)}));
  expectNothingPending();
  // A string whose characters the VM cannot give.
  vm.failNext("GetStringUTFChars");
  write(dataObject, CKA_LABEL, newString("a"));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());

  writeAll(dataObject, vm.newInts({CKA_LABEL}), vm.newObjectArray("java/lang/Object", {}));
  EXPECT_EQ("Different array length", thrownMessage());
  writeAll(dataObject, nullptr, vm.newObjectArray("java/lang/Object", {}));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  writeAll(dataObject, vm.newInts({}), nullptr);
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  EXPECT_TRUE(rec.journal("C_SetAttributeValue").empty());

  // The module refuses: its code is thrown, the converted values are freed.
  jobject locked = wrap(create(Attributes().add(CKA_MODIFIABLE, {0})));
  write(locked, CKA_LABEL, newString("x"));
  EXPECT_EQ(static_cast<long long>(CKR_ACTION_PROHIBITED), thrownCode());
  writeAll(locked, vm.newInts({CKA_LABEL}),
           vm.newObjectArray("java/lang/Object", {newString("x")}));
  EXPECT_EQ(static_cast<long long>(CKR_ACTION_PROHIBITED), thrownCode());
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Object_setIntAttributeValue(env, locked, list,
                                                                       CKA_VALUE_LEN, 1);
  });
  EXPECT_EQ(static_cast<long long>(CKR_ACTION_PROHIBITED), thrownCode());
  rec.set("NULLFN", "C_SetAttributeValue");
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Object_setBoolAttributeValue(env, dataObject, list,
                                                                        CKA_TOKEN, JNI_FALSE);
  });
  EXPECT_EQ("Internal error", thrownMessage());
}

}  // namespace
