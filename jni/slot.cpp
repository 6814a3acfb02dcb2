// Native methods of it.morvale.pkcs11.nat.NativePKCS11Slot: what the module
// knows about the slot and its token, sessions on the slot, token
// initialisation, and control blocks for the slot's card reader.
#include <string.h>

#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Slot.h"

using namespace quillon;

// Reads the slot of `self` and traces it; false with an exception pending
// when the slot cannot be read.
static bool readSlot(JNIEnv* env, jobject self, CK_SLOT_ID* slot) {
  if (!readSlotID(env, self, slot)) return false;
  trace("(slot= %li)\n", *slot);
  return true;
}

// getTokenInfo and getTokenSN: the token information of the slot, as a
// PKCS11TokenInfo or, for `serialOnly`, just its serial number. Both look the
// class up; null with an exception pending when anything cannot be had.
static jobject tokenInfo(JNIEnv* env, jobject self, jlong list, bool serialOnly) {
  trace("JNI: start PKCS11Slot.getInfo... ");
  CK_SLOT_ID slot;
  if (!readSlot(env, self, &slot)) return nullptr;
  CK_TOKEN_INFO info;
  if (failed(env, getTokenInfo(functionList(list), slot, &info))) return nullptr;
  trace("JNI: creating jobject PKCS11TokenInfo...");
  Constructor tokenClass(env, kTokenInfoConstructor);
  if (!tokenClass.ok()) return nullptr;
  if (serialOnly) return CK2J_STR(env, info.serialNumber, 16);
  Local<jstring> label(env, CK2J_STR(env, info.label, 32));
  Local<jstring> manufacturer(env, CK2J_STR(env, info.manufacturerID, 32));
  Local<jstring> model(env, CK2J_STR(env, info.model, 16));
  Local<jstring> serial(env, CK2J_STR(env, info.serialNumber, 16));
  Local<jstring> time(env, CK2J_STR(env, info.utcTime, 16));
  jobject result = tokenClass.make(
      label.get(), manufacturer.get(), model.get(), serial.get(), CK2J_FLAGS(info.flags),
      CK2J_INT(info.ulMaxSessionCount), CK2J_INT(info.ulSessionCount),
      CK2J_INT(info.ulMaxRwSessionCount), CK2J_INT(info.ulRwSessionCount),
      CK2J_INT(info.ulMaxPinLen), CK2J_INT(info.ulMinPinLen), CK2J_INT(info.ulTotalPublicMemory),
      CK2J_INT(info.ulFreePublicMemory), CK2J_INT(info.ulTotalPrivateMemory),
      CK2J_INT(info.ulFreePrivateMemory), CK2J_VER(info.hardwareVersion),
      CK2J_VER(info.firmwareVersion), time.get());
  if (result != nullptr) traceLine("OK");
  return result;
}

// Pins a control buffer that the vendor function reads and writes, and
// checks the length the function is told about: it may not reach past the
// array. False with an exception pending when the array is null, the VM
// refuses the pin or the length is out of range.
static bool controlBuffer(JNIEnv* env, const PinnedBytes& bytes, jlong length) {
  if (!required(env, bytes)) return false;
  // Compared as Java longs: a 32-bit CK_ULONG would cut a long length down.
  if (length < 0 || length > static_cast<jlong>(bytes.length())) {
    refuse(env, "Internal error: length out of range");
    return false;
  }
  return true;
}

// The reader's PIN rules, sent with control command 0: 152 bytes, all zero
// but these runs.
static void pinRules(CK_BYTE block[152]) {
  static const struct {
    unsigned offset;
    unsigned length;
    const char* bytes;
  } runs[] = {
      {0, 4, "\x0B\x00\x00\x00"},
      {6, 6, "\x08\x00\x04\x00\x08\x00"},
      {24, 2, "\x03\x00"},
      {28, 4, "\x08\x00\x04\x00"},
      {44, 2, "\x0A\x00"},
      {64, 8, "20100120"},
      {85, 9, "\x10\x10\x10\x10\x01\x03\x03\x10\x04"},
      {100, 2, "\x10\x10"},
      {103, 3, "\x03\x10\x08"},
      {112, 2, "\x10\x10"},
      {115, 1, "\x0A"},
  };
  memset(block, 0, 152);
  for (const auto& run : runs) memcpy(block + run.offset, run.bytes, run.length);
}

extern "C" {

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getInfo(JNIEnv* env,
                                                                              jobject self,
                                                                              jlong list) {
  trace("JNI: start PKCS11Slot.getInfo... ");
  CK_SLOT_ID slot;
  if (!readSlot(env, self, &slot)) return nullptr;
  CK_SLOT_INFO info;
  if (failed(env, getSlotInfo(functionList(list), slot, &info))) return nullptr;
  trace("JNI: creating jobject PKCS11SlotInfo...");
  Constructor slotInfoClass(env, kSlotInfoConstructor);
  if (!slotInfoClass.ok()) return nullptr;
  Local<jstring> description(env, CK2J_STR(env, info.slotDescription, 64));
  Local<jstring> manufacturer(env, CK2J_STR(env, info.manufacturerID, 32));
  jobject result =
      slotInfoClass.make(description.get(), manufacturer.get(), CK2J_FLAGS(info.flags),
                         CK2J_VER(info.hardwareVersion), CK2J_VER(info.firmwareVersion));
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenInfo(JNIEnv* env,
                                                                                   jobject self,
                                                                                   jlong list) {
  return tokenInfo(env, self, list, false);
}

JNIEXPORT jstring JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenSN(JNIEnv* env,
                                                                                 jobject self,
                                                                                 jlong list) {
  // No object is made and no "OK" printed: only the serial number is returned.
  return static_cast<jstring>(tokenInfo(env, self, list, true));
}

JNIEXPORT jintArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismList(
    JNIEnv* env, jobject self, jlong list) {
  trace("JNI: start PKCS11Slot.getMechList... ");
  CK_SLOT_ID slot;
  if (!readSlot(env, self, &slot)) return nullptr;
  Heap<CK_MECHANISM_TYPE> mechanisms;
  CK_ULONG count = 0;
  if (failed(env, getMechanismList(functionList(list), slot, mechanisms.out(), &count)))
    return nullptr;
  // A Java array holds at most 2^31 - 1 elements.
  if (count > 0x7FFFFFFFUL && failed(env, CKR_ZOR_NOSPACE)) return nullptr;
  trace("JNI: creating array of %li Mechanism...", count);
  Local<jintArray> array(env, env->NewIntArray(static_cast<jsize>(count)));
  if (env->ExceptionCheck() || array.get() == nullptr) return nullptr;
  // Each type narrowed to its low 32 bits, copied in chunks so that neither
  // a second heap block nor one JNI call per mechanism is needed.
  jint chunk[256];
  for (CK_ULONG start = 0; start < count; start += 256) {
    CK_ULONG n = count - start < 256 ? count - start : 256;
    for (CK_ULONG i = 0; i < n; ++i) chunk[i] = CK2J_INT(mechanisms[start + i]);
    env->SetIntArrayRegion(array.get(), static_cast<jsize>(start), static_cast<jsize>(n), chunk);
    if (env->ExceptionCheck()) return nullptr;
  }
  traceLine("OK");
  return array.release();
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismInfo(JNIEnv* env,
                                                                                       jobject self,
                                                                                       jlong list,
                                                                                       jint type) {
  trace("JNI: start PKCS11Slot.getMechanismInfo... ");
  CK_SLOT_ID slot;
  if (!readSlotID(env, self, &slot)) return nullptr;
  CK_MECHANISM_TYPE mechanism = J2CK_TYPE(type);
  trace("(slot= %li) (mach=%li)\n", slot, mechanism);
  CK_MECHANISM_INFO info;
  if (failed(env, getMechanismInfo(functionList(list), slot, mechanism, &info))) return nullptr;
  trace("JNI: creating jobject PKCS11MechanismInfo...");
  Constructor mechanismClass(env, kMechanismInfoConstructor);
  if (!mechanismClass.ok()) return nullptr;
  jobject result = mechanismClass.make(CK2J_INT(info.ulMinKeySize), CK2J_INT(info.ulMaxKeySize),
                                       CK2J_FLAGS(info.flags));
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_initToken(
    JNIEnv* env, jobject self, jlong list, jstring puk, jstring label) {
  if (puk == nullptr || label == nullptr) {
    throwExc(env, "Internal error: pPuk == NULL||label==NULL");
    return;
  }
  Utf8 pukText(env, puk);
  if (!required(env, pukText, "Internal error: utf_pPuk == NULL")) return;
  Utf8 labelText(env, label);
  if (!required(env, labelText, "Internal error: utf_label == NULL")) return;
  CK_SLOT_ID slot;
  if (!readSlotID(env, self, &slot)) return;
  // The PUK length counts the bytes of its UTF-8 text, as for every PIN.
  CK_ULONG pukLength = static_cast<CK_ULONG>(strlen(pukText.get()));
  failed(env, InitToken(functionList(list), slot, pukText.get(), pukLength, labelText.get()));
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_openSession(JNIEnv* env,
                                                                                  jobject self,
                                                                                  jlong list,
                                                                                  jint flags) {
  CK_SLOT_ID slot;
  if (!readSlot(env, self, &slot)) return nullptr;
  // The flags go to the module as Java gave them: the bridge adds none.
  CK_SESSION_HANDLE session = 0;
  if (failed(env, openSession(functionList(list), slot, J2CK_FLAGS(flags), &session)))
    return nullptr;
  // A session that Java cannot name could never be used or closed: it is
  // closed here, and no Java object is made.
  if (!handleFits(env, session)) {
    closeSession(functionList(list), session);
    return nullptr;
  }
  trace("JNI: creating jobject NativePKCS11Session...");
  Constructor sessionClass(env, kSessionConstructor);
  if (!sessionClass.ok()) return nullptr;
  jobject result = sessionClass.make(self, CK2J_SESSION(session));
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_closeAllSessions(JNIEnv* env,
                                                                                    jobject self,
                                                                                    jlong list) {
  trace("JNI: start PKCS11Slot.closeAllSessions... ");
  CK_SLOT_ID slot;
  if (!readSlot(env, self, &slot)) return;
  failed(env, closeAllSessions(functionList(list), slot));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_setPinRules(JNIEnv* env,
                                                                               jobject self,
                                                                               jlong module) {
  CK_SLOT_ID slot;
  if (!readSlotID(env, self, &slot)) return;
  CK_BYTE block[152];
  pinRules(block);
  // What the vendor function writes back into the length is not used.
  CK_ULONG length = sizeof block;
  failed(env, C_Control(moduleHandle(module), slot, 0, block, &length));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control(
    JNIEnv* env, jobject self, jlong module, jint command, jbyteArray data, jlong length) {
  CK_SLOT_ID slot;
  if (!readSlotID(env, self, &slot)) return;
  PinnedBytes bytes(env, data);
  if (!controlBuffer(env, bytes, length)) return;
  // The length the vendor function writes back is dropped; the buffer is
  // copied back into the Java array, also when the function failed.
  CK_ULONG inOut = static_cast<CK_ULONG>(length);
  failed(env, C_Control(moduleHandle(module), slot, J2CK_INT(command), bytes.data(), &inOut));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control2(
    JNIEnv* env, jobject, jlong module, jstring readerName, jint command, jbyteArray data,
    jlong length) {
  if (readerName == nullptr) {
    throwExc(env, "Internal error: readerName == NULL");
    return;
  }
  Utf8 reader(env, readerName);
  if (!required(env, reader, "Internal error: GetStringUTFChars")) return;
  PinnedBytes bytes(env, data);
  if (!controlBuffer(env, bytes, length)) return;
  // The reader is chosen by its name: no slot is involved.
  CK_ULONG inOut = static_cast<CK_ULONG>(length);
  failed(env,
         C_Control2(moduleHandle(module), reader.get(), J2CK_INT(command), bytes.data(), &inOut));
}

}  // extern "C"
