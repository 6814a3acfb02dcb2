// Fuzz target: a module that answers arbitrary return codes, counts, lengths and bytes to the
// information calls, the slot and mechanism lists, the typed attribute reads, the object search,
// the single-part operations, the card status and getTokenParam, called in any order, now and
// then with a JNI function made to fail. The run stops when the bridge reads or writes out of
// bounds (AddressSanitizer), overflows (UndefinedBehaviorSanitizer), or leaves the fake JVM with
// anything unreleased, a JNI misuse, too many local references, an invalid modified UTF-8 text or
// an exception other than PKCS11Exception (and ParseException from a date that does not parse).
#include <vector>

#include "fuzz_support.h"
#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Slot.h"

namespace {

// An attribute type: one of the tables' types or any number.
jint attributeType() {
  static const jint kTypes[] = {0x0,   0x1,   0x3,   0x11,  0x102, 0x110,
                                0x111, 0x120, 0x122, 0x161, 0x90,  static_cast<jint>(0x80004400)};
  uint8_t b = fuzz::byte();
  return b < 224 ? kTypes[b % (sizeof kTypes / sizeof kTypes[0])] : static_cast<jint>(fuzz::u32());
}

jbyteArray byteArray(fakejni::Vm& vm) {
  uint8_t b = fuzz::byte();
  if (b < 16) return nullptr;
  return vm.newBytes(fakejni::Bytes(b % 96, 0x5A));
}

// A Java length: often the array's own, else anything.
jint length(fakejni::Vm& vm, jbyteArray array) {
  uint8_t b = fuzz::byte();
  if (b < 192 && array != nullptr) return static_cast<jint>(vm.bytesOf(array).size()) - (b & 1);
  return static_cast<jint>(fuzz::u32());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  answers_feed(data, size);
  const fuzz::Module& m = fuzz::answeringModule();
  answers_feed(data, size);
  fakejni::Vm vm;
  JNIEnv* env = vm.env();
  const std::string nat = "it/morvale/pkcs11/nat/";
  jobject p11 = vm.newObject(nat + "NativePKCS11");
  jobject slot = vm.newObject(nat + "NativePKCS11Slot");
  vm.setIntField(slot, "slotID", static_cast<jint>(fuzz::u32()));
  jobject session = vm.newObject(nat + "NativePKCS11Session");
  vm.setIntField(session, "sessionID", static_cast<jint>(fuzz::u32()));
  jobject object = vm.newObject(nat + "NativePKCS11Object");
  vm.setIntField(object, "objectID", static_cast<jint>(fuzz::u32()));
  vm.setObjectField(object, "session", session);

  while (!answers_exhausted()) {
    uint8_t call = fuzz::byte() % 24;
    jint type = attributeType();
    jbyteArray data = byteArray(vm);
    jint dataLength = length(vm, data);
    jbyteArray out = byteArray(vm);
    jstring name = fuzz::byte() < 8 ? nullptr : vm.newString("param");
    bool injected = fuzz::maybeFail(vm);
    jobject result = nullptr;
    const char* what = "";
    vm.beginCall();
    switch (call) {
      case 0:
        what = "getInfo";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, p11, m.list);
        break;
      case 1:
        what = "getSlotList";
        result =
            Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(env, p11, m.list, fuzz::byte() & 1);
        break;
      case 2:
        what = "slot getInfo";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getInfo(env, slot, m.list);
        break;
      case 3:
        what = "getTokenInfo";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenInfo(env, slot, m.list);
        break;
      case 4:
        what = "getTokenSN";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getTokenSN(env, slot, m.list);
        break;
      case 5:
        what = "getMechanismList";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismList(env, slot, m.list);
        break;
      case 6:
        what = "getMechanismInfo";
        result =
            Java_it_morvale_pkcs11_nat_NativePKCS11Slot_getMechanismInfo(env, slot, m.list, type);
        break;
      case 7:
        what = "session getInfo";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_getInfo(env, session, m.list);
        break;
      case 8:
        what = "getBoolAttributeValue";
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBoolAttributeValue(env, object, m.list,
                                                                            type);
        break;
      case 9:
        what = "getIntAttributeValue";
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_getIntAttributeValue(env, object, m.list,
                                                                           type);
        break;
      case 10:
        what = "getStringAttributeValue";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Object_getStringAttributeValue(
            env, object, m.list, type);
        break;
      case 11:
        what = "getByteArrayAttributeValue";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Object_getByteArrayAttributeValue(
            env, object, m.list, type);
        break;
      case 12:
        what = "getDateAttributeValue";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Object_getDateAttributeValue(env, object,
                                                                                     m.list, type);
        break;
      case 13:
        what = "getBigIntegerAttributeValue";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Object_getBigIntegerAttributeValue(
            env, object, m.list, type);
        break;
      case 14:
        what = "getAttributeValue";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Object_getAttributeValue(env, object,
                                                                                 m.list, type);
        break;
      case 15:
        what = "size";
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_size(env, object, m.list);
        break;
      case 16:
        what = "getTokenParam";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_getTokenParam(
            env, session, m.module, name, static_cast<jlong>(fuzz::u32()));
        break;
      case 17:
        what = "getCardStatus";
        Java_it_morvale_pkcs11_nat_NativePKCS11Session_getCardStatus(env, session, m.list);
        break;
      case 18:
        what = "setCardStatus";
        Java_it_morvale_pkcs11_nat_NativePKCS11Session_setCardStatus(env, session, m.list, type);
        break;
      case 19:
        what = "getIdentrusObject";
        result =
            Java_it_morvale_pkcs11_nat_NativePKCS11Session_getIdentrusObject(env, session, m.list);
        break;
      case 20:
        what = "findObject";
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObject(env, session, m.list);
        break;
      case 21:
        what = "sign";
        Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(env, session, m.list, data, 0,
                                                            dataLength, out);
        break;
      case 22:
        what = "decrypt";
        Java_it_morvale_pkcs11_nat_NativePKCS11Session_decrypt(env, session, m.list, data, 0,
                                                               dataLength, out);
        break;
      default:
        what = "control";
        Java_it_morvale_pkcs11_nat_NativePKCS11Slot_control(env, slot, m.module, type, data,
                                                            static_cast<jlong>(dataLength));
        break;
    }
    fuzz::endCall(vm, what, result, injected, {"java/text/ParseException"});
  }
  fuzz::finish(vm);
  return 0;
}
