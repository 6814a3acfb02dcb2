// Describes the PKCS#11 structure layout as seen by the including translation unit.
//
// The recording module reports the text built here through qrec_layout(); a native test
// compiled with the bridge's own flags builds the same text with qrec_layout_write() and
// compares the two, which proves that module and bridge agree on sizes, packing and the
// position of every function-list entry.
//
// Include the PKCS#11 header first if the including code needs particular macros set
// (CRYPTOKI_EXPORTS); otherwise this header includes it.
#ifndef QREC_LAYOUT_H
#define QREC_LAYOUT_H

#include <p11-kit/pkcs11.h>
#include <stddef.h>
#include <stdio.h>

// Every entry of CK_FUNCTION_LIST after `version`, in declaration order.
#define QREC_FUNCTION_LIST_ENTRIES(X) \
  X(C_Initialize)                     \
  X(C_Finalize)                       \
  X(C_GetInfo)                        \
  X(C_GetFunctionList)                \
  X(C_GetSlotList)                    \
  X(C_GetSlotInfo)                    \
  X(C_GetTokenInfo)                   \
  X(C_GetMechanismList)               \
  X(C_GetMechanismInfo)               \
  X(C_InitToken)                      \
  X(C_InitPIN)                        \
  X(C_SetPIN)                         \
  X(C_OpenSession)                    \
  X(C_CloseSession)                   \
  X(C_CloseAllSessions)               \
  X(C_GetSessionInfo)                 \
  X(C_GetOperationState)              \
  X(C_SetOperationState)              \
  X(C_Login)                          \
  X(C_Logout)                         \
  X(C_CreateObject)                   \
  X(C_CopyObject)                     \
  X(C_DestroyObject)                  \
  X(C_GetObjectSize)                  \
  X(C_GetAttributeValue)              \
  X(C_SetAttributeValue)              \
  X(C_FindObjectsInit)                \
  X(C_FindObjects)                    \
  X(C_FindObjectsFinal)               \
  X(C_EncryptInit)                    \
  X(C_Encrypt)                        \
  X(C_EncryptUpdate)                  \
  X(C_EncryptFinal)                   \
  X(C_DecryptInit)                    \
  X(C_Decrypt)                        \
  X(C_DecryptUpdate)                  \
  X(C_DecryptFinal)                   \
  X(C_DigestInit)                     \
  X(C_Digest)                         \
  X(C_DigestUpdate)                   \
  X(C_DigestKey)                      \
  X(C_DigestFinal)                    \
  X(C_SignInit)                       \
  X(C_Sign)                           \
  X(C_SignUpdate)                     \
  X(C_SignFinal)                      \
  X(C_SignRecoverInit)                \
  X(C_SignRecover)                    \
  X(C_VerifyInit)                     \
  X(C_Verify)                         \
  X(C_VerifyUpdate)                   \
  X(C_VerifyFinal)                    \
  X(C_VerifyRecoverInit)              \
  X(C_VerifyRecover)                  \
  X(C_DigestEncryptUpdate)            \
  X(C_DecryptDigestUpdate)            \
  X(C_SignEncryptUpdate)              \
  X(C_DecryptVerifyUpdate)            \
  X(C_GenerateKey)                    \
  X(C_GenerateKeyPair)                \
  X(C_WrapKey)                        \
  X(C_UnwrapKey)                      \
  X(C_DeriveKey)                      \
  X(C_SeedRandom)                     \
  X(C_GenerateRandom)                 \
  X(C_GetFunctionStatus)              \
  X(C_CancelFunction)                 \
  X(C_WaitForSlotEvent)

// Appends text to buf (capacity cap) at *used, keeping it NUL-terminated; *used counts what
// would have been written, so the caller can detect truncation.
static inline void qrec_layout_text(char* buf, size_t cap, size_t* used, const char* text) {
  size_t room = *used < cap ? cap - *used : 0;
  int n = snprintf(room ? buf + *used : NULL, room, "%s", text);
  if (n > 0) *used += (size_t)n;
}

// Appends " name=value".
static inline void qrec_layout_put(char* buf, size_t cap, size_t* used, const char* name,
                                   unsigned long value) {
  size_t room = *used < cap ? cap - *used : 0;
  int n = snprintf(room ? buf + *used : NULL, room, " %s=%lu", name, value);
  if (n > 0) *used += (size_t)n;
}

// Starts the line of one structure: "TYPE size=N".
static inline void qrec_layout_begin(char* buf, size_t cap, size_t* used, const char* type,
                                     size_t size) {
  qrec_layout_text(buf, cap, used, type);
  qrec_layout_put(buf, cap, used, "size", (unsigned long)size);
}

static inline void qrec_layout_end(char* buf, size_t cap, size_t* used) {
  qrec_layout_text(buf, cap, used, "\n");
}

#define QREC_LAYOUT_FIELD(T, f) qrec_layout_put(buf, cap, &used, #f, (unsigned long)offsetof(T, f));

// Writes the layout text into buf (NUL-terminated when cap > 0). Returns the length of the
// full text; a result >= cap means the buffer was too small and the text is truncated.
static inline size_t qrec_layout_write(char* buf, size_t cap) {
  size_t used = 0;
  if (cap) buf[0] = '\0';

  qrec_layout_begin(buf, cap, &used, "CK_VERSION", sizeof(CK_VERSION));
  QREC_LAYOUT_FIELD(CK_VERSION, major)
  QREC_LAYOUT_FIELD(CK_VERSION, minor)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_INFO", sizeof(CK_INFO));
  QREC_LAYOUT_FIELD(CK_INFO, cryptokiVersion)
  QREC_LAYOUT_FIELD(CK_INFO, manufacturerID)
  QREC_LAYOUT_FIELD(CK_INFO, flags)
  QREC_LAYOUT_FIELD(CK_INFO, libraryDescription)
  QREC_LAYOUT_FIELD(CK_INFO, libraryVersion)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_SLOT_INFO", sizeof(CK_SLOT_INFO));
  QREC_LAYOUT_FIELD(CK_SLOT_INFO, slotDescription)
  QREC_LAYOUT_FIELD(CK_SLOT_INFO, manufacturerID)
  QREC_LAYOUT_FIELD(CK_SLOT_INFO, flags)
  QREC_LAYOUT_FIELD(CK_SLOT_INFO, hardwareVersion)
  QREC_LAYOUT_FIELD(CK_SLOT_INFO, firmwareVersion)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_TOKEN_INFO", sizeof(CK_TOKEN_INFO));
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, label)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, manufacturerID)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, model)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, serialNumber)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, flags)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulMaxSessionCount)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulSessionCount)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulMaxRwSessionCount)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulRwSessionCount)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulMaxPinLen)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulMinPinLen)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulTotalPublicMemory)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulFreePublicMemory)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulTotalPrivateMemory)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, ulFreePrivateMemory)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, hardwareVersion)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, firmwareVersion)
  QREC_LAYOUT_FIELD(CK_TOKEN_INFO, utcTime)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_SESSION_INFO", sizeof(CK_SESSION_INFO));
  QREC_LAYOUT_FIELD(CK_SESSION_INFO, slotID)
  QREC_LAYOUT_FIELD(CK_SESSION_INFO, state)
  QREC_LAYOUT_FIELD(CK_SESSION_INFO, flags)
  QREC_LAYOUT_FIELD(CK_SESSION_INFO, ulDeviceError)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_MECHANISM_INFO", sizeof(CK_MECHANISM_INFO));
  QREC_LAYOUT_FIELD(CK_MECHANISM_INFO, ulMinKeySize)
  QREC_LAYOUT_FIELD(CK_MECHANISM_INFO, ulMaxKeySize)
  QREC_LAYOUT_FIELD(CK_MECHANISM_INFO, flags)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_ATTRIBUTE", sizeof(CK_ATTRIBUTE));
  QREC_LAYOUT_FIELD(CK_ATTRIBUTE, type)
  QREC_LAYOUT_FIELD(CK_ATTRIBUTE, pValue)
  QREC_LAYOUT_FIELD(CK_ATTRIBUTE, ulValueLen)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_MECHANISM", sizeof(CK_MECHANISM));
  QREC_LAYOUT_FIELD(CK_MECHANISM, mechanism)
  QREC_LAYOUT_FIELD(CK_MECHANISM, pParameter)
  QREC_LAYOUT_FIELD(CK_MECHANISM, ulParameterLen)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_DATE", sizeof(CK_DATE));
  QREC_LAYOUT_FIELD(CK_DATE, year)
  QREC_LAYOUT_FIELD(CK_DATE, month)
  QREC_LAYOUT_FIELD(CK_DATE, day)
  qrec_layout_end(buf, cap, &used);

  qrec_layout_begin(buf, cap, &used, "CK_FUNCTION_LIST", sizeof(CK_FUNCTION_LIST));
  QREC_LAYOUT_FIELD(CK_FUNCTION_LIST, version)
#define QREC_LAYOUT_LIST_ENTRY(name) QREC_LAYOUT_FIELD(CK_FUNCTION_LIST, name)
  QREC_FUNCTION_LIST_ENTRIES(QREC_LAYOUT_LIST_ENTRY)
#undef QREC_LAYOUT_LIST_ENTRY
  qrec_layout_end(buf, cap, &used);

  return used;
}

#undef QREC_LAYOUT_FIELD

#endif  // QREC_LAYOUT_H
