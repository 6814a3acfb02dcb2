// Native methods of it.morvale.pkcs11.nat.NativePKCS11Session: the session
// itself, login and PINs, object search and creation, the card-specific
// extensions (vendor PIN functions, token parameters, the card's life-cycle
// status on the Identrus application object), single-part signing,
// encryption and decryption, key wrapping and unwrapping, key generation,
// and the session functions the bridge does not offer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "entry.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"
#include "template.h"

using namespace quillon;

static const char kNullParameter[] = "Internal error (Null parameter)";
static const char kLengthMessage[] = "Different array length";
static const char kMemoryMessage[] = "Internal error: Out of memory";
static const char kNoNewPin[] = "Internal error: pNewPin == NULL";
static const char kNoPukText[] = "Internal error: utf_pPuk == NULL";

// The vendor-defined attributes of the Identrus application object: the one
// that marks it, with the 32-bit value that it holds, and the card's
// one-byte life-cycle status.
static const CK_ATTRIBUTE_TYPE kIdentrusMarker = 0x80000201UL;
static const uint32_t kIdentrusApplication = 0x80008001UL;
static const CK_ATTRIBUTE_TYPE kLifeCycleStatus = 0x80004400UL;
static const jint kPreFirstUse = 8;

// The certificate template's vendor-defined attribute.
static const CK_ATTRIBUTE_TYPE kCertificateVendorValue = 0x80002000UL;

// The value buffer of getTokenParam, and one spare byte for a terminator.
static const CK_ULONG kTokenParamCapacity = 1024;

namespace quillon {

jobject wrapObject(JNIEnv* env, jobject session, CK_OBJECT_HANDLE handle) {
  if (!handleFits(env, handle)) return nullptr;
  Constructor objectClass(env, kNativeObjectConstructor);
  if (!objectClass.ok()) return nullptr;
  return objectClass.make(session, CK2J_INT(handle));
}

}  // namespace quillon

extern "C" {

// The Identrus application object of the session's token: its handle, 0
// when no object matches, all ones when the search cannot be started and
// all ones but the lowest bit when the search step fails (the search is then
// left open).
CK_OBJECT_HANDLE getIdentrusApplication(CK_SESSION_HANDLE session, FunctionList list) {
  uint32_t value = kIdentrusApplication;
  CK_ATTRIBUTE marker;
  marker.type = kIdentrusMarker;
  marker.pValue = &value;
  marker.ulValueLen = sizeof(value);
  if (findObjectsInit(list, session, &marker, 1) != CKR_OK)
    return static_cast<CK_OBJECT_HANDLE>(-1);
  CK_OBJECT_HANDLE found = 0;
  if (findObjects(list, session, &found) != CKR_OK) return static_cast<CK_OBJECT_HANDLE>(-2);
  findObjectsFinal(list, session);
  return found;
}

}  // extern "C"

namespace {

// Reads the session handle and traces it, as most session methods do right
// after their start text.
bool readSession(JNIEnv* env, jobject self, CK_SESSION_HANDLE* session) {
  if (!readSessionID(env, self, session)) return false;
  trace("(session= %li)\n", *session);
  return true;
}

CK_USER_TYPE userType(jboolean securityOfficer) {
  return securityOfficer ? CKU_SO : CKU_USER;
}

// The steps of login and loginContextSpecific: the session is traced only
// once the PIN's text was had.
void loginWithText(JNIEnv* env, jobject self, jlong list, CK_USER_TYPE user, jstring pin) {
  trace("JNI: start PKCS11Session.login... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  Utf8 text(env, pin);
  if (!required(env, text, "Internal error: utf_str == NULL")) return;
  trace("(session= %li)\n", session);
  failed(env, Morvale_login(functionList(list), session, user, text.get()));
}

// Wraps an object that the module made or found, with the trace lines of
// findObject and createObject.
jobject objectOf(JNIEnv* env, jobject self, CK_OBJECT_HANDLE handle) {
  trace("JNI: creating PKCS11Object (%li)...", handle);
  jobject object = wrapObject(env, self, handle);
  if (object != nullptr) traceLine("OK");
  return object;
}

// The two texts of a vendor PIN function: the new PIN, which Java must give
// and which is taken first, and a PUK or old PIN, which may be null and then
// reaches the module as a null pointer. Both are released on every path.
class VendorPins {
 public:
  VendorPins(JNIEnv* env, jstring first, jstring newPin, const char* firstMessage)
      : newPin_(env, newPin), first_(env, newPin_.ok() ? first : nullptr) {
    if (newPin == nullptr)
      refuse(env, kNoNewPin);
    else if (!newPin_.ok())
      refuse(env, "Internal error: utf_pNewPin == NULL");
    else if (first != nullptr && !first_.ok())
      refuse(env, firstMessage);
    else
      ok_ = true;
  }
  bool ok() const { return ok_; }
  const char* first() const { return first_.get(); }
  const char* newPin() const { return newPin_.get(); }

 private:
  Utf8 newPin_;
  Utf8 first_;
  bool ok_ = false;
};

// The steps of the three vendor PIN methods, which write no trace lines of
// their own: the session, the two texts, the call that `vendorCall` makes
// with them, and its result thrown when it failed.
template <typename Call>
void withVendorPins(JNIEnv* env, jobject self, jstring first, jstring newPin,
                    const char* firstMessage, Call vendorCall) {
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  VendorPins pins(env, first, newPin, firstMessage);
  if (!pins.ok()) return;
  failed(env, vendorCall(session, pins));
}

// Java passes the lengths of the vendor texts as longs; they go on unchanged
// (their low 32 bits where CK_ULONG is 32 bits wide).
CK_ULONG vendorLength(jlong length) {
  return static_cast<CK_ULONG>(length);
}

// The first steps of the three Identrus methods, printed whether or not
// tracing is on: the session and the application object's handle, printed
// as a 32-bit number without a line end.
bool identrusApplication(JNIEnv* env, jobject self, jlong list, CK_SESSION_HANDLE* session,
                         CK_OBJECT_HANDLE* application) {
  if (!readSessionID(env, self, session)) return false;
  say("(session= %li)\n", *session);
  *application = getIdentrusApplication(*session, functionList(list));
  say("Identrus application id = %i", static_cast<int>(CK2J_INT(*application)));
  return true;
}

// Reads the card's life-cycle status byte, signed; false after throwing.
bool readLifeCycleStatus(JNIEnv* env, jlong list, CK_SESSION_HANDLE session,
                         CK_OBJECT_HANDLE application, signed char* status) {
  CK_ATTRIBUTE attribute;
  attribute.type = kLifeCycleStatus;
  CK_RV rv = getAttributeValue(functionList(list), session, application, &attribute);
  if (failed(env, rv)) return false;
  // The wrapper terminates the value, so an empty one reads as 0.
  *status = static_cast<signed char>(static_cast<CK_BYTE*>(attribute.pValue)[0]);
  free(attribute.pValue);
  return true;
}

}  // namespace

extern "C" {

// --- The session, login and PINs -------------------------------------------

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_close(JNIEnv* env,
                                                                            jobject self,
                                                                            jlong list) {
  trace("JNI: start PKCS11Session.closeSession... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  failed(env, closeSession(functionList(list), session));
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_getInfo(JNIEnv* env,
                                                                                 jobject self,
                                                                                 jlong list) {
  trace("JNI: start PKCS11Session.getInfo... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return nullptr;
  CK_SESSION_INFO info;
  if (failed(env, getSessionInfo(functionList(list), session, &info))) return nullptr;
  trace("JNI: creating jobject PKCS11SessionInfo...");
  Constructor infoClass(env, kSessionInfoConstructor);
  if (!infoClass.ok()) return nullptr;
  jobject result =
      infoClass.make(CK2J_INT(info.state), CK2J_FLAGS(info.flags), CK2J_INT(info.ulDeviceError));
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_login(
    JNIEnv* env, jobject self, jlong list, jboolean securityOfficer, jstring pin) {
  loginWithText(env, self, list, userType(securityOfficer), pin);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_loginContextSpecific(
    JNIEnv* env, jobject self, jlong list, jstring pin) {
  loginWithText(env, self, list, CKU_CONTEXT_SPECIFIC, pin);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_loginAuthPath(
    JNIEnv* env, jobject self, jlong list, jboolean securityOfficer) {
  trace("JNI: start PKCS11Session.login... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  failed(env, loginAuthPath(functionList(list), session, userType(securityOfficer)));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_logout(JNIEnv* env,
                                                                             jobject self,
                                                                             jlong list) {
  trace("JNI: start PKCS11Session.logout... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  failed(env, Morvale_logout(functionList(list), session));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_initPIN(JNIEnv* env,
                                                                              jobject self,
                                                                              jlong list,
                                                                              jstring pin) {
  trace("JNI: start PKCS11Session.initPin... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  Utf8 text(env, pin);
  if (!required(env, text, "Internal error: newPinStr == NULL")) return;
  failed(env, initPin(functionList(list), session, text.get()));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_setPIN(
    JNIEnv* env, jobject self, jlong list, jstring oldPin, jstring newPin) {
  trace("JNI: start PKCS11Session.setPin... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  Utf8 oldText(env, oldPin);
  if (!required(env, oldText, "Internal error: oldPinStr == NULL")) return;
  Utf8 newText(env, newPin);
  if (!required(env, newText, "Internal error: newPinStr == NULL")) return;
  failed(env, setPin(functionList(list), session, oldText.get(), newText.get()));
}

// --- Object search and creation --------------------------------------------

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObjectsInit(
    JNIEnv* env, jobject self, jlong list, jintArray types, jobjectArray values) {
  trace("JNI: start PKCS11Session.findObjectsInit... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  // Without any template the search matches every object the session sees.
  if (types == nullptr && values == nullptr) {
    failed(env, findObjectsInit(functionList(list), session, nullptr, 0));
    return;
  }
  Template search(env);
  if (!search.build(types, values, kLengthMessage, kMemoryMessage)) return;
  failed(env, findObjectsInit(functionList(list), session, search.attributes(), search.count()));
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObject(JNIEnv* env,
                                                                                    jobject self,
                                                                                    jlong list) {
  trace("JNI: start PKCS11Session.findObject... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return nullptr;
  CK_OBJECT_HANDLE found;
  if (failed(env, findObjects(functionList(list), session, &found))) return nullptr;
  if (found == 0) {
    traceLine("JNI: No more objects (NULL found)");
    return nullptr;
  }
  return objectOf(env, self, found);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObjectsFinal(JNIEnv* env,
                                                                                       jobject self,
                                                                                       jlong list) {
  trace("JNI: start PKCS11Session.findObjectsFinal... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  failed(env, findObjectsFinal(functionList(list), session));
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_createObject(
    JNIEnv* env, jobject self, jlong list, jintArray types, jobjectArray values) {
  trace("JNI: start PKCS11Session.createObj... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  trace("(ses=%li)\n", session);
  jobject result = nullptr;
  {
    Template attributes(env);
    if (!attributes.build(types, values, kLengthMessage, kMemoryMessage)) return nullptr;
    CK_OBJECT_HANDLE created = 0;
    CK_RV rv = createObject(functionList(list), session, &created, attributes.attributes(),
                            attributes.count());
    traceLine("JNI: createObject PKCS11Session.createObj...");
    if (!failed(env, rv)) {
      // "OK" follows the creation attempt, whether or not the object was made.
      trace("JNI: creating PKCS11Object (%li)...", created);
      result = wrapObject(env, self, created);
      traceLine("OK");
    }
  }
  // The template's values and then the template itself are freed as the
  // guard goes out of scope.
  traceLine("JNI: free PKCS11Session.createObj...");
  traceLine("JNI: free(ckAttr) PKCS11Session.createObj...");
  return result;
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_installCertificate(
    JNIEnv* env, jobject self, jlong list, jlong vendorValue, jbyteArray certificate, jbyteArray,
    jstring subject, jstring serialNumber, jstring issuer, jstring label) {
  // Every line of this method is printed whether or not tracing is on.
  say("JNI: start PKCS11Session.createObj... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  say("(ses=%li)\n", session);

  CK_OBJECT_CLASS objectClass = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE certificateType = CKC_X_509;
  CK_ULONG vendor = static_cast<CK_ULONG>(vendorValue);
  CK_ATTRIBUTE attributes[8] = {
      {CKA_CLASS, &objectClass, sizeof(objectClass)},
      {CKA_CERTIFICATE_TYPE, &certificateType, sizeof(certificateType)},
      {kCertificateVendorValue, &vendor, sizeof(vendor)},
      {CKA_VALUE, nullptr, 0},
      {CKA_LABEL, nullptr, 0},
      {CKA_SUBJECT, nullptr, 0},
      {CKA_SERIAL_NUMBER, nullptr, 0},
      {CKA_ISSUER, nullptr, 0},
  };
  PinnedBytes value(env, certificate);
  if (!required(env, value)) return;
  attributes[3].pValue = value.data();
  attributes[3].ulValueLen = value.length();

  // The four texts, in the order label, subject, serial number, issuer, each
  // printed as it is taken.
  Utf8 labelText(env, label);
  Utf8 subjectText(env, labelText.ok() ? subject : nullptr);
  Utf8 serialText(env, subjectText.ok() ? serialNumber : nullptr);
  Utf8 issuerText(env, serialText.ok() ? issuer : nullptr);
  const Utf8* texts[4] = {&labelText, &subjectText, &serialText, &issuerText};
  for (int i = 0; i < 4; ++i) {
    if (!required(env, *texts[i], kNullParameter)) return;
    say("Label: %s\n", texts[i]->get());
    attributes[4 + i].pValue = const_cast<char*>(texts[i]->get());
    attributes[4 + i].ulValueLen = strlen(texts[i]->get());
  }

  CK_OBJECT_HANDLE created;
  CK_RV rv = createObject(functionList(list), session, &created, attributes, 8);
  if (rv != CKR_OK) say("C_CreateObject fails.");
  failed(env, rv);
}

// --- Card-specific extensions ----------------------------------------------

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_loginellips(
    JNIEnv* env, jobject self, jlong list, jboolean securityOfficer, jbyteArray pin) {
  trace("JNI: start PKCS11Session.login ellips... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  PinnedBytes bytes(env, pin);
  if (!required(env, bytes)) return;
  trace("(session= %li)\n", session);
  failed(env, loginellips(functionList(list), session, userType(securityOfficer), bytes.data(),
                          bytes.length()));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_setPINellips(
    JNIEnv* env, jobject self, jlong list, jbyteArray oldPin, jbyteArray newPin) {
  trace("JNI: start PKCS11Session.setPin ellips... ");
  CK_SESSION_HANDLE session;
  if (!readSession(env, self, &session)) return;
  PinnedBytes oldBytes(env, oldPin);
  if (!required(env, oldBytes)) return;
  PinnedBytes newBytes(env, newPin);
  if (!required(env, newBytes)) return;
  failed(env, setPinellips(functionList(list), session, oldBytes.data(), oldBytes.length(),
                           newBytes.data(), newBytes.length()));
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_initPIN4(
    JNIEnv* env, jobject self, jlong module, jstring puk, jlong pukLength, jstring newPin,
    jlong newPinLength, jint option1, jint option2) {
  withVendorPins(
      env, self, puk, newPin, kNoPukText, [&](CK_SESSION_HANDLE session, const VendorPins& pins) {
        return C_InitPIN4(moduleHandle(module), session, pins.first(), vendorLength(pukLength),
                          pins.newPin(), vendorLength(newPinLength), static_cast<CK_BYTE>(option1),
                          static_cast<CK_BYTE>(option2));
      });
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_initPIN4Bit(
    JNIEnv* env, jobject self, jlong module, jstring puk, jlong pukLength, jstring newPin,
    jlong newPinLength) {
  withVendorPins(
      env, self, puk, newPin, kNoPukText, [&](CK_SESSION_HANDLE session, const VendorPins& pins) {
        return C_InitPIN4Bit(moduleHandle(module), session, pins.first(), vendorLength(pukLength),
                             pins.newPin(), vendorLength(newPinLength));
      });
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_setPIN4(
    JNIEnv* env, jobject self, jlong module, jstring oldPin, jlong oldPinLength, jstring newPin,
    jlong newPinLength) {
  withVendorPins(env, self, oldPin, newPin, "Internal error: utf_pPin == NULL",
                 [&](CK_SESSION_HANDLE session, const VendorPins& pins) {
                   return C_SetPIN4(moduleHandle(module), session, pins.first(),
                                    vendorLength(oldPinLength), pins.newPin(),
                                    vendorLength(newPinLength));
                 });
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_setTokenParam(
    JNIEnv* env, jobject self, jlong module, jstring name, jlong nameLength, jstring value,
    jlong valueLength) {
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  if (name == nullptr) {
    refuse(env, kNoNewPin);
    return;
  }
  Utf8 valueText(env, value);
  if (!required(env, valueText, "Internal error: utf_pValue == NULL")) return;
  Utf8 nameText(env, name);
  if (!required(env, nameText, "Internal error: utf_pName == NULL")) return;
  failed(env,
         C_SetTokenParam(moduleHandle(module), session, nameText.get(), vendorLength(nameLength),
                         valueText.get(), vendorLength(valueLength)));
}

JNIEXPORT jstring JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_getTokenParam(
    JNIEnv* env, jobject self, jlong module, jstring name, jlong nameLength) {
  CK_BYTE value[kTokenParamCapacity + 1];
  memset(value, 0, sizeof(value));
  CK_ULONG length = kTokenParamCapacity;
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  if (name == nullptr) {
    refuse(env, kNoNewPin);
    return nullptr;
  }
  CK_RV rv;
  {
    Utf8 nameText(env, name);
    if (!required(env, nameText, "Internal error: utf_pName == NULL")) return nullptr;
    rv = C_GetTokenParam(moduleHandle(module), session, nameText.get(), vendorLength(nameLength),
                         value, &length);
  }
  if (failed(env, rv)) return nullptr;
  value[length < kTokenParamCapacity ? length : kTokenParamCapacity] = '\0';
  return newJavaString(env, value);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_setCardStatus(JNIEnv* env,
                                                                                    jobject self,
                                                                                    jlong list,
                                                                                    jint status) {
  // Every line of this method is printed whether or not tracing is on.
  say("JNI: start PKCS11Session.setCardStatus oberthur... ");
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE application;
  if (!identrusApplication(env, self, list, &session, &application)) return;
  say("\n");
  signed char current;
  if (!readLifeCycleStatus(env, list, session, application, &current)) return;
  say("Current lifeCycle status %d\n", current);
  CK_BYTE newStatus = static_cast<CK_BYTE>(status);
  if (status == kPreFirstUse) sayLine("Setting status to pre.first use");
  say("Setting lifeCycle status to %d\n", static_cast<signed char>(newStatus));
  CK_ATTRIBUTE attribute;
  attribute.type = kLifeCycleStatus;
  attribute.pValue = &newStatus;
  attribute.ulValueLen = 1;
  CK_RV rv = setAttributeValue(functionList(list), session, application, &attribute, 1);
  if (rv != CKR_OK) say("Error number : %li\n", rv);
  failed(env, rv);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_getCardStatus(JNIEnv* env,
                                                                                    jobject self,
                                                                                    jlong list) {
  // Every line of this method is printed whether or not tracing is on.
  say("JNI: start PKCS11Session.getCardStatus oberthur... ");
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE application;
  if (!identrusApplication(env, self, list, &session, &application)) return 0;
  say("\n");
  signed char status;
  if (!readLifeCycleStatus(env, list, session, application, &status)) return 0;
  say("lifeCycle status %d\n", status);
  return status;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_getIdentrusObject(
    JNIEnv* env, jobject self, jlong list) {
  // Every line of this method is printed whether or not tracing is on.
  say("JNI: start PKCS11Session.getIdentrusObject... ");
  CK_SESSION_HANDLE session;
  CK_OBJECT_HANDLE application;
  if (!identrusApplication(env, self, list, &session, &application)) return nullptr;
  // The lookup's own answers -1 and -2 are handed to Java as they are; an
  // object that the module found must fit its Java object.
  bool found = application != static_cast<CK_OBJECT_HANDLE>(-1) &&
               application != static_cast<CK_OBJECT_HANDLE>(-2);
  if (found && !handleFits(env, application)) return nullptr;
  say("JNI: creating PKCS11Object (%li)...", application);
  Constructor objectClass(env, kNativeObjectConstructor);
  if (objectClass.javaClass() == nullptr) {
    sayLine("Unable to find class NativePKCS11Object");
    return nullptr;
  }
  if (!objectClass.ok()) {
    sayLine("Unable to find constructor for class NativePKCS11Object");
    return nullptr;
  }
  jobject object = objectClass.make(self, CK2J_INT(application));
  if (object == nullptr)
    sayLine("Unable to find construct new object for class NativePKCS11Object");
  return object;
}

}  // extern "C"

// Operations with keys and key generation.

namespace {

// The call-layer wrappers that start an operation (C_SignInit, C_EncryptInit,
// C_DecryptInit) and those that run it in one part (C_Sign, C_Encrypt,
// C_Decrypt) share one shape each.
typedef CK_RV (*OperationStart)(FunctionList, CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE);
typedef CK_RV (*SinglePart)(FunctionList, CK_SESSION_HANDLE, CK_BYTE*, CK_ULONG, CK_BYTE*,
                            CK_ULONG*);

// How a single-part operation sizes its output: a null or empty output
// array asks the module for the length it needs (sign, decrypt), or the
// output array is required (encrypt). Either way the module is told the
// output array's length.
enum OutputCapacity { kOutputArrayOrQuery, kOutputArray };

// An array that the call needs: false, with "Internal error (Null
// parameter)" thrown, when Java passed null.
bool nonNull(JNIEnv* env, jbyteArray array) {
  if (array != nullptr) return true;
  refuse(env, kNullParameter);
  return false;
}

// How many bytes of an output buffer of `room` bytes the module filled, by
// the length it reported (held to the buffer, should a module claim more).
jsize produced(CK_ULONG reported, jsize room) {
  return reported < static_cast<CK_ULONG>(room) ? static_cast<jsize>(reported) : room;
}

// A Java length that the module is told about must lie within the array it
// describes, or the module would read or write past the array.
bool lengthWithin(JNIEnv* env, jint length, CK_ULONG available) {
  if (length >= 0 && static_cast<CK_ULONG>(length) <= available) return true;
  refuse(env, "Internal error: length out of range");
  return false;
}

// signInit, encryptInit, decryptInit: the session, the key and the bare
// mechanism go to one wrapper.
void startOperation(JNIEnv* env, jobject self, jlong list, jint type, jobject key,
                    const char* startText, OperationStart start) {
  trace("%s", startText);
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return;
  CK_OBJECT_HANDLE keyHandle;
  if (!readObjectID(env, key, &keyHandle)) return;
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  failed(env, start(functionList(list), session, &mechanism, keyHandle));
}

// sign, encrypt, decrypt: `length` bytes of `data` in, the output's length
// (or the length it needs, after a size query) back.
jint runSinglePart(JNIEnv* env, jobject self, jlong list, jbyteArray data, jint length,
                   jbyteArray output, const char* startText, SinglePart run,
                   OutputCapacity sizing) {
  trace("%s", startText);
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return -1;
  // The module works on copies: only the data's `length` bytes go in, and
  // only what the module produced comes back, so a result written into the
  // data's own Java array (in place) survives.
  if (!nonNull(env, data) || !lengthWithin(env, length, env->GetArrayLength(data))) return -1;
  ByteCopy in(env);
  if (!in.copyIn(data, length)) return -1;
  if (sizing == kOutputArray && !nonNull(env, output)) return -1;
  jsize room = output != nullptr ? env->GetArrayLength(output) : 0;
  ByteCopy out(env);
  if (!out.reserve(static_cast<size_t>(room))) return -1;
  CK_ULONG capacity = static_cast<CK_ULONG>(room);
  // No room at all: ask the module for the length it needs.
  CK_BYTE* result = sizing == kOutputArray || capacity != 0 ? out.data() : nullptr;
  trace("(session= %li)\n", session);
  if (failed(env, run(functionList(list), session, in.data(), J2CK_INT(length), result, &capacity)))
    return -1;
  if (result != nullptr) out.copyOut(output, produced(capacity, room));
  return CK2J_INT(capacity);
}

// Both arrays of a template are there and pair up; checked for both
// templates of a key pair before either is built.
bool templateArraysMatch(JNIEnv* env, jintArray types, jobjectArray values, const char* message) {
  if (types == nullptr || values == nullptr) {
    refuse(env, kNullParameter);
    return false;
  }
  if (env->GetArrayLength(types) == env->GetArrayLength(values)) return true;
  refuse(env, message);
  return false;
}

// The Object[2] {public key, private key} of a generated key pair, both
// NativePKCS11Object of `session`. Null, with the VM's error pending, when
// one of the Java objects cannot be made; the keys stay on the token.
jobjectArray keyPairResult(JNIEnv* env, jobject session, CK_OBJECT_HANDLE publicKey,
                           CK_OBJECT_HANDLE privateKey) {
  trace("JNI: creating 2 jobject PKCS11Object...");
  Local<jobject> publicObject(env, wrapObject(env, session, publicKey));
  if (publicObject.get() == nullptr) return nullptr;
  Local<jobject> privateObject(env, wrapObject(env, session, privateKey));
  if (privateObject.get() == nullptr) return nullptr;
  jclass objectClass = knownClass(env, quillon::kObjectClass);
  if (objectClass == nullptr) return nullptr;
  Local<jobjectArray> pair(env, env->NewObjectArray(2, objectClass, nullptr));
  if (env->ExceptionCheck() || pair.get() == nullptr) return nullptr;
  env->SetObjectArrayElement(pair.get(), 0, publicObject.get());
  if (env->ExceptionCheck()) return nullptr;
  env->SetObjectArrayElement(pair.get(), 1, privateObject.get());
  if (env->ExceptionCheck()) return nullptr;
  traceLine("OK");
  return pair.release();
}

CK_ATTRIBUTE attribute(CK_ATTRIBUTE_TYPE type, const void* value, CK_ULONG length) {
  CK_ATTRIBUTE entry;
  entry.type = type;
  // The module only reads a template's values.
  entry.pValue = const_cast<void*>(value);
  entry.ulValueLen = length;
  return entry;
}

// The vendor-defined private-key attributes that mark the fixed key pairs.
const CK_ATTRIBUTE_TYPE kIdentityKeyAttribute = 0x80006002UL;
const CK_ATTRIBUTE_TYPE kUtilityKeyAttribute = 0x80006001UL;

const char kNotSupported[] = "Not supported";
const char kNotSupportedYet[] = "Not supported YET";

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_signInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.signInit... ",
                 signInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_sign(JNIEnv* env,
                                                                           jobject self, jlong list,
                                                                           jbyteArray data, jint,
                                                                           jint length,
                                                                           jbyteArray signature) {
  return runSinglePart(env, self, list, data, length, signature,
                       "JNI: start PKCS11Session.sign... ", sign, kOutputArrayOrQuery);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_encryptInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.encryptInit... ",
                 encryptInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_encrypt(
    JNIEnv* env, jobject self, jlong list, jbyteArray data, jint, jint length, jbyteArray output) {
  return runSinglePart(env, self, list, data, length, output,
                       "JNI: start PKCS11Session.encrypt... ", encrypt, kOutputArray);
}

JNIEXPORT void JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_decryptInit(
    JNIEnv* env, jobject self, jlong list, jint mechanism, jbyteArray, jobject key) {
  startOperation(env, self, list, mechanism, key, "JNI: start PKCS11Session.decryptInit... ",
                 decryptInit);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_decrypt(
    JNIEnv* env, jobject self, jlong list, jbyteArray data, jint, jint length, jbyteArray output) {
  return runSinglePart(env, self, list, data, length, output,
                       "JNI: start PKCS11Session.decrypt... ", decrypt, kOutputArrayOrQuery);
}

JNIEXPORT jint JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_wrapKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jobject wrappingKey, jobject key,
    jbyteArray output) {
  trace("JNI: start PKCS11Session.wrapKey... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return -1;
  traceLine("JNI: session OK");
  CK_OBJECT_HANDLE keyHandle;
  if (!readObjectID(env, key, &keyHandle)) return -1;
  traceLine("JNI: key OK");
  CK_OBJECT_HANDLE wrappingHandle;
  if (!readObjectID(env, wrappingKey, &wrappingHandle)) return -1;
  traceLine("JNI: wrappingKey OK");
  CK_MECHANISM mechanism = bareMechanism(type);
  traceLine("JNI: mechanism OK");
  if (!nonNull(env, output)) return -1;
  jsize room = env->GetArrayLength(output);
  ByteCopy out(env);
  if (!out.reserve(static_cast<size_t>(room))) return -1;
  CK_ULONG capacity = static_cast<CK_ULONG>(room);
  trace("(session= %li)\n", session);
  CK_RV rv = wrapKey(functionList(list), session, &mechanism, wrappingHandle, keyHandle, out.data(),
                     &capacity);
  traceLine("JNI: wrapOK OK");
  // Only a wrapped key reaches the Java array.
  if (rv == CKR_OK) out.copyOut(output, produced(capacity, room));
  traceLine("JNI: release OK");
  if (failed(env, rv)) return -1;
  return CK2J_INT(capacity);
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_unwrapKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jobject unwrappingKey,
    jbyteArray wrappedKey, jint, jint length, jintArray types, jobjectArray values) {
  trace("JNI: start PKCS11Session.unwrapKey... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  CK_OBJECT_HANDLE unwrappingHandle;
  if (!readObjectID(env, unwrappingKey, &unwrappingHandle)) return nullptr;
  CK_MECHANISM mechanism = bareMechanism(type);
  Template attributes(env);
  if (!attributes.build(types, values, "Different array length", kMemoryMessage)) return nullptr;
  if (!nonNull(env, wrappedKey) || !lengthWithin(env, length, env->GetArrayLength(wrappedKey)))
    return nullptr;
  ByteCopy wrapped(env);
  if (!wrapped.copyIn(wrappedKey, length)) return nullptr;
  trace("(session= %li)\n", session);
  CK_OBJECT_HANDLE key;
  if (failed(env,
             unwrapKey(functionList(list), session, &mechanism, unwrappingHandle, wrapped.data(),
                       J2CK_INT(length), attributes.attributes(), attributes.count(), &key)))
    return nullptr;
  trace("JNI: creating PKCS11Object (%li)...", key);
  jobject result = wrapObject(env, self, key);
  if (result != nullptr) traceLine("OK");
  return result;
}

JNIEXPORT jobject JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKey(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jintArray types,
    jobjectArray values) {
  traceLine("JNI: start PKCS11Session.genKey...");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  traceLine("JNI: session OK");
  CK_MECHANISM mechanism = bareMechanism(type);
  traceLine("JNI: mechanism OK");
  Template attributes(env);
  if (!attributes.build(types, values, "Different array length", kMemoryMessage,
                        Template::kPerValue))
    return nullptr;
  traceLine("JNI: array OK");
  trace("(session= %li)\n", session);
  CK_OBJECT_HANDLE key;
  if (failed(env, generateKey(functionList(list), session, &mechanism, attributes.attributes(),
                              attributes.count(), &key)))
    return nullptr;
  traceLine("JNI: creating 2 jobject PKCS11Object...");
  return wrapObject(env, self, key);
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPair(
    JNIEnv* env, jobject self, jlong list, jint type, jbyteArray, jintArray publicTypes,
    jobjectArray publicValues, jintArray privateTypes, jobjectArray privateValues) {
  static const char kPublicMismatch[] = "Different array length for PublicKey";
  static const char kPrivateMismatch[] = "Different array length for PrivateKey";
  trace("JNI: start PKCS11Session.genKeyPair... ");
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  if (!templateArraysMatch(env, publicTypes, publicValues, kPublicMismatch) ||
      !templateArraysMatch(env, privateTypes, privateValues, kPrivateMismatch))
    return nullptr;
  // Declared in this order so that the public template is freed first.
  Template privateTemplate(env);
  Template publicTemplate(env);
  traceLine("JNI: parse public values...");
  if (!publicTemplate.build(publicTypes, publicValues, kPublicMismatch, kMemoryMessage))
    return nullptr;
  traceLine("JNI: parse private values...");
  if (!privateTemplate.build(privateTypes, privateValues, kPrivateMismatch, kMemoryMessage))
    return nullptr;
  CK_OBJECT_HANDLE publicKey;
  CK_OBJECT_HANDLE privateKey;
  if (failed(env,
             generateKeyPair(functionList(list), session, &mechanism, publicTemplate.attributes(),
                             publicTemplate.count(), privateTemplate.attributes(),
                             privateTemplate.count(), &publicKey, &privateKey)))
    return nullptr;
  return keyPairResult(env, self, publicKey, privateKey);
}

JNIEXPORT jobjectArray JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPairOB(
    JNIEnv* env, jobject self, jlong list, jint type, jboolean identity) {
  CK_SESSION_HANDLE session;
  if (!readSessionID(env, self, &session)) return nullptr;
  trace("JNI: start PKCS11Session.genKeyPair... ");
  CK_MECHANISM mechanism = bareMechanism(type);
  trace("(session= %li)\n", session);
  // Declared in this order so that the public template is freed first.
  Heap<CK_ATTRIBUTE> privateTemplate;
  Heap<CK_ATTRIBUTE> publicTemplate;
  *publicTemplate.out() = static_cast<CK_ATTRIBUTE*>(malloc(4 * sizeof(CK_ATTRIBUTE)));
  if (publicTemplate.get() == nullptr) {
    refuse(env, kMemoryMessage);
    return nullptr;
  }
  *privateTemplate.out() = static_cast<CK_ATTRIBUTE*>(malloc(4 * sizeof(CK_ATTRIBUTE)));
  if (privateTemplate.get() == nullptr) {
    refuse(env, kMemoryMessage);
    return nullptr;
  }
  // Both labels are 8 bytes long: "Identity" without its terminator,
  // "Utility" with it.
  const char* label = identity != 0 ? "Identity" : "Utility";
  const CK_ULONG modulusBits = 1024;
  const CK_BYTE publicExponent[3] = {0x01, 0x00, 0x01};
  const CK_BBOOL yes = CK_TRUE;
  publicTemplate[0] = attribute(CKA_MODULUS_BITS, &modulusBits, sizeof modulusBits);
  publicTemplate[1] = attribute(CKA_PUBLIC_EXPONENT, publicExponent, sizeof publicExponent);
  publicTemplate[2] = attribute(CKA_TOKEN, &yes, 1);
  publicTemplate[3] = attribute(CKA_LABEL, label, 8);
  privateTemplate[0] = attribute(CKA_TOKEN, &yes, 1);
  privateTemplate[1] = attribute(CKA_SIGN, &yes, 1);
  privateTemplate[2] = attribute(CKA_SIGN_RECOVER, &yes, 1);
  privateTemplate[3] =
      attribute(identity != 0 ? kIdentityKeyAttribute : kUtilityKeyAttribute, &yes, 1);

  say("Start generating keypair...");
  CK_OBJECT_HANDLE publicKey;
  CK_OBJECT_HANDLE privateKey;
  CK_RV rv = generateKeyPair(functionList(list), session, &mechanism, publicTemplate.get(), 4,
                             privateTemplate.get(), 4, &publicKey, &privateKey);
  sayLine("Done.");
  jobjectArray result = nullptr;
  if (!failed(env, rv)) result = keyPairResult(env, self, publicKey, privateKey);
  sayLine("Clearing memory...");
  say("    --> Public attr values done\n...");
  say("    --> Public attr done\n...");
  say("    --> Private attr value done\n...");
  say("    --> Private attr done\n...");
  sayLine("Done.");
  return result;
}

// Unsupported methods throw `message` and return `type(result)`; an empty
// `result` is the zero of the type (nothing, for void).
#define QUILLON_NOT_OFFERED(type, name, message, result, ...)                   \
  JNIEXPORT type JNICALL Java_it_morvale_pkcs11_nat_NativePKCS11Session_##name( \
      JNIEnv* env, jobject, __VA_ARGS__) {                                      \
    throwExc(env, message);                                                     \
    return type(result);                                                        \
  }

// The session functions the bridge does not offer: each throws and returns
// its fixed value without reading an argument.
QUILLON_NOT_OFFERED(void, signUpdate, kNotSupportedYet, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(jint, signFinal, kNotSupportedYet, -1, jlong, jbyteArray)
QUILLON_NOT_OFFERED(jbyteArray, getOperationState, kNotSupported, , jlong)
QUILLON_NOT_OFFERED(void, setOperationState, kNotSupported, , jlong, jbyteArray, jobject, jobject)
QUILLON_NOT_OFFERED(jint, encryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, encryptFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, digestInit, kNotSupported, , jlong, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, digest, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, digestUpdate, kNotSupported, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(void, digestKey, kNotSupported, , jlong, jobject)
QUILLON_NOT_OFFERED(jint, digestFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, signRecoverInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jint, signRecover, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jboolean, verify, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyUpdate, kNotSupported, , jlong, jbyteArray, jint, jint)
QUILLON_NOT_OFFERED(jboolean, verifyFinal, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, verifyRecoverInit, kNotSupported, , jlong, jint, jbyteArray, jobject)
QUILLON_NOT_OFFERED(jint, verifyRecover, kNotSupported, , jlong, jbyteArray, jint, jint, jbyteArray)
QUILLON_NOT_OFFERED(jint, digestEncryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptDigestUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, signEncryptUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jint, decryptVerifyUpdate, kNotSupported, , jlong, jbyteArray, jint, jint,
                    jbyteArray)
QUILLON_NOT_OFFERED(jobject, deriveKey, kNotSupported, , jlong, jint, jbyteArray, jobject,
                    jintArray, jobjectArray)
QUILLON_NOT_OFFERED(void, seedRandom, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(void, generateRandom, kNotSupported, , jlong, jbyteArray)
QUILLON_NOT_OFFERED(jboolean, getFunctionStatus, kNotSupported, , jlong)
QUILLON_NOT_OFFERED(void, cancelFunction, kNotSupported, , jlong)

}  // extern "C"
