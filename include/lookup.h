// Java classes and members that the bridge looks up, remembered after the
// first lookup that finds them.
//
// A class is held through a weak global reference, so that remembering it
// never keeps its class loader alive: an application server can unload the
// loader that loaded the bridge and deploy it again. While a native method of
// the bridge runs, its class loader (and so every class found from it) is
// alive, so a remembered class is never cleared under a running call.
// Everything remembered is forgotten in JNI_OnUnload, when that loader goes:
// a library that stays mapped and is loaded again by a new loader starts from
// nothing, never from the member IDs of classes that were unloaded.
//
// A lookup that fails is never remembered: it is made again on every call
// and fails the same way each time, with the VM's error pending.
//
// Any thread may look up at any time; what is remembered is published with
// atomic operations, so threads that race to remember the same thing agree on
// one record and no reader sees a record before it is complete.
#ifndef QUILLON_LOOKUP_H
#define QUILLON_LOOKUP_H

#include <jni.h>

namespace quillon {

// The classes looked up by name.
enum KnownClass {
  kStringClass,
  kByteArrayClass,
  kIntegerClass,
  kBooleanClass,
  kBigIntegerClass,
  kDateClass,
  kDateFormatClass,
  kObjectClass,
  kInfoClass,
  kSlotInfoClass,
  kTokenInfoClass,
  kMechanismInfoClass,
  kSessionInfoClass,
  kSlotClass,
  kSessionClass,
  kNativeObjectClass,
  kKnownClasses
};

// The methods and constructors looked up on one of those classes.
enum KnownMethod {
  kIntValue,
  kBooleanValue,
  kToByteArray,
  kFormat,
  kParse,
  kIntegerConstructor,
  kBooleanConstructor,
  kBigIntegerConstructor,
  kDateFormatConstructor,
  kInfoConstructor,
  kSlotInfoConstructor,
  kTokenInfoConstructor,
  kMechanismInfoConstructor,
  kSessionInfoConstructor,
  kSlotConstructor,
  kSessionConstructor,
  kNativeObjectConstructor,
  kKnownMethods
};

// The handle fields, each read from the class of the object that holds it.
enum KnownField {
  kSlotIDField,
  kSessionIDField,
  kObjectIDField,
  kObjectSessionField,
  kKnownFields
};

// The class, or null with the VM's error pending when it cannot be found (or
// cannot be remembered: the VM is out of memory). The result is a weak
// global reference that the caller uses during its call and never deletes.
jclass knownClass(JNIEnv* env, KnownClass which);

// The class that declares `which`.
KnownClass ownerOf(KnownMethod which);

// The method or constructor of `owner` (the result of knownClass for
// ownerOf(which)), or null with the VM's error pending.
jmethodID knownMethod(JNIEnv* env, KnownMethod which, jclass owner);

// The field of `which` in `object` (not null), or null with the VM's error
// pending when its class has no such field. The ID found in the class of the
// first object read serves every object that is an instance of that class;
// an object of another class (a sibling, a base class, or a class without
// the field) is looked up by its own class, as if nothing were remembered.
jfieldID knownField(JNIEnv* env, KnownField which, jobject object);

// Forgets everything remembered, deleting the weak references. Only while no
// call of the bridge runs: JNI_OnUnload, or a test between two calls.
void forgetLookups(JNIEnv* env);

}  // namespace quillon

#endif
