// Native methods of it.morvale.pkcs11.nat.NativePKCS11: the module's
// lifecycle, its information and its slot list.
#include <string.h>

#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11.h"

using namespace quillon;

extern "C" {

// The RSA credential lookup by alias: finds the slot, a session and three
// objects of a credential. This system has no such lookup; it reports that and
// fails with all bits of CK_RV set, touching none of its arguments.
CK_RV getRSACred(const char* alias, CK_ULONG aliasLength, CK_FLAGS flags, const char* pin,
                 CK_ULONG pinLength, CK_SLOT_ID* slot, CK_SESSION_HANDLE* session,
                 CK_OBJECT_HANDLE* first, CK_OBJECT_HANDLE* second, CK_OBJECT_HANDLE* third);

CK_RV getRSACred(const char*, CK_ULONG, CK_FLAGS, const char*, CK_ULONG, CK_SLOT_ID*,
                 CK_SESSION_HANDLE*, CK_OBJECT_HANDLE*, CK_OBJECT_HANDLE*, CK_OBJECT_HANDLE*) {
  // "Functionality not implemented", with U+FFFD where the accented letter was.
  trace("Funzionalit\xef\xbf\xbd non implementata!");
  return ~static_cast<CK_RV>(0);
}

JNIEXPORT jlong JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(JNIEnv* env,
                                                                                  jobject,
                                                                                  jstring path) {
  traceSwitch();
  Utf8 file(env, path);
  if (!required(env, file, "Internal error (Null parameter)")) return 0;
  trace("(arg= %s)\n", file.get());
  ModuleHandle module;
  if (failed(env, loadLib(file.get(), &module))) return 0;
  trace("JNI: library loaded: (Handle ptr=%lx)\n", printable(module));
  traceLine("JNI: end loadPKCS11Library");
  return javaHandle(module);
}

JNIEXPORT jlong JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(JNIEnv* env,
                                                                                    jobject,
                                                                                    jlong module) {
  FunctionList list;
  if (failed(env, loadfunctionList(moduleHandle(module), &list))) return 0;
  return javaHandle(list);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(JNIEnv* env, jobject,
                                                                             jlong list) {
  traceLine("JNI: PKCS11.libInitialize");
  failed(env, initLib(functionList(list)));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_libInitializeThreaded(JNIEnv* env,
                                                                                     jobject,
                                                                                     jlong list) {
  traceLine("JNI: PKCS11.libInitializeThreaded");
  // The module may be entered from several threads at once and locks with
  // the operating system's primitives: no mutex callbacks are given.
  CK_C_INITIALIZE_ARGS args;
  args.CreateMutex = nullptr;
  args.DestroyMutex = nullptr;
  args.LockMutex = nullptr;
  args.UnlockMutex = nullptr;
  args.flags = CKF_OS_LOCKING_OK;
  args.pReserved = nullptr;
  failed(env, initLibWithArgs(functionList(list), &args));
}

JNIEXPORT jlong JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(JNIEnv*, jobject,
                                                                            jlong module,
                                                                            jlong list) {
  // The one entry point that returns its failure instead of throwing it.
  traceLine("JNI: PKCS11.libFinalize");
  return static_cast<jlong>(finalizeLib(moduleHandle(module), functionList(list)));
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_waitForSlotEvent(JNIEnv* env,
                                                                                jobject, jlong,
                                                                                jint) {
  throwExc(env, "Not supported");
  return 0;
}

JNIEXPORT jstring JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_getBridgeVersion(JNIEnv* env,
                                                                                   jobject) {
  trace("JNI: start PKCS11.getBridgeVersion: %s\n", bridgev);
  jstring version = env->NewStringUTF(bridgev);
  if (env->ExceptionCheck()) return nullptr;
  return version;
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_getRSAcredential(
    JNIEnv* env, jobject, jlong, jstring alias, jint flags, jstring pin) {
  traceLine("JNI: start getRSAcredential... ");
  Utf8 aliasText(env, alias);
  if (!required(env, aliasText, "Internal error: utf_alias == NULL")) return nullptr;
  CK_ULONG aliasLength = static_cast<CK_ULONG>(strlen(aliasText.get()));
  trace(" alias len =%li \n", aliasLength);
  CK_FLAGS lookupFlags = J2CK_FLAGS(flags);
  trace("JNI: pin is null ?... ");
  // The PIN is optional: without one the lookup gets a null PIN of length 0.
  Utf8 pinText(env, pin);
  if (pin != nullptr && !pinText.ok()) {
    refuse(env, "Internal error: utf_str_pin == NULL");
    return nullptr;
  }
  CK_ULONG pinLength = pinText.ok() ? static_cast<CK_ULONG>(strlen(pinText.get())) : 0;
  trace(" pin len =%li \n", pinLength);
  CK_SLOT_ID slot;
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE objects[3];
  CK_RV rv = getRSACred(aliasText.get(), aliasLength, lookupFlags, pinText.get(), pinLength, &slot,
                        &session, &objects[0], &objects[1], &objects[2]);
  // The lookup never succeeds here; every result, even CKR_OK, is thrown.
  throwCKExcAS(env, rv);
  return nullptr;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(JNIEnv* env, jobject,
                                                                          jlong list) {
  traceLine("JNI: start PKCS11.getInfo");
  CK_INFO info;
  if (failed(env, getInfo(functionList(list), &info))) return nullptr;
  trace("JNI: creating jobject PKCS11Info...");
  Constructor infoClass(env, kInfoConstructor);
  if (!infoClass.ok()) return nullptr;
  Local<jstring> manufacturer(env, CK2J_STR(env, info.manufacturerID, 32));
  Local<jstring> description(env, CK2J_STR(env, info.libraryDescription, 32));
  jobject result =
      infoClass.make(CK2J_VER(info.cryptokiVersion), manufacturer.get(), CK2J_FLAGS(info.flags),
                     description.get(), CK2J_VER(info.libraryVersion));
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(
    JNIEnv* env, jobject self, jlong list, jboolean tokenPresent) {
  traceLine("JNI: start PKCS11.getSlotList");
  Heap<CK_SLOT_ID> slots;
  CK_ULONG count = 0;
  if (failed(env, getSlotList(functionList(list), slots.out(), J2CK_BOOL(tokenPresent), &count)))
    return nullptr;
  if (count == 0) return nullptr;
  // A Java array holds at most 2^31 - 1 elements.
  if (count > 0x7FFFFFFFUL && failed(env, CKR_ZOR_NOSPACE)) return nullptr;
  trace("JNI: creating array of %li PKCS11Slot\n", count);
  Constructor slotClass(env, kSlotConstructor);
  if (!slotClass.ok()) return nullptr;
  Local<jobjectArray> array(
      env, env->NewObjectArray(static_cast<jsize>(count), slotClass.javaClass(), nullptr));
  if (env->ExceptionCheck() || array.get() == nullptr) return nullptr;
  for (CK_ULONG i = 0; i < count; ++i) {
    trace("JNI: adding element %li ...", i);
    jint slotID = CK2J_SLOT(slots[i]);
    trace(" value= %li ...", static_cast<long>(slotID));
    Local<jobject> slot(env, slotClass.make(self, slotID));
    if (slot.get() == nullptr) return nullptr;
    env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), slot.get());
    if (env->ExceptionCheck()) return nullptr;
    traceLine(" OK");
  }
  return array.release();
}

}  // extern "C"
