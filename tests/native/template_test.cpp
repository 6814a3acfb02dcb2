// Java values becoming CK_ATTRIBUTE values, and whole templates from a Java
// int[] of types and Object[] of values, in a fake JVM. The byte widths are
// the platform's: CK_ULONG has 8 bytes on Linux and 4 on Windows.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "jvm.h"
#include "support.h"
#include "template.h"

using testsupport::hex;

namespace {

class Attributes : public testsupport::Jvm {
 protected:
  // Converts `value` and returns its bytes as hex; "failed" when it did not
  // convert (then nothing may be allocated).
  std::string convert(jint type, jobject value) {
    CK_ATTRIBUTE attr;
    int ok = call([&] { return J2CK_ATTR(env, type, value, &attr); });
    EXPECT_EQ(static_cast<CK_ULONG>(static_cast<uint32_t>(type)), attr.type)
        << "the type is set in every case, without sign";
    if (!ok) {
      EXPECT_EQ(nullptr, attr.pValue);
      return "failed";
    }
    EXPECT_NE(nullptr, attr.pValue) << "a block also for an empty value";
    std::string bytes = hex(attr.pValue, attr.ulValueLen);
    free(attr.pValue);
    return bytes;
  }
};

TEST_F(Attributes, TheValueClassDecidesTheEncoding) {
  const std::string allOnes(2 * sizeof(CK_ULONG), 'f');
  EXPECT_EQ(allOnes, convert(CKA_VALUE_LEN, vm.newInteger(-1)));
  EXPECT_EQ(sizeof(CK_ULONG) == 8 ? "0004000000000000" : "00040000",
            convert(CKA_MODULUS_BITS, vm.newInteger(1024)));
  EXPECT_EQ(sizeof(CK_ULONG) == 8 ? "0500000000000000" : "05000000",
            convert(CKA_LABEL, vm.newInteger(5)))
      << "an Integer under a text attribute is still a CK_ULONG";
  EXPECT_EQ("01", convert(CKA_TOKEN, vm.newBoolean(true)));
  EXPECT_EQ("00", convert(CKA_TOKEN, vm.newBoolean(false)));
  EXPECT_EQ("68c3a96c6c6f", convert(CKA_LABEL, vm.newString("h\xc3\xa9llo")));
  EXPECT_EQ("", convert(CKA_LABEL, vm.newString("")));
  EXPECT_EQ("00ff7f", convert(CKA_ID, vm.newBytes({0, 255, 127})));
  EXPECT_EQ("", convert(CKA_ID, vm.newBytes(fakejni::Bytes{})));
  EXPECT_EQ("3230333130333035", convert(CKA_END_DATE, vm.newDate(2031, 3, 5)));
}

TEST_F(Attributes, BigIntegersLoseOneLeadingZero) {
  EXPECT_EQ("010001", convert(CKA_PUBLIC_EXPONENT, vm.newBigInteger({0x01, 0x00, 0x01})));
  EXPECT_EQ("ff", convert(CKA_MODULUS, vm.newBigInteger({0x00, 0xff})));
  EXPECT_EQ("", convert(CKA_MODULUS, vm.newBigInteger({0x00})));
  EXPECT_EQ("ff", convert(CKA_MODULUS, vm.newBigInteger({0xff})));
  EXPECT_EQ("80", convert(CKA_MODULUS, vm.newBigInteger({0x00, 0x80})))
      << "a positive number whose top bit is set";
}

TEST_F(Attributes, VendorTypesAreUnsigned) {
  CK_ATTRIBUTE attr;
  ASSERT_EQ(1, call([&] {
              return J2CK_ATTR(env, static_cast<jint>(0x80000201UL), vm.newBytes({1}), &attr);
            }));
  EXPECT_EQ(static_cast<CK_ULONG>(0x80000201UL), attr.type);
  free(attr.pValue);
}

TEST_F(Attributes, WhatDoesNotConvertLeavesNothingBehind) {
  EXPECT_EQ("failed", convert(CKA_VALUE, vm.newLong(7)));
  expectNothingPending();
  EXPECT_EQ("failed", convert(CKA_VALUE, nullptr));
  expectNothingPending();

  vm.failNext("GetStringUTFChars");
  EXPECT_EQ("failed", convert(CKA_LABEL, vm.newString("x")));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("FindClass");
  EXPECT_EQ("failed", convert(CKA_LABEL, vm.newString("x")));
  EXPECT_EQ("java/lang/NoClassDefFoundError", thrownClass());
  vm.failNext("CallObjectMethod");
  EXPECT_EQ("failed", convert(CKA_MODULUS, vm.newBigInteger({1})));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
  vm.failNext("NewObject");
  EXPECT_EQ("failed", convert(CKA_START_DATE, vm.newDate(2024, 1, 1)));
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST(AttributeTables, EveryEntryIsCompared) {
  EXPECT_EQ(1, isIn(-1, J_INT)) << "unused entries hold -1";
  EXPECT_EQ(0, isIn(-1, J_BOOL)) << "all seventeen entries of J_BOOL are types";
  EXPECT_EQ(1, isIn(CKA_LABEL, J_STR));
  EXPECT_EQ(1, isIn(CKA_MODIFIABLE, J_BOOL));
  EXPECT_EQ(1, isIn(CKA_EC_POINT, J_BYTE));
  EXPECT_EQ(1, isIn(CKA_END_DATE, J_DATE));
  EXPECT_EQ(1, isIn(CKA_BASE, J_BIGI));
  EXPECT_EQ(0, isIn(0x90, J_INT) + isIn(0x90, J_BOOL) + isIn(0x90, J_STR) + isIn(0x90, J_BYTE) +
                   isIn(0x90, J_DATE) + isIn(0x90, J_BIGI));
}

class Templates : public testsupport::Jvm {
 protected:
  jobjectArray values(const std::vector<jobject>& elements) {
    return vm.newObjectArray("java/lang/Object", elements);
  }
  bool build(quillon::Template& t, jintArray types, jobjectArray vals,
             quillon::Template::Tracing tracing = quillon::Template::kQuiet) {
    return call(
        [&] { return t.build(types, vals, "Different array length", "Out of memory", tracing); });
  }
};

TEST_F(Templates, EveryValueIsConvertedAndTheTypesReleasedWithoutCopyBack) {
  jintArray types = vm.newInts({CKA_CLASS, CKA_LABEL, static_cast<jint>(0x80000201UL)});
  quillon::Template t(env);
  ASSERT_TRUE(build(t, types, values({vm.newInteger(1), vm.newString("abc"), vm.newBytes({9})})));
  ASSERT_EQ(3u, t.count());
  EXPECT_EQ(static_cast<CK_ULONG>(CKA_LABEL), t.attributes()[1].type);
  EXPECT_EQ("616263", hex(t.attributes()[1].pValue, t.attributes()[1].ulValueLen));
  EXPECT_EQ(static_cast<CK_ULONG>(0x80000201UL), t.attributes()[2].type);
  EXPECT_EQ(std::vector<int>{JNI_ABORT}, vm.releaseModes(types));
}

TEST_F(Templates, EmptyArraysMakeAnEmptyTemplate) {
  quillon::Template t(env);
  ASSERT_TRUE(build(t, vm.newInts({}), values({})));
  EXPECT_EQ(0u, t.count());
}

TEST_F(Templates, RefusedArrays) {
  quillon::Template differ(env);
  EXPECT_FALSE(build(differ, vm.newInts({1, 2}), values({vm.newBoolean(true)})));
  EXPECT_EQ("Different array length", thrownMessage());
  quillon::Template null(env);
  EXPECT_FALSE(build(null, nullptr, values({})));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
  quillon::Template nullValues(env);
  EXPECT_FALSE(build(nullValues, vm.newInts({}), nullptr));
  EXPECT_EQ("Internal error (Null parameter)", thrownMessage());
}

TEST_F(Templates, AValueThatDoesNotConvertStopsTheTemplateQuietly) {
  jintArray types = vm.newInts({CKA_LABEL, CKA_ID, CKA_VALUE});
  quillon::Template t(env);
  debug = 1;
  testsupport::CaptureStdout out;
  EXPECT_FALSE(build(t, types, values({vm.newString("a"), vm.newBytes({1}), vm.newLong(3)})));
  std::string trace = out.text();
  debug = 0;
  EXPECT_EQ("\nERROR: cannot parse passed object 2\n", trace);
  expectNothingPending();
  EXPECT_EQ(0u, t.count()) << "the converted entries are freed (the leak check sees the rest)";
  EXPECT_EQ(std::vector<int>{JNI_ABORT}, vm.releaseModes(types));
}

TEST_F(Templates, KeyGenerationTracesEveryValue) {
  quillon::Template t(env);
  debug = 1;
  testsupport::CaptureStdout out;
  EXPECT_FALSE(build(t, vm.newInts({CKA_TOKEN, CKA_VALUE}),
                     values({vm.newBoolean(true), vm.newLong(1)}), quillon::Template::kPerValue));
  std::string trace = out.text();
  debug = 0;
  EXPECT_EQ(
      "JNI: ckLen OK\nJNI: ckAttr OK\nJNI: attrA OK\n"
      "JNI: inside loop\nJNI: temp1 OK\nJNI: res?...... OK\n"
      "JNI: inside loop\nJNI: temp1 OK\nJNI: res?...... KO\n"
      "\nERROR: cannot parse passed object 1\n",
      trace);
}

TEST_F(Templates, KeyGenerationTracesStopWhereTheTypesCannotBePinned) {
  quillon::Template t(env);
  vm.failNext("GetIntArrayElements");
  debug = 1;
  testsupport::CaptureStdout out;
  EXPECT_FALSE(build(t, vm.newInts({CKA_TOKEN}), values({vm.newBoolean(true)}),
                     quillon::Template::kPerValue));
  std::string trace = out.text();
  debug = 0;
  EXPECT_EQ("JNI: ckLen OK\nJNI: ckAttr OK\n", trace);
  EXPECT_EQ("java/lang/OutOfMemoryError", thrownClass());
}

TEST_F(Templates, AnElementThatCannotBeReadStopsTheTemplate) {
  quillon::Template t(env);
  vm.failNth("GetObjectArrayElement", 2);
  EXPECT_FALSE(
      build(t, vm.newInts({CKA_LABEL, CKA_ID}), values({vm.newString("a"), vm.newBytes({1})})));
  EXPECT_EQ(0u, t.count());
  // The element that cannot be had is a null value: it does not convert,
  // quietly.
  expectNothingPending();
}

}  // namespace
