// Remembered lookups of Java classes, methods and handle fields.
#include "lookup.h"

#include <stdlib.h>

#include "runtime.h"

namespace quillon {

namespace {

const char* const kClassNames[kKnownClasses] = {
    "java/lang/String",
    "[B",
    "java/lang/Integer",
    "java/lang/Boolean",
    "java/math/BigInteger",
    "java/util/Date",
    "java/text/SimpleDateFormat",
    "java/lang/Object",
    "it/morvale/pkcs11/PKCS11Info",
    "it/morvale/pkcs11/PKCS11SlotInfo",
    "it/morvale/pkcs11/PKCS11TokenInfo",
    "it/morvale/pkcs11/PKCS11MechanismInfo",
    "it/morvale/pkcs11/PKCS11SessionInfo",
    "it/morvale/pkcs11/nat/NativePKCS11Slot",
    "it/morvale/pkcs11/nat/NativePKCS11Session",
    "it/morvale/pkcs11/nat/NativePKCS11Object",
};

struct Member {
  KnownClass owner;
  const char* name;
  const char* signature;
};

const Member kMethods[kKnownMethods] = {
    {kIntegerClass, "intValue", "()I"},
    {kBooleanClass, "booleanValue", "()Z"},
    {kBigIntegerClass, "toByteArray", "()[B"},
    {kDateFormatClass, "format", "(Ljava/util/Date;)Ljava/lang/String;"},
    {kDateFormatClass, "parse", "(Ljava/lang/String;)Ljava/util/Date;"},
    {kIntegerClass, "<init>", "(I)V"},
    {kBooleanClass, "<init>", "(Z)V"},
    {kBigIntegerClass, "<init>", "([B)V"},
    {kDateFormatClass, "<init>", "(Ljava/lang/String;)V"},
    {kInfoClass, "<init>", "(ILjava/lang/String;ILjava/lang/String;I)V"},
    {kSlotInfoClass, "<init>", "(Ljava/lang/String;Ljava/lang/String;III)V"},
    {kTokenInfoClass, "<init>",
     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
     "IIIIIIIIIIIIILjava/lang/String;)V"},
    {kMechanismInfoClass, "<init>", "(III)V"},
    {kSessionInfoClass, "<init>", "(III)V"},
    {kSlotClass, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11;I)V"},
    {kSessionClass, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11Slot;I)V"},
    {kNativeObjectClass, "<init>", "(Lit/morvale/pkcs11/nat/NativePKCS11Session;I)V"},
};

const Member kFields[kKnownFields] = {
    {kSlotClass, "slotID", "I"},
    {kSessionClass, "sessionID", "I"},
    {kNativeObjectClass, "objectID", "I"},
    {kNativeObjectClass, "session", "Lit/morvale/pkcs11/nat/NativePKCS11Session;"},
};

// What is remembered of one lookup: a class (a weak global reference) and,
// for a field, its ID in that class. Written once before it is published,
// never changed after.
struct Record {
  jclass cls;
  jfieldID field;
};

// The published records and method IDs. Only ever read and written with
// __atomic builtins: a record is published with release order and read with
// acquire order, so its contents are seen complete.
Record* classes[kKnownClasses];
Record* fields[kKnownFields];
jmethodID methods[kKnownMethods];

// A lookup that succeeded but cannot be remembered fails like a lookup the
// VM could not make: with its error, or else with the bridge's own.
void outOfMemory(JNIEnv* env) {
  if (!env->ExceptionCheck()) throwExc(env, "Internal error: Out of memory");
}

Record* load(Record** slot) {
  return __atomic_load_n(slot, __ATOMIC_ACQUIRE);
}

// A new record with a weak reference to `cls`; null with an error pending
// when the reference or the record cannot be made.
Record* newRecord(JNIEnv* env, jclass cls, jfieldID field) {
  jclass weak = static_cast<jclass>(env->NewWeakGlobalRef(cls));
  if (env->ExceptionCheck() || weak == nullptr) {
    outOfMemory(env);
    return nullptr;
  }
  Record* record = static_cast<Record*>(malloc(sizeof(Record)));
  if (record == nullptr) {
    env->DeleteWeakGlobalRef(weak);
    outOfMemory(env);
    return nullptr;
  }
  record->cls = weak;
  record->field = field;
  return record;
}

void release(JNIEnv* env, Record* record) {
  env->DeleteWeakGlobalRef(record->cls);
  free(record);
}

// Publishes `record` in `slot` unless another thread was first; returns the
// record that stays published. A record that lost the race is released.
Record* publish(JNIEnv* env, Record** slot, Record* record) {
  Record* expected = nullptr;
  if (__atomic_compare_exchange_n(slot, &expected, record, false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE))
    return record;
  release(env, record);
  return expected;
}

}  // namespace

jclass knownClass(JNIEnv* env, KnownClass which) {
  Record* record = load(&classes[which]);
  if (record != nullptr) return record->cls;
  jclass found = env->FindClass(kClassNames[which]);
  if (env->ExceptionCheck() || found == nullptr) return nullptr;
  record = newRecord(env, found, nullptr);
  env->DeleteLocalRef(found);
  if (record == nullptr) return nullptr;
  return publish(env, &classes[which], record)->cls;
}

KnownClass ownerOf(KnownMethod which) {
  return kMethods[which].owner;
}

jmethodID knownMethod(JNIEnv* env, KnownMethod which, jclass owner) {
  jmethodID id = __atomic_load_n(&methods[which], __ATOMIC_ACQUIRE);
  if (id != nullptr) return id;
  id = env->GetMethodID(owner, kMethods[which].name, kMethods[which].signature);
  if (env->ExceptionCheck() || id == nullptr) return nullptr;
  // Every thread finds the same ID for the same method: the last store wins
  // and all agree.
  __atomic_store_n(&methods[which], id, __ATOMIC_RELEASE);
  return id;
}

jfieldID knownField(JNIEnv* env, KnownField which, jobject object) {
  Record* record = load(&fields[which]);
  if (record != nullptr && env->IsInstanceOf(object, record->cls)) return record->field;
  jclass cls = env->GetObjectClass(object);
  if (cls == nullptr) return nullptr;
  jfieldID id = env->GetFieldID(cls, kFields[which].name, kFields[which].signature);
  if (!env->ExceptionCheck() && id != nullptr && record == nullptr) {
    Record* made = newRecord(env, cls, id);
    if (made != nullptr) publish(env, &fields[which], made);
  }
  env->DeleteLocalRef(cls);
  return env->ExceptionCheck() ? nullptr : id;
}

void forgetLookups(JNIEnv* env) {
  for (Record*& slot : classes) {
    Record* record = __atomic_exchange_n(&slot, nullptr, __ATOMIC_ACQ_REL);
    if (record != nullptr) release(env, record);
  }
  for (Record*& slot : fields) {
    Record* record = __atomic_exchange_n(&slot, nullptr, __ATOMIC_ACQ_REL);
    if (record != nullptr) release(env, record);
  }
  for (jmethodID& id : methods) __atomic_store_n(&id, nullptr, __ATOMIC_RELEASE);
}

}  // namespace quillon

// The Java VM calls this when the class loader that loaded the bridge is
// unloaded: nothing that was looked up through it may be used again.
extern "C" JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* vm, void*) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK || env == nullptr)
    return;
  quillon::forgetLookups(env);
}
