// Attribute templates: one Java (type, value) pair becomes one CK_ATTRIBUTE,
// a Java int[] of types and Object[] of values become a whole template, and
// six tables tell which Java class an attribute type is read back as.
#ifndef QUILLON_TEMPLATE_H
#define QUILLON_TEMPLATE_H

#include "runtime.h"

extern "C" {

// The attribute types read back as Integer, Boolean, String, byte[], Date and
// BigInteger. Seventeen entries each; unused entries hold -1.
extern const jint J_INT[17];
extern const jint J_BOOL[17];
extern const jint J_STR[17];
extern const jint J_BYTE[17];
extern const jint J_DATE[17];
extern const jint J_BIGI[17];

// 1 when one of the 17 entries of `table` equals `type`.
int isIn(jint type, const jint* table);

// Converts one Java value into `attr`, by the value's class (String, byte[],
// Integer, Boolean, BigInteger, Date). Returns 1 with `attr->pValue` a block
// from malloc (also for an empty value), or 0 when the value was not
// converted and nothing is left allocated. The type is set in either case.
int J2CK_ATTR(JNIEnv* env, jint type, jobject value, CK_ATTRIBUTE* attr);

}  // extern "C"

namespace quillon {

// A template built from a Java int[] of types and an Object[] of values. It
// frees every value block and the array when it goes out of scope.
class Template {
 public:
  enum Tracing { kQuiet, kPerValue };

  explicit Template(JNIEnv* env) : env_(env) {}
  ~Template();
  Template(const Template&) = delete;
  Template& operator=(const Template&) = delete;

  // Builds the template; false means the caller returns its failure value at
  // once:
  //  - a null array: PKCS11Exception "Internal error (Null parameter)";
  //  - arrays of different lengths: PKCS11Exception `lengthMessage`;
  //  - the template cannot be allocated: PKCS11Exception `memoryMessage`;
  //  - a value that does not convert: traced ("ERROR: cannot parse passed
  //    object <index>"), the entries converted so far freed, no exception of
  //    the bridge's own (one that the VM or the conversion raised stays).
  // The types are pinned while the values are converted and released with
  // JNI_ABORT before build returns. Zero attributes are allowed.
  // kPerValue adds the step-by-step trace lines of key generation: the
  // count, the allocation, the pinned types and every value.
  bool build(jintArray types, jobjectArray values, const char* lengthMessage,
             const char* memoryMessage, Tracing tracing = kQuiet);

  CK_ATTRIBUTE* attributes() const { return attributes_; }
  CK_ULONG count() const { return count_; }

 private:
  void clear();

  JNIEnv* env_;
  CK_ATTRIBUTE* attributes_ = nullptr;
  CK_ULONG count_ = 0;
};

}  // namespace quillon

#endif
