// The key-using native methods of NativePKCS11Session (operations, wrapping,
// key generation, the unsupported functions), called as the VM calls them
// through the exported functions of the built library and a fake JNI
// environment, against the recording module.
#include <string>
#include <vector>

#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "jvm.h"
#include "support.h"

using testsupport::hex;
using testsupport::Recorder;

namespace {

const char kObjectClass[] = "it/morvale/pkcs11/nat/NativePKCS11Object";
const char kNull[] = "Internal error (Null parameter)";
const char kOutOfRange[] = "Internal error: length out of range";

// The journal item `key=value` with a leading blank, as it appears in a line.
std::string item(const std::string& key, const std::string& value) {
  return " " + key + "=" + value + " ";
}

// A CK_ULONG as the module holds it: little-endian, the platform's width.
std::string ulongBytes(CK_ULONG value) {
  return hex(&value, sizeof value);
}

class CryptoEntry : public testsupport::Jvm {
 protected:
  void SetUp() override {
    rec.reset();
    rec.clear();
    rec.set("SESSION_BASE", "0x21");
    rec.set("OBJECT_BASE", "0x41");
    jobject p11 = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
    module = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, p11,
                                                                       newString(QREC_MODULE));
    });
    list = call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, p11, module);
    });
    ASSERT_NE(0, list);
    callVoid([&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, p11, list); });
    expectNothingPending();
    functions = reinterpret_cast<CK_FUNCTION_LIST*>(static_cast<intptr_t>(list));
    CK_SESSION_HANDLE handle = 0;
    ASSERT_EQ(CKR_OK, functions->C_OpenSession(0, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                                               nullptr, &handle));
    session = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Session");
    vm.setIntField(session, "sessionID", static_cast<jint>(handle));
    key = keyObject(createKey(0x5A));
    rec.journalClear();
  }
  void TearDown() override {
    rec.clear();
    functions->C_Finalize(nullptr);
    rec.reset();
  }

  // A secret session key whose CKA_VALUE starts with `keyByte` (the byte the
  // recording module mixes into its results).
  CK_OBJECT_HANDLE createKey(CK_BYTE keyByte) {
    CK_OBJECT_CLASS secret = CKO_SECRET_KEY;
    CK_BYTE value[16] = {keyByte, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    CK_ATTRIBUTE attributes[] = {{CKA_CLASS, &secret, sizeof secret},
                                 {CKA_VALUE, value, sizeof value}};
    CK_OBJECT_HANDLE handle = 0;
    EXPECT_EQ(CKR_OK, functions->C_CreateObject(
                          static_cast<CK_SESSION_HANDLE>(vm.intField(session, "sessionID")),
                          attributes, 2, &handle));
    return handle;
  }
  jobject keyObject(CK_OBJECT_HANDLE handle) {
    jobject object = vm.newObject(kObjectClass);
    vm.setIntField(object, "objectID", static_cast<jint>(handle));
    vm.setObjectField(object, "session", session);
    return object;
  }
  // The single journal line of `function`.
  std::string line(const std::string& function) {
    std::vector<std::string> lines = rec.journal(function);
    EXPECT_EQ(1u, lines.size()) << function;
    return lines.empty() ? std::string() : lines.back();
  }
  std::string sessionItem() const { return "hSession=0x21 "; }

  jint sign(jbyteArray data, jint length, jbyteArray out) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(env, session, list, data, 0,
                                                                 length, out);
    });
  }
  jint encrypt(jbyteArray data, jint length, jbyteArray out) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_encrypt(env, session, list, data, 0,
                                                                    length, out);
    });
  }
  jint decrypt(jbyteArray data, jint length, jbyteArray out) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_decrypt(env, session, list, data, 0,
                                                                    length, out);
    });
  }
  void signInit(jint mechanism, jobject signingKey) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_signInit(env, session, list, mechanism,
                                                              nullptr, signingKey);
    });
  }
  void encryptInit(jint mechanism, jobject encryptionKey) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_encryptInit(env, session, list, mechanism,
                                                                 nullptr, encryptionKey);
    });
  }
  void decryptInit(jint mechanism, jobject decryptionKey) {
    callVoid([&] {
      Java_it_morvale_pkcs11_nat_NativePKCS11Session_decryptInit(env, session, list, mechanism,
                                                                 nullptr, decryptionKey);
    });
  }
  jint wrapKey(jobject wrapping, jobject wrapped, jbyteArray out) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_wrapKey(
          env, session, list, CKM_AES_ECB, nullptr, wrapping, wrapped, out);
    });
  }
  jobject unwrapKey(jbyteArray wrapped, jint length, jintArray types, jobjectArray values) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_unwrapKey(
          env, session, list, CKM_AES_ECB, nullptr, key, wrapped, 0, length, types, values);
    });
  }
  jobject generateKey(jintArray types, jobjectArray values) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKey(
          env, session, list, CKM_AES_KEY_GEN, nullptr, types, values);
    });
  }
  jobjectArray generateKeyPair(jintArray publicTypes, jobjectArray publicValues,
                               jintArray privateTypes, jobjectArray privateValues) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPair(
          env, session, list, CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, publicTypes, publicValues,
          privateTypes, privateValues);
    });
  }
  jobjectArray generateKeyPairOB(jboolean identity) {
    return call([&] {
      return Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPairOB(
          env, session, list, CKM_RSA_PKCS_KEY_PAIR_GEN, identity);
    });
  }

  jobjectArray values(const std::vector<jobject>& elements) {
    return vm.newObjectArray("java/lang/Object", elements);
  }
  // A new key object of this session, as the bridge builds it.
  void expectKeyObject(jobject object, CK_OBJECT_HANDLE handle) {
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(kObjectClass, vm.classNameOf(object));
    EXPECT_EQ(static_cast<jint>(handle), vm.intField(object, "objectID"));
    EXPECT_TRUE(vm.sameObject(session, vm.objectField(object, "session")));
  }

  Recorder& rec = Recorder::at(QREC_MODULE);
  CK_FUNCTION_LIST* functions = nullptr;
  jlong module = 0;
  jlong list = 0;
  jobject session = nullptr;
  jobject key = nullptr;
};

TEST_F(CryptoEntry, OperationStartsPassTheBareMechanismAndTheKey) {
  signInit(CKM_SHA256_RSA_PKCS, key);
  encryptInit(CKM_AES_ECB, key);
  decryptInit(CKM_AES_ECB, key);
  expectNothingPending();
  const char* functionNames[] = {"C_SignInit", "C_EncryptInit", "C_DecryptInit"};
  const char* mechanisms[] = {"{mech=0x40,param=NULL,len=0x0}", "{mech=0x1081,param=NULL,len=0x0}",
                              "{mech=0x1081,param=NULL,len=0x0}"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(std::string(functionNames[i]) + " hSession=0x21 pMechanism=" + mechanisms[i] +
                  " hKey=0x41 -> 0x0",
              line(functionNames[i]));
  }
}

TEST_F(CryptoEntry, OperationStartFailures) {
  // No key object: refused before the module is called.
  signInit(CKM_SHA256_RSA_PKCS, nullptr);
  EXPECT_EQ(kNull, thrownMessage());
  // An object without an objectID field: the VM's error stands.
  encryptInit(CKM_AES_ECB, newString("not a key"));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  EXPECT_TRUE(rec.journal().empty());

  // A mechanism type is an unsigned 32-bit number: -1 arrives as 0xffffffff
  // on both platforms, and the module refuses it.
  decryptInit(-1, key);
  EXPECT_EQ(static_cast<long long>(CKR_MECHANISM_INVALID), thrownCode());
  EXPECT_EQ(
      "C_DecryptInit hSession=0x21 pMechanism={mech=0xffffffff,param=NULL,len=0x0} "
      "hKey=0x41 -> 0x70",
      line("C_DecryptInit"));
  rec.set("RV_C_SignInit", "0x82");
  signInit(CKM_SHA256_RSA_PKCS, key);
  EXPECT_EQ(0x82, thrownCode());
  rec.set("RV_C_SignInit", "0x80000001");
  signInit(CKM_SHA256_RSA_PKCS, key);
  EXPECT_EQ("Internal error", thrownMessage());
  rec.set("NULLFN", "C_EncryptInit");
  encryptInit(CKM_AES_ECB, key);
  EXPECT_EQ("Internal error", thrownMessage());
  EXPECT_TRUE(rec.journal("C_EncryptInit").empty());
  encryptInit(CKM_AES_ECB, key);
  callVoid([&] {
    Java_it_morvale_pkcs11_nat_NativePKCS11Session_decryptInit(env, session, 0, CKM_AES_ECB,
                                                               nullptr, key);
  });
  EXPECT_EQ("Internal error", thrownMessage()) << "a null function list";
}

TEST_F(CryptoEntry, SignAsksForTheLengthThenSigns) {
  signInit(CKM_SHA256_RSA_PKCS, key);
  rec.journalClear();
  jbyteArray data = vm.newBytes({1, 2, 3, 4, 5});
  EXPECT_EQ(256, sign(data, 3, nullptr));
  EXPECT_EQ(256, sign(data, 3, vm.newBytes({})));
  std::vector<std::string> queries = rec.journal("C_Sign");
  ASSERT_EQ(2u, queries.size());
  for (const std::string& query : queries)
    EXPECT_EQ(
        "C_Sign hSession=0x21 pData=010203 ulDataLen=0x3 pSignature=NULL "
        "*pulSignatureLen=0x0 -> 0x0",
        query);

  rec.journalClear();
  jbyteArray signature = vm.newBytes(fakejni::Bytes(300, 0xEE));
  EXPECT_EQ(256, sign(data, 3, signature));
  EXPECT_NE(std::string::npos, line("C_Sign").find("pSignature=out *pulSignatureLen=0x12c"));
  fakejni::Bytes produced = vm.bytesOf(signature);
  const unsigned char in[] = {1, 2, 3};
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(static_cast<unsigned char>(in[i % 3] ^ 0x5A ^ i), produced[i]) << i;
  EXPECT_EQ(0xEE, produced[256]) << "past the signature the array is untouched";
  EXPECT_EQ((fakejni::Bytes{1, 2, 3, 4, 5}), vm.bytesOf(data)) << "the data is only read";

  // The operation ended: the module says so.
  EXPECT_EQ(-1, sign(data, 3, signature));
  EXPECT_EQ(static_cast<long long>(CKR_OPERATION_NOT_INITIALIZED), thrownCode());
}

TEST_F(CryptoEntry, EncryptTellsTheOutputLengthAndDecryptUndoesIt) {
  jbyteArray data = vm.newBytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  jbyteArray cipher = vm.newBytes(fakejni::Bytes(32, 0));
  encryptInit(CKM_AES_ECB, key);
  EXPECT_EQ(16, encrypt(data, 16, cipher));
  EXPECT_NE(std::string::npos,
            line("C_Encrypt").find(item("pEncryptedData", "out") + "*pulEncryptedDataLen=0x20 "))
      << "the capacity is the output array's length";
  fakejni::Bytes encrypted = vm.bytesOf(cipher);
  for (int i = 0; i < 16; ++i) ASSERT_EQ(i ^ 0x5A, encrypted[i]) << i;
  EXPECT_EQ(0, encrypted[16]) << "only the bytes produced are written";

  // In place: the result written into the data's own array stays there.
  jbyteArray inPlace = vm.newBytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  encryptInit(CKM_AES_ECB, key);
  EXPECT_EQ(16, encrypt(inPlace, 16, inPlace));
  EXPECT_EQ(fakejni::Bytes(encrypted.begin(), encrypted.begin() + 16), vm.bytesOf(inPlace));

  // Data and outputs longer than the bridge's stack buffer go through the
  // heap, with the same result.
  fakejni::Bytes long_(5000);
  for (size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<unsigned char>(i * 7);
  jbyteArray longOut = vm.newBytes(fakejni::Bytes(6000, 0xEE));
  encryptInit(CKM_AES_ECB, key);
  EXPECT_EQ(5000, encrypt(vm.newBytes(long_), 5000, longOut));
  fakejni::Bytes longCipher = vm.bytesOf(longOut);
  for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(long_[i] ^ 0x5A, longCipher[i]) << i;
  EXPECT_EQ(0xEE, longCipher[5000]);

  decryptInit(CKM_AES_ECB, key);
  EXPECT_EQ(16, decrypt(cipher, 16, nullptr)) << "size query";
  EXPECT_NE(std::string::npos, rec.journal("C_Decrypt")[0].find("pData=NULL *pulDataLen=0x0"));
  jbyteArray plain = vm.newBytes(fakejni::Bytes(16, 0));
  EXPECT_EQ(16, decrypt(cipher, 16, plain));
  EXPECT_EQ(vm.bytesOf(data), vm.bytesOf(plain));

  // A result longer than the data fits when the output array has room; one
  // longer than the output array is the module's CKR_BUFFER_TOO_SMALL.
  rec.set("ENCRYPT_LEN", "20");
  encryptInit(CKM_AES_ECB, key);
  EXPECT_EQ(20, encrypt(data, 16, cipher));
  rec.set("ENCRYPT_LEN", "40");
  encryptInit(CKM_AES_ECB, key);
  rec.journalClear();
  EXPECT_EQ(-1, encrypt(data, 16, cipher));
  EXPECT_EQ(static_cast<long long>(CKR_BUFFER_TOO_SMALL), thrownCode());
  EXPECT_NE(std::string::npos, line("C_Encrypt").find("*pulEncryptedDataLen=0x20 -> 0x150"));
}

TEST_F(CryptoEntry, SinglePartArgumentsAreCheckedBeforeTheModule) {
  jbyteArray data = vm.newBytes({1, 2, 3, 4});
  jbyteArray out = vm.newBytes(fakejni::Bytes(8, 0));
  signInit(CKM_SHA256_RSA_PKCS, key);
  encryptInit(CKM_AES_ECB, key);
  decryptInit(CKM_AES_ECB, key);
  rec.journalClear();

  // Lengths beyond the data array, or negative, would let the module read
  // past it.
  EXPECT_EQ(-1, sign(data, 5, out));
  EXPECT_EQ(kOutOfRange, thrownMessage());
  EXPECT_EQ(-1, decrypt(data, -1, out));
  EXPECT_EQ(kOutOfRange, thrownMessage());
  EXPECT_EQ(-1, encrypt(data, 5, out));
  EXPECT_EQ(kOutOfRange, thrownMessage());
  EXPECT_EQ(-1, sign(nullptr, 0, out));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(-1, encrypt(data, 4, nullptr)) << "encrypt has no size query";
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(-1, decrypt(nullptr, 0, nullptr));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_TRUE(rec.journal().empty());

  // Every operation is still running: an empty range is fine.
  EXPECT_EQ(0, encrypt(data, 0, out));
  rec.set("RV_C_Decrypt", "0x40");
  EXPECT_EQ(-1, decrypt(data, 4, out));
  EXPECT_EQ(0x40, thrownCode());
  EXPECT_EQ(fakejni::Bytes(8, 0), vm.bytesOf(out)) << "nothing produced, nothing written";
  rec.set("NULLFN", "C_Sign");
  EXPECT_EQ(-1, sign(data, 4, out));
  EXPECT_EQ("Internal error", thrownMessage());
  // A session field that cannot be read.
  EXPECT_EQ(-1, call([&] {
    return Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(env, newString("no session"), list,
                                                               data, 0, 4, out);
  }));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
}

TEST_F(CryptoEntry, WrapKeyAnnouncesTheOutputArray) {
  CK_OBJECT_HANDLE wrapping = createKey(0x0F);
  rec.journalClear();
  jbyteArray out = vm.newBytes(fakejni::Bytes(256, 0x77));
  EXPECT_EQ(16, wrapKey(keyObject(wrapping), key, out));
  EXPECT_EQ(
      "C_WrapKey hSession=0x21 pMechanism={mech=0x1081,param=NULL,len=0x0} "
      "hWrappingKey=0x42 hKey=0x41 pWrappedKey=out *pulWrappedKeyLen=0x100 -> 0x0",
      line("C_WrapKey"));
  fakejni::Bytes wrapped = vm.bytesOf(out);
  EXPECT_EQ(0x5A ^ 0x0F, wrapped[0]);
  EXPECT_EQ(15 ^ 0x0F, wrapped[15]);
  EXPECT_EQ(0x77, wrapped[16]) << "only the wrapped key is written";

  EXPECT_EQ(-1, wrapKey(keyObject(wrapping), key, vm.newBytes({0, 0})));
  EXPECT_EQ(static_cast<long long>(CKR_BUFFER_TOO_SMALL), thrownCode());
  EXPECT_EQ(-1, wrapKey(keyObject(wrapping), key, nullptr));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(-1, wrapKey(nullptr, key, out));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(-1, wrapKey(key, nullptr, out));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(-1, wrapKey(key, keyObject(0x99), out));
  EXPECT_EQ(static_cast<long long>(CKR_KEY_HANDLE_INVALID), thrownCode());
}

TEST_F(CryptoEntry, UnwrapKeyMakesANewKeyObject) {
  jbyteArray wrapped = vm.newBytes({0x5A, 0x5B, 0x5C, 0x5D, 0x77});
  jobject unwrapped = unwrapKey(wrapped, 4, vm.newInts({CKA_CLASS, CKA_LABEL}),
                                values({vm.newInteger(CKO_SECRET_KEY), newString("unwrapped")}));
  expectKeyObject(unwrapped, 0x42);
  EXPECT_EQ(
      "C_UnwrapKey hSession=0x21 pMechanism={mech=0x1081,param=NULL,len=0x0} "
      "hUnwrappingKey=0x41 pWrappedKey=5a5b5c5d ulWrappedKeyLen=0x4 pTemplate=[{type=0x0,len=0x" +
          std::to_string(sizeof(CK_ULONG)) + ",val=" + ulongBytes(CKO_SECRET_KEY) +
          "},{type=0x3,len=0x9,val=" + hex("unwrapped", 9) +
          "}] ulAttributeCount=0x2 phKey=out -> 0x0",
      line("C_UnwrapKey"));

  rec.journalClear();
  expectKeyObject(unwrapKey(wrapped, 0, vm.newInts({}), values({})), 0x43);
  EXPECT_NE(std::string::npos, line("C_UnwrapKey").find("pTemplate=[] ulAttributeCount=0x0"));
}

TEST_F(CryptoEntry, UnwrapKeyFailures) {
  jbyteArray wrapped = vm.newBytes({1, 2, 3, 4});
  jintArray noTypes = vm.newInts({});
  jobjectArray noValues = values({});
  EXPECT_EQ(nullptr, unwrapKey(wrapped, 5, noTypes, noValues));
  EXPECT_EQ(kOutOfRange, thrownMessage());
  EXPECT_EQ(nullptr, unwrapKey(nullptr, 0, noTypes, noValues));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(nullptr, unwrapKey(wrapped, 4, nullptr, noValues));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(nullptr,
            unwrapKey(wrapped, 4, vm.newInts({CKA_LABEL, CKA_ID}), values({newString("one")})));
  EXPECT_EQ("Different array length", thrownMessage());
  // A value of no convertible class: no module call and no exception of the
  // bridge's own.
  EXPECT_EQ(nullptr, unwrapKey(wrapped, 4, vm.newInts({CKA_LABEL, CKA_ID}),
                               values({newString("one"), vm.newLong(2)})));
  expectNothingPending();
  EXPECT_TRUE(rec.journal().empty());

  rec.set("RV_C_UnwrapKey", "0xF0");
  EXPECT_EQ(nullptr, unwrapKey(wrapped, 4, noTypes, noValues));
  EXPECT_EQ(0xF0, thrownCode());
  EXPECT_EQ((fakejni::Bytes{1, 2, 3, 4}), vm.bytesOf(wrapped)) << "the wrapped key is only read";
  rec.set("RV_C_UnwrapKey", nullptr);

  // The key is made but its Java object cannot be: the VM's error stands.
  rec.journalClear();
  vm.failNext("NewObject");
  EXPECT_EQ(nullptr, unwrapKey(wrapped, 4, noTypes, noValues));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  EXPECT_NE(std::string::npos, line("C_UnwrapKey").find("-> 0x0"));
}

TEST_F(CryptoEntry, GenerateKeyPassesItsTemplate) {
  expectKeyObject(generateKey(vm.newInts({}), values({})), 0x42);
  EXPECT_EQ(
      "C_GenerateKey hSession=0x21 pMechanism={mech=0x1080,param=NULL,len=0x0} "
      "pTemplate=[] ulCount=0x0 phKey=out -> 0x0",
      line("C_GenerateKey"));
  rec.journalClear();
  expectKeyObject(generateKey(vm.newInts({CKA_VALUE_LEN, CKA_TOKEN}),
                              values({vm.newInteger(-1), vm.newBoolean(true)})),
                  0x43);
  EXPECT_NE(std::string::npos,
            line("C_GenerateKey")
                .find("pTemplate=[{type=0x161,len=0x" + std::to_string(sizeof(CK_ULONG)) +
                      ",val=" + std::string(2 * sizeof(CK_ULONG), 'f') +
                      "},{type=0x1,len=0x1,val=01}] ulCount=0x2"))
      << "Integer values keep their sign";

  rec.journalClear();
  EXPECT_EQ(nullptr,
            generateKey(vm.newInts({CKA_TOKEN, CKA_LABEL}), values({vm.newBoolean(true)})));
  EXPECT_EQ("Different array length", thrownMessage());
  EXPECT_EQ(nullptr, generateKey(vm.newInts({}), nullptr));
  EXPECT_EQ(kNull, thrownMessage());
  EXPECT_EQ(nullptr, generateKey(vm.newInts({CKA_TOKEN}), values({vm.newLong(1)})));
  expectNothingPending();
  EXPECT_TRUE(rec.journal().empty());
  rec.set("RV_C_GenerateKey", "0x130");
  EXPECT_EQ(nullptr, generateKey(vm.newInts({}), values({})));
  EXPECT_EQ(0x130, thrownCode());
}

TEST_F(CryptoEntry, GenerateKeyPairReturnsPublicThenPrivate) {
  jobjectArray pair = generateKeyPair(vm.newInts({CKA_LABEL}), values({newString("pub")}),
                                      vm.newInts({CKA_SIGN, CKA_ID}),
                                      values({vm.newBoolean(true), vm.newBytes({9, 8})}));
  ASSERT_NE(nullptr, pair);
  EXPECT_EQ("[Ljava/lang/Object;", vm.classNameOf(pair));
  std::vector<jobject> keys = vm.arrayElements(pair);
  ASSERT_EQ(2u, keys.size());
  expectKeyObject(keys[0], 0x42);
  expectKeyObject(keys[1], 0x43);
  EXPECT_EQ(
      "C_GenerateKeyPair hSession=0x21 pMechanism={mech=0x0,param=NULL,len=0x0} "
      "pPublicKeyTemplate=[{type=0x3,len=0x3,val=707562}] ulPublicKeyAttributeCount=0x1 "
      "pPrivateKeyTemplate=[{type=0x108,len=0x1,val=01},{type=0x102,len=0x2,val=0908}] "
      "ulPrivateKeyAttributeCount=0x2 phPublicKey=out phPrivateKey=out -> 0x0",
      line("C_GenerateKeyPair"));
  rec.journalClear();
  EXPECT_NE(nullptr, generateKeyPair(vm.newInts({}), values({}), vm.newInts({}), values({})));
  EXPECT_NE(std::string::npos, line("C_GenerateKeyPair")
                                   .find("pPublicKeyTemplate=[] ulPublicKeyAttributeCount=0x0 "
                                         "pPrivateKeyTemplate=[] ulPrivateKeyAttributeCount=0x0"));
}

TEST_F(CryptoEntry, GenerateKeyPairFailures) {
  jintArray three = vm.newInts({CKA_TOKEN, CKA_LABEL, CKA_ID});
  jobjectArray two = values({vm.newBoolean(true), newString("x")});
  // The public pair is compared first, before the private arrays are read.
  EXPECT_EQ(nullptr, generateKeyPair(three, two, nullptr, nullptr));
  EXPECT_EQ("Different array length for PublicKey", thrownMessage());
  EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({}), values({}), three, two));
  EXPECT_EQ("Different array length for PrivateKey", thrownMessage());
  EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({}), values({}), nullptr, values({})));
  EXPECT_EQ(kNull, thrownMessage());
  // The second private value does not convert: every value converted so far
  // is freed (the leak checker of this suite sees any that is not).
  EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({CKA_LABEL, CKA_ID}),
                                     values({newString("pub"), vm.newBytes({1})}),
                                     vm.newInts({CKA_SIGN, CKA_ID}),
                                     values({vm.newBoolean(true), vm.newLong(5)})));
  expectNothingPending();
  EXPECT_TRUE(rec.journal().empty()) << "no module call";

  rec.set("RV_C_GenerateKeyPair", "0x80000000");
  EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({}), values({}), vm.newInts({}), values({})));
  EXPECT_EQ("Internal error", thrownMessage());
  rec.set("RV_C_GenerateKeyPair", nullptr);

  // Each Java object of the result that cannot be made leaves the VM's error.
  struct Failure {
    const char* function;
    int nth;
    const char* error;
  } failures[] = {{"FindClass", 1, "java/lang/NoClassDefFoundError"},
                  {"GetMethodID", 1, "java/lang/NoSuchMethodError"},
                  {"NewObject", 1, "java/lang/OutOfMemoryError"},
                  {"NewObject", 2, "java/lang/OutOfMemoryError"},
                  {"FindClass", 2, "java/lang/NoClassDefFoundError"},
                  {"NewObjectArray", 1, "java/lang/OutOfMemoryError"}};
  for (const Failure& failure : failures) {
    vm.failNth(failure.function, failure.nth);
    EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({}), values({}), vm.newInts({}), values({})))
        << failure.function << " " << failure.nth;
    EXPECT_EQ(failure.error, thrownClass()) << failure.function << " " << failure.nth;
  }
  vm.failNth("SetObjectArrayElement", 2);
  EXPECT_EQ(nullptr, generateKeyPair(vm.newInts({}), values({}), vm.newInts({}), values({})));
  EXPECT_FALSE(thrownClass().empty());
}

TEST_F(CryptoEntry, FixedKeyPairTemplatesForIdentityAndUtility) {
  const std::string modulusBits = sizeof(CK_ULONG) == 8 ? "0004000000000000" : "00040000";
  const std::string publicStart = "pPublicKeyTemplate=[{type=0x121,len=0x" +
                                  std::to_string(sizeof(CK_ULONG)) + ",val=" + modulusBits +
                                  "},{type=0x122,len=0x3,val=010001},{type=0x1,len=0x1,val=01},";
  struct Case {
    jboolean flag;
    std::string label;
    const char* vendorType;
  } cases[] = {{JNI_TRUE, "4964656e74697479", "0x80006002"},    // "Identity"
               {JNI_FALSE, "5574696c69747900", "0x80006001"}};  // "Utility" and its NUL
  for (const Case& c : cases) {
    rec.journalClear();
    testsupport::CaptureStdout out;
    jobjectArray pair = generateKeyPairOB(c.flag);
    EXPECT_EQ(
        "Start generating keypair...Done.\n"
        "Clearing memory...\n"
        "    --> Public attr values done\n"
        "...    --> Public attr done\n"
        "...    --> Private attr value done\n"
        "...    --> Private attr done\n"
        "...Done.\n",
        out.text())
        << "printed with tracing off";
    ASSERT_NE(nullptr, pair);
    std::vector<jobject> keys = vm.arrayElements(pair);
    ASSERT_EQ(2u, keys.size());
    EXPECT_EQ(kObjectClass, vm.classNameOf(keys[0]));
    EXPECT_EQ(vm.intField(keys[0], "objectID") + 1, vm.intField(keys[1], "objectID"));
    EXPECT_EQ("C_GenerateKeyPair hSession=0x21 pMechanism={mech=0x0,param=NULL,len=0x0} " +
                  publicStart + "{type=0x3,len=0x8,val=" + c.label +
                  "}] ulPublicKeyAttributeCount=0x4 pPrivateKeyTemplate=[{type=0x1,len=0x1,val="
                  "01},{type=0x108,len=0x1,val=01},{type=0x109,len=0x1,val=01},{type=" +
                  c.vendorType +
                  ",len=0x1,val=01}] ulPrivateKeyAttributeCount=0x4 phPublicKey=out "
                  "phPrivateKey=out -> 0x0",
              line("C_GenerateKeyPair"));
  }
}

TEST_F(CryptoEntry, FixedKeyPairFailuresStillClearUp) {
  rec.set("RV_C_GenerateKeyPair", "0x6");
  {
    testsupport::CaptureStdout out;
    EXPECT_EQ(nullptr, generateKeyPairOB(JNI_TRUE));
    EXPECT_EQ(6, thrownCode());
    std::string text = out.text();
    EXPECT_EQ(0u, text.find("Start generating keypair...Done.\nClearing memory...\n")) << text;
    EXPECT_EQ(text.size() - 9, text.rfind("...Done.\n")) << text;
  }
  rec.set("RV_C_GenerateKeyPair", nullptr);
  vm.failNext("NewObjectArray");
  EXPECT_EQ(nullptr, generateKeyPairOB(JNI_FALSE));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  // Without a readable session nothing is printed and nothing is called.
  rec.journalClear();
  testsupport::CaptureStdout out;
  EXPECT_EQ(nullptr, call([&] {
              return Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPairOB(
                  env, key, list, CKM_RSA_PKCS_KEY_PAIR_GEN, JNI_TRUE);
            }));
  EXPECT_EQ("java/lang/NoSuchFieldError", thrownClass());
  EXPECT_EQ("", out.text());
  EXPECT_TRUE(rec.journal().empty());
}

#define NAT(name) Java_it_morvale_pkcs11_nat_NativePKCS11Session_##name

TEST_F(CryptoEntry, UnsupportedOperationsOnlyThrow) {
  jbyteArray bytes = vm.newBytes({1, 2});
  vm.clearJournal();
  // Each returns its fixed value and leaves its message pending.
  struct Row {
    const char* name;
    long long result;
    std::string message;
  };
  std::vector<Row> seen;
  auto row = [&](const char* name, long long result) {
    seen.push_back({name, result, thrownMessage()});
  };
  auto value = [&](auto body) { return static_cast<long long>(call(body)); };
  auto object = [&](auto body) { return call(body) == nullptr ? 0LL : 1LL; };
  auto none = [&](auto body) {
    callVoid(body);
    return 0LL;
  };
  jintArray types = vm.newInts({});
  jobjectArray noValues = values({});
  row("signUpdate", none([&] { NAT(signUpdate)(env, session, list, bytes, 0, 2); }));
  row("signFinal", value([&] { return NAT(signFinal)(env, session, list, bytes); }));
  row("getOperationState", object([&] { return NAT(getOperationState)(env, session, list); }));
  row("setOperationState", none([&] {
        NAT(setOperationState)
        (env, session, list, bytes, key, key);
      }));
  row("encryptUpdate",
      value([&] { return NAT(encryptUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("encryptFinal", value([&] { return NAT(encryptFinal)(env, session, list, bytes); }));
  row("decryptUpdate",
      value([&] { return NAT(decryptUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("decryptFinal", value([&] { return NAT(decryptFinal)(env, session, list, bytes); }));
  row("digestInit", none([&] { NAT(digestInit)(env, session, list, 0x250, bytes); }));
  row("digest", value([&] { return NAT(digest)(env, session, list, bytes, 0, 2, bytes); }));
  row("digestUpdate", none([&] { NAT(digestUpdate)(env, session, list, bytes, 0, 2); }));
  row("digestKey", none([&] { NAT(digestKey)(env, session, list, key); }));
  row("digestFinal", value([&] { return NAT(digestFinal)(env, session, list, bytes); }));
  row("signRecoverInit", none([&] { NAT(signRecoverInit)(env, session, list, 1, bytes, key); }));
  row("signRecover",
      value([&] { return NAT(signRecover)(env, session, list, bytes, 0, 2, bytes); }));
  row("verifyInit", none([&] { NAT(verifyInit)(env, session, list, 1, bytes, key); }));
  row("verify", value([&] { return NAT(verify)(env, session, list, bytes, 0, 2, bytes); }));
  row("verifyUpdate", none([&] { NAT(verifyUpdate)(env, session, list, bytes, 0, 2); }));
  row("verifyFinal", value([&] { return NAT(verifyFinal)(env, session, list, bytes); }));
  row("verifyRecoverInit", none([&] {
        NAT(verifyRecoverInit)
        (env, session, list, 1, bytes, key);
      }));
  row("verifyRecover",
      value([&] { return NAT(verifyRecover)(env, session, list, bytes, 0, 2, bytes); }));
  row("digestEncryptUpdate",
      value([&] { return NAT(digestEncryptUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("decryptDigestUpdate",
      value([&] { return NAT(decryptDigestUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("signEncryptUpdate",
      value([&] { return NAT(signEncryptUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("decryptVerifyUpdate",
      value([&] { return NAT(decryptVerifyUpdate)(env, session, list, bytes, 0, 2, bytes); }));
  row("deriveKey",
      object([&] { return NAT(deriveKey)(env, session, list, 1, bytes, key, types, noValues); }));
  row("seedRandom", none([&] { NAT(seedRandom)(env, session, list, bytes); }));
  row("generateRandom", none([&] { NAT(generateRandom)(env, session, list, bytes); }));
  row("getFunctionStatus", value([&] { return NAT(getFunctionStatus)(env, session, list); }));
  row("cancelFunction", none([&] { NAT(cancelFunction)(env, session, list); }));

  for (const Row& r : seen) {
    std::string name = r.name;
    bool yet = name == "signUpdate" || name == "signFinal";
    EXPECT_EQ(yet ? "Not supported YET" : "Not supported", r.message) << name;
    EXPECT_EQ(name == "signFinal" ? -1 : 0, r.result) << name;
  }
  // No argument is read: no field, no array, no module call.
  for (const std::string& jni : vm.journal()) {
    EXPECT_EQ(std::string::npos, jni.find("Field")) << jni;
    EXPECT_EQ(std::string::npos, jni.find("Array")) << jni;
  }
  EXPECT_TRUE(rec.journal().empty());
}

}  // namespace
