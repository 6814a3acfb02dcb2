// qfast: a Cryptoki module that answers at once, so that a benchmark through
// it shows only what the caller's own path costs. It keeps no objects: every
// handle is accepted, every read answers from a fixed table, a search yields
// ten objects, a signature is a filled buffer of the mechanism's length and
// an encryption copies its input. Only the functions that the benchmarks
// call are in the function list; the other entries are null.
//
// qfast_set_slots(n), exported by name, sets how many slots (each with a
// token) the slot list reports.
#include <string.h>

#include <p11-kit/pkcs11.h>

#define QFAST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CK_ULONG slotCount = 1;
CK_SESSION_HANDLE nextSession = 1;
CK_OBJECT_HANDLE nextObject = 0x1000;
CK_ULONG searchLeft = 0;
CK_OBJECT_HANDLE searchNext = 0;
CK_MECHANISM_TYPE signMechanism = 0;
bool signActive = false;
bool encryptActive = false;

const char kLabel[] = "quillon bench key";
CK_BYTE modulus[256];

void pad(CK_UTF8CHAR* field, size_t width, const char* text) {
  memset(field, ' ', width);
  memcpy(field, text, strlen(text));
}

CK_RV Initialize(void*) {
  modulus[0] = 0xC3;
  for (size_t i = 1; i < sizeof modulus; ++i) modulus[i] = static_cast<CK_BYTE>(i * 7 + 1);
  return CKR_OK;
}

CK_RV Finalize(void*) {
  return CKR_OK;
}

CK_RV GetInfo(CK_INFO* info) {
  info->cryptokiVersion.major = 2;
  info->cryptokiVersion.minor = 40;
  pad(info->manufacturerID, sizeof info->manufacturerID, "quillon");
  info->flags = 0;
  pad(info->libraryDescription, sizeof info->libraryDescription, "answers at once");
  info->libraryVersion.major = 1;
  info->libraryVersion.minor = 0;
  return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID* slots, CK_ULONG* count) {
  if (slots == nullptr) {
    *count = slotCount;
    return CKR_OK;
  }
  if (*count < slotCount) {
    *count = slotCount;
    return CKR_BUFFER_TOO_SMALL;
  }
  for (CK_ULONG i = 0; i < slotCount; ++i) slots[i] = i;
  *count = slotCount;
  return CKR_OK;
}

CK_RV GetTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO* info) {
  pad(info->label, sizeof info->label, "bench");
  pad(info->manufacturerID, sizeof info->manufacturerID, "quillon");
  pad(info->model, sizeof info->model, "qfast");
  pad(info->serialNumber, sizeof info->serialNumber, "0001");
  info->flags = CKF_TOKEN_INITIALIZED | CKF_USER_PIN_INITIALIZED;
  info->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
  info->ulSessionCount = 1;
  info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
  info->ulRwSessionCount = 1;
  info->ulMaxPinLen = 64;
  info->ulMinPinLen = 4;
  info->ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
  info->ulFreePublicMemory = CK_UNAVAILABLE_INFORMATION;
  info->ulTotalPrivateMemory = CK_UNAVAILABLE_INFORMATION;
  info->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
  info->hardwareVersion.major = 1;
  info->hardwareVersion.minor = 0;
  info->firmwareVersion.major = 1;
  info->firmwareVersion.minor = 0;
  memset(info->utcTime, '0', sizeof info->utcTime);
  return CKR_OK;
}

CK_RV OpenSession(CK_SLOT_ID, CK_FLAGS, void*, CK_NOTIFY, CK_SESSION_HANDLE* session) {
  *session = nextSession++;
  return CKR_OK;
}

CK_RV CloseSession(CK_SESSION_HANDLE) {
  return CKR_OK;
}

CK_RV GetSessionInfo(CK_SESSION_HANDLE, CK_SESSION_INFO* info) {
  info->slotID = 0;
  info->state = CKS_RW_USER_FUNCTIONS;
  info->flags = CKF_SERIAL_SESSION | CKF_RW_SESSION;
  info->ulDeviceError = 0;
  return CKR_OK;
}

CK_RV Login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR*, CK_ULONG) {
  return CKR_OK;
}

// Copies one value into an attribute, or reports its length.
CK_RV answer(CK_ATTRIBUTE* attribute, const void* value, CK_ULONG length) {
  if (attribute->pValue == nullptr) {
    attribute->ulValueLen = length;
    return CKR_OK;
  }
  if (attribute->ulValueLen < length) {
    attribute->ulValueLen = CK_UNAVAILABLE_INFORMATION;
    return CKR_BUFFER_TOO_SMALL;
  }
  memcpy(attribute->pValue, value, length);
  attribute->ulValueLen = length;
  return CKR_OK;
}

CK_RV GetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE* attributes,
                        CK_ULONG count) {
  static const CK_OBJECT_CLASS privateKey = CKO_PRIVATE_KEY;
  CK_RV result = CKR_OK;
  for (CK_ULONG i = 0; i < count; ++i) {
    CK_RV rv;
    switch (attributes[i].type) {
      case CKA_CLASS:
        rv = answer(&attributes[i], &privateKey, sizeof privateKey);
        break;
      case CKA_LABEL:
        rv = answer(&attributes[i], kLabel, sizeof kLabel - 1);
        break;
      case CKA_MODULUS:
        rv = answer(&attributes[i], modulus, sizeof modulus);
        break;
      default:
        attributes[i].ulValueLen = CK_UNAVAILABLE_INFORMATION;
        rv = CKR_ATTRIBUTE_TYPE_INVALID;
        break;
    }
    if (rv != CKR_OK) result = rv;
  }
  return result;
}

CK_RV FindObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE*, CK_ULONG) {
  searchLeft = 10;
  searchNext = 0x100;
  return CKR_OK;
}

CK_RV FindObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE* objects, CK_ULONG max, CK_ULONG* found) {
  CK_ULONG n = max < searchLeft ? max : searchLeft;
  for (CK_ULONG i = 0; i < n; ++i) objects[i] = searchNext++;
  searchLeft -= n;
  *found = n;
  return CKR_OK;
}

CK_RV FindObjectsFinal(CK_SESSION_HANDLE) {
  searchLeft = 0;
  return CKR_OK;
}

CK_RV CreateObject(CK_SESSION_HANDLE, CK_ATTRIBUTE*, CK_ULONG, CK_OBJECT_HANDLE* object) {
  *object = nextObject++;
  return CKR_OK;
}

CK_RV DestroyObject(CK_SESSION_HANDLE, CK_OBJECT_HANDLE) {
  return CKR_OK;
}

CK_RV SignInit(CK_SESSION_HANDLE, CK_MECHANISM* mechanism, CK_OBJECT_HANDLE) {
  signMechanism = mechanism->mechanism;
  signActive = true;
  return CKR_OK;
}

// An ECDSA signature of P-256 is 64 bytes, an RSA-2048 one 256.
CK_RV Sign(CK_SESSION_HANDLE, CK_BYTE*, CK_ULONG, CK_BYTE* signature, CK_ULONG* length) {
  if (!signActive) return CKR_OPERATION_NOT_INITIALIZED;
  CK_ULONG needed = signMechanism == CKM_ECDSA || signMechanism == CKM_ECDSA_SHA256 ? 64 : 256;
  if (signature == nullptr) {
    *length = needed;
    return CKR_OK;
  }
  if (*length < needed) {
    *length = needed;
    return CKR_BUFFER_TOO_SMALL;
  }
  memset(signature, 0x5A, needed);
  *length = needed;
  signActive = false;
  return CKR_OK;
}

CK_RV EncryptInit(CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE) {
  encryptActive = true;
  return CKR_OK;
}

CK_RV Encrypt(CK_SESSION_HANDLE, CK_BYTE* data, CK_ULONG dataLength, CK_BYTE* out,
              CK_ULONG* outLength) {
  if (!encryptActive) return CKR_OPERATION_NOT_INITIALIZED;
  if (out == nullptr) {
    *outLength = dataLength;
    return CKR_OK;
  }
  if (*outLength < dataLength) {
    *outLength = dataLength;
    return CKR_BUFFER_TOO_SMALL;
  }
  memcpy(out, data, dataLength);
  *outLength = dataLength;
  encryptActive = false;
  return CKR_OK;
}

CK_FUNCTION_LIST functions;

}  // namespace

QFAST_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  functions.version.major = 2;
  functions.version.minor = 40;
  functions.C_Initialize = Initialize;
  functions.C_Finalize = Finalize;
  functions.C_GetInfo = GetInfo;
  functions.C_GetFunctionList = C_GetFunctionList;
  functions.C_GetSlotList = GetSlotList;
  functions.C_GetTokenInfo = GetTokenInfo;
  functions.C_OpenSession = OpenSession;
  functions.C_CloseSession = CloseSession;
  functions.C_GetSessionInfo = GetSessionInfo;
  functions.C_Login = Login;
  functions.C_GetAttributeValue = GetAttributeValue;
  functions.C_FindObjectsInit = FindObjectsInit;
  functions.C_FindObjects = FindObjects;
  functions.C_FindObjectsFinal = FindObjectsFinal;
  functions.C_CreateObject = CreateObject;
  functions.C_DestroyObject = DestroyObject;
  functions.C_SignInit = SignInit;
  functions.C_Sign = Sign;
  functions.C_EncryptInit = EncryptInit;
  functions.C_Encrypt = Encrypt;
  *list = &functions;
  return CKR_OK;
}

QFAST_EXPORT void qfast_set_slots(unsigned long count) {
  slotCount = count;
}
