// Smoke test of the recording module: loads the built libraries the way the bridge does and
// checks behaviour, the journal and the configuration mechanisms. Exits non-zero on any
// mismatch.
#include <p11-kit/pkcs11.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qrec_api.h"
#include "qrec_layout.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

int g_failures;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++g_failures;                                                            \
    }                                                                          \
  } while (0)

#define CHECK_RV(expr, expected)                                                               \
  do {                                                                                         \
    CK_RV rv_ = (expr);                                                                        \
    if (rv_ != (CK_RV)(expected)) {                                                            \
      fprintf(stderr, "%s:%d: %s returned 0x%lx, expected 0x%lx\n", __FILE__, __LINE__, #expr, \
              (unsigned long)rv_, (unsigned long)(expected));                                  \
      ++g_failures;                                                                            \
    }                                                                                          \
  } while (0)

void* load(const char* path) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryA(path));
#else
  return dlopen(path, RTLD_LAZY);
#endif
}

void* symbol(void* lib, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
#else
  return dlsym(lib, name);
#endif
}

void set_env(const char* name, const char* value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value);
#else
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

bool write_file(const char* path, const char* text) {
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  fputs(text, f);
  fclose(f);
  return true;
}

// Reads a whole file into a static buffer ("" when missing).
const char* read_file(const char* path) {
  static char buf[65536];
  buf[0] = '\0';
  FILE* f = fopen(path, "rb");
  if (!f) return buf;
  size_t n = fread(buf, 1, sizeof buf - 1, f);
  buf[n] = '\0';
  fclose(f);
  return buf;
}

// The control functions of the module.
struct Control {
  qrec_set_fn set;
  qrec_clear_fn clear;
  qrec_journal_fn journal;
  qrec_journal_clear_fn journalClear;
  qrec_reset_fn reset;
  qrec_layout_fn layout;
};

// The last journal line, without its line end.
const char* last_line(const Control& q) {
  static char line[8192];
  const char* j = q.journal();
  size_t n = strlen(j);
  if (n && j[n - 1] == '\n') --n;
  size_t start = n;
  while (start > 0 && j[start - 1] != '\n') --start;
  size_t len = n - start < sizeof line - 1 ? n - start : sizeof line - 1;
  memcpy(line, j + start, len);
  line[len] = '\0';
  return line;
}

void expect_line(const Control& q, const char* expected, int lineNo) {
  const char* got = last_line(q);
  if (strcmp(got, expected) != 0) {
    fprintf(stderr, "qrec_smoke.cpp:%d: journal line\n  got:      %s\n  expected: %s\n", lineNo,
            got, expected);
    ++g_failures;
  }
}
#define EXPECT_LINE(q, text) expect_line(q, text, __LINE__)

// Hex text of a CK_ULONG in native byte order, as the journal shows template values.
void ulong_hex(CK_ULONG v, char* out) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&v);
  for (size_t i = 0; i < sizeof v; ++i) sprintf(out + 2 * i, "%02x", b[i]);
}

void check_libraries_without_standard_parts() {
  void* notp11 = load(QNOTP11_PATH);
  CHECK(notp11 != NULL);
  if (notp11) {
    CHECK(symbol(notp11, "qnotp11_answer") != NULL);
    CHECK(symbol(notp11, "C_GetFunctionList") == NULL);
  }
  void* novendor = load(QREC_NOVENDOR_PATH);
  CHECK(novendor != NULL);
  if (novendor) {
    CHECK(symbol(novendor, "C_GetFunctionList") != NULL);
    CHECK(symbol(novendor, "qrec_journal") != NULL);
    const char* vendor[] = {"C_Control", "C_Control2",      "C_InitPIN4",
                            "C_SetPIN4", "C_GetTokenParam", "C_SetTokenParam"};
    for (const char* name : vendor) CHECK(symbol(novendor, name) == NULL);
    // Internal functions stay private.
    CHECK(symbol(novendor, "C_Initialize") == NULL);
    CHECK(symbol(novendor, "cfg_get") == NULL);
  }
}

typedef CK_RV (*ControlFn)(CK_SLOT_ID, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR);
typedef CK_RV (*GetTokenParamFn)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_BYTE_PTR,
                                 CK_ULONG_PTR);
typedef CK_RV (*InitPin4Fn)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR, CK_ULONG,
                            CK_BYTE, CK_BYTE);

void run(void* lib) {
  Control q;
  q.set = reinterpret_cast<qrec_set_fn>(symbol(lib, "qrec_set"));
  q.clear = reinterpret_cast<qrec_clear_fn>(symbol(lib, "qrec_clear"));
  q.journal = reinterpret_cast<qrec_journal_fn>(symbol(lib, "qrec_journal"));
  q.journalClear = reinterpret_cast<qrec_journal_clear_fn>(symbol(lib, "qrec_journal_clear"));
  q.reset = reinterpret_cast<qrec_reset_fn>(symbol(lib, "qrec_reset"));
  q.layout = reinterpret_cast<qrec_layout_fn>(symbol(lib, "qrec_layout"));
  CHECK(q.set && q.clear && q.journal && q.journalClear && q.reset && q.layout);
  if (!(q.set && q.clear && q.journal && q.journalClear && q.reset && q.layout)) return;

  // Layout: the module was compiled with the same header as this program.
  char layout[8192];
  size_t n = qrec_layout_write(layout, sizeof layout);
  CHECK(n < sizeof layout);
  CHECK(strcmp(layout, q.layout()) == 0);
  CHECK(strstr(layout, "CK_VERSION size=2 major=0 minor=1\n") != NULL);
#ifdef _WIN32
  CHECK(strstr(layout, "CK_ATTRIBUTE size=16 type=0 pValue=4 ulValueLen=12\n") != NULL);
  CHECK(strstr(layout, " C_Initialize=2 C_Finalize=10 ") != NULL);
#else
  CHECK(strstr(layout, "CK_ATTRIBUTE size=24 type=0 pValue=8 ulValueLen=16\n") != NULL);
  CHECK(strstr(layout, " C_Initialize=8 C_Finalize=16 ") != NULL);
#endif

  const char* configPath = "qrec_smoke_config.txt";
  const char* journalPath = "qrec_smoke_journal.txt";
  remove(journalPath);
  CHECK(write_file(configPath,
                   "# two slots, the second without a token\n"
                   "SLOT_IDS=0x1,0x80000001\n"
                   "TOKEN_ABSENT=0x80000001\n"
                   "SESSION_BASE=0x10\n"
                   "OBJECT_BASE=0x100\n"
                   "SIG_LEN=8\n"));
  set_env("QREC_CONFIG", configPath);
  q.reset();

  typedef CK_RV (*GetFunctionListFn)(CK_FUNCTION_LIST_PTR_PTR);
  GetFunctionListFn getList = reinterpret_cast<GetFunctionListFn>(symbol(lib, "C_GetFunctionList"));
  CHECK(getList != NULL);
  if (!getList) return;
  CK_FUNCTION_LIST_PTR f = NULL;
  CHECK_RV(getList(&f), CKR_OK);
  CHECK(f != NULL);
  if (!f) return;
  EXPECT_LINE(q, "C_GetFunctionList ppFunctionList=out -> 0x0");
  CHECK(f->version.major == 2 && f->version.minor == 40);

  // Lifecycle rules.
  CK_INFO info;
  CHECK_RV(f->C_GetInfo(&info), CKR_CRYPTOKI_NOT_INITIALIZED);
  EXPECT_LINE(q, "C_GetInfo pInfo=out -> 0x190");
  CHECK_RV(f->C_Finalize(NULL), CKR_CRYPTOKI_NOT_INITIALIZED);
  CHECK_RV(f->C_Initialize(NULL), CKR_OK);
  EXPECT_LINE(q, "C_Initialize pInitArgs=NULL -> 0x0");
  CHECK_RV(f->C_Initialize(NULL), CKR_CRYPTOKI_ALREADY_INITIALIZED);

  CHECK_RV(f->C_GetInfo(&info), CKR_OK);
  CHECK(memcmp(info.manufacturerID, "Quillon test                    ", 32) == 0);
  CHECK(info.cryptokiVersion.major == 2 && info.cryptokiVersion.minor == 40);

  // Slot list: size query, fill, tokenPresent filter, too small.
  CK_ULONG count = 0;
  CHECK_RV(f->C_GetSlotList(CK_FALSE, NULL, &count), CKR_OK);
  EXPECT_LINE(q, "C_GetSlotList tokenPresent=0x0 pSlotList=NULL *pulCount=0x0 -> 0x0");
  CHECK(count == 2);
  CK_SLOT_ID slots[4] = {0, 0, 0, 0};
  count = 4;
  CHECK_RV(f->C_GetSlotList(CK_FALSE, slots, &count), CKR_OK);
  EXPECT_LINE(q, "C_GetSlotList tokenPresent=0x0 pSlotList=out *pulCount=0x4 -> 0x0");
  CHECK(count == 2 && slots[0] == 0x1 && slots[1] == 0x80000001UL);
  count = 4;
  CHECK_RV(f->C_GetSlotList(CK_TRUE, slots, &count), CKR_OK);
  CHECK(count == 1 && slots[0] == 0x1);
  count = 1;
  CHECK_RV(f->C_GetSlotList(CK_FALSE, slots, &count), CKR_BUFFER_TOO_SMALL);
  CHECK(count == 2);
  CK_TOKEN_INFO tinfo;
  CHECK_RV(f->C_GetTokenInfo(0x80000001UL, &tinfo), CKR_TOKEN_NOT_PRESENT);
  CHECK_RV(f->C_GetTokenInfo(0x7, &tinfo), CKR_SLOT_ID_INVALID);
  CHECK_RV(f->C_GetTokenInfo(0x1, &tinfo), CKR_OK);
  CHECK(memcmp(tinfo.label, "qrec token 0                    ", 32) == 0);

  // Sessions and login.
  CK_SESSION_HANDLE h = 0;
  CHECK_RV(f->C_OpenSession(0x1, 0, NULL, NULL, &h), CKR_SESSION_PARALLEL_NOT_SUPPORTED);
  CHECK_RV(f->C_OpenSession(0x1, CKF_SERIAL_SESSION | CKF_RW_SESSION, NULL, NULL, &h), CKR_OK);
  EXPECT_LINE(q,
              "C_OpenSession slotID=0x1 flags=0x6 pApplication=NULL Notify=NULL phSession=out "
              "-> 0x0");
  CHECK(h == 0x10);
  CK_UTF8CHAR wrong[] = "0000";
  CHECK_RV(f->C_Login(h, CKU_USER, wrong, 4), CKR_PIN_INCORRECT);
  CK_UTF8CHAR pin[] = "1234";
  CHECK_RV(f->C_Login(h, CKU_USER, pin, 4), CKR_OK);
  EXPECT_LINE(q, "C_Login hSession=0x10 userType=0x1 pPin=31323334 ulPinLen=0x4 -> 0x0");
  CHECK_RV(f->C_Login(h, CKU_USER, pin, 4), CKR_USER_ALREADY_LOGGED_IN);
  CK_SESSION_INFO sinfo;
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), CKR_OK);
  CHECK(sinfo.state == CKS_RW_USER_FUNCTIONS && sinfo.slotID == 0x1);
  CHECK(sinfo.flags == (CKF_SERIAL_SESSION | CKF_RW_SESSION));

  // Objects: create, find, read an attribute.
  CK_OBJECT_CLASS cls = CKO_DATA;
  char label[] = "hello";
  CK_ATTRIBUTE tmpl[] = {{CKA_LABEL, label, 5}, {CKA_CLASS, &cls, sizeof cls}};
  CK_OBJECT_HANDLE obj = 0;
  CHECK_RV(f->C_CreateObject(h, tmpl, 2, &obj), CKR_OK);
  CHECK(obj == 0x100);
  char clsHex[2 * sizeof(CK_ULONG) + 1];
  ulong_hex(cls, clsHex);
  char expected[512];
  snprintf(expected, sizeof expected,
           "C_CreateObject hSession=0x10 pTemplate=[{type=0x3,len=0x5,val=68656c6c6f},"
           "{type=0x0,len=0x%lx,val=%s}] ulCount=0x2 phObject=out -> 0x0",
           (unsigned long)sizeof(CK_ULONG), clsHex);
  EXPECT_LINE(q, expected);

  CK_ATTRIBUTE find[] = {{CKA_LABEL, label, 5}};
  CHECK_RV(f->C_FindObjects(h, &obj, 1, &count), CKR_OPERATION_NOT_INITIALIZED);
  CHECK_RV(f->C_FindObjectsInit(h, find, 1), CKR_OK);
  CHECK_RV(f->C_FindObjectsInit(h, find, 1), CKR_OPERATION_ACTIVE);
  CK_OBJECT_HANDLE found = 0;
  count = 0;
  CHECK_RV(f->C_FindObjects(h, &found, 1, &count), CKR_OK);
  EXPECT_LINE(q,
              "C_FindObjects hSession=0x10 phObject=out ulMaxObjectCount=0x1 "
              "pulObjectCount=out -> 0x0");
  CHECK(count == 1 && found == 0x100);
  CHECK_RV(f->C_FindObjects(h, &found, 1, &count), CKR_OK);
  CHECK(count == 0);
  CHECK_RV(f->C_FindObjectsFinal(h), CKR_OK);

  CK_ATTRIBUTE read = {CKA_LABEL, NULL, 0};
  CHECK_RV(f->C_GetAttributeValue(h, 0x100, &read, 1), CKR_OK);
  EXPECT_LINE(q,
              "C_GetAttributeValue hSession=0x10 hObject=0x100 "
              "pTemplate=[{type=0x3,len=0x0,val=NULL}] ulCount=0x1 -> 0x0");
  CHECK(read.ulValueLen == 5);
  char value[6] = {0};
  read.pValue = value;
  CHECK_RV(f->C_GetAttributeValue(h, 0x100, &read, 1), CKR_OK);
  CHECK(strcmp(value, "hello") == 0);
  CK_ATTRIBUTE unknown = {CKA_MODULUS, NULL, 0};
  CHECK_RV(f->C_GetAttributeValue(h, 0x100, &unknown, 1), CKR_ATTRIBUTE_TYPE_INVALID);
  CHECK(unknown.ulValueLen == CK_UNAVAILABLE_INFORMATION);

  // Signing: length query keeps the operation, a full buffer ends it.
  CK_MECHANISM mech = {CKM_RSA_PKCS, NULL, 0};
  CHECK_RV(f->C_SignInit(h, &mech, 0x100), CKR_OK);
  EXPECT_LINE(q,
              "C_SignInit hSession=0x10 pMechanism={mech=0x1,param=NULL,len=0x0} hKey=0x100 "
              "-> 0x0");
  CK_BYTE data[] = {1, 2, 3};
  CK_ULONG sigLen = 0;
  CHECK_RV(f->C_Sign(h, data, 3, NULL, &sigLen), CKR_OK);
  EXPECT_LINE(q,
              "C_Sign hSession=0x10 pData=010203 ulDataLen=0x3 pSignature=NULL "
              "*pulSignatureLen=0x0 -> 0x0");
  CHECK(sigLen == 8);
  CK_BYTE sig[8];
  CHECK_RV(f->C_Sign(h, data, 3, sig, &sigLen), CKR_OK);
  CHECK_RV(f->C_Sign(h, data, 3, sig, &sigLen), CKR_OPERATION_NOT_INITIALIZED);

  // Vendor function: the reply bytes are written into the caller's buffer.
  ControlFn control = reinterpret_cast<ControlFn>(symbol(lib, "C_Control"));
  CHECK(control != NULL);
  if (control) {
    q.set("CONTROL_REPLY", "cafe");
    CK_BYTE block[4] = {1, 2, 3, 4};
    CK_ULONG blockLen = 4;
    CHECK_RV(control(0x1, 0x0, block, &blockLen), CKR_OK);
    EXPECT_LINE(q, "C_Control slotID=0x1 command=0x0 data=01020304 *pulDataLen=0x4 -> 0x0");
    CHECK(block[0] == 0xca && block[1] == 0xfe && block[2] == 3 && blockLen == 2);
    q.set("CONTROL_REPLY", NULL);
  }
  InitPin4Fn initPin4 = reinterpret_cast<InitPin4Fn>(symbol(lib, "C_InitPIN4"));
  CHECK(initPin4 != NULL);
  if (initPin4) {
    CK_UTF8CHAR newPin[] = "4321";
    // The length claimed by the caller need not match the text; the text is recorded to its NUL.
    CHECK_RV(initPin4(h, NULL, 0, newPin, 99, 0xff, 0x00), CKR_OK);
    EXPECT_LINE(q,
                "C_InitPIN4 hSession=0x10 puk=NULL pukLen=0x0 newPin=34333231 newPinLen=0x63 "
                "option1=0xff option2=0x0 -> 0x0");
  }
  GetTokenParamFn getParam = reinterpret_cast<GetTokenParamFn>(symbol(lib, "C_GetTokenParam"));
  CHECK(getParam != NULL);
  if (getParam) {
    q.set("TOKENPARAM_serial", "41420043");
    CK_BYTE buf[16];
    CK_ULONG bufLen = sizeof buf;
    CK_UTF8CHAR name[] = "serial";
    CHECK_RV(getParam(h, name, 6, buf, &bufLen), CKR_OK);
    CHECK(bufLen == 4 && buf[0] == 'A' && buf[2] == 0);
  }

  // NULLFN, RV_ and re-reading the file on every call.
  CHECK(f->C_GetSlotInfo != NULL);
  CHECK(write_file(configPath,
                   "SLOT_IDS=0x1,0x80000001\n"
                   "TOKEN_ABSENT=0x80000001\n"
                   "NULLFN=C_GetSlotInfo, C_Finalize\n"
                   "RV_C_GetSessionInfo=0xA0\n"
                   "INFO_MANUFACTURER_HEX=41420043\n"
                   "INFO_VERSION=2.20\n"));
  CHECK_RV(f->C_GetInfo(&info), CKR_OK);
  CHECK(memcmp(info.manufacturerID, "AB\0C                            ", 32) == 0);
  CHECK(info.cryptokiVersion.major == 2 && info.cryptokiVersion.minor == 20);
  CHECK(f->C_GetSlotInfo == NULL);
  CHECK(f->C_Finalize == NULL);
  CHECK(f->C_GetTokenInfo != NULL);
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), 0xA0);
  EXPECT_LINE(q, "C_GetSessionInfo hSession=0x10 pInfo=out -> 0xa0");

  // An override wins over the file; the environment is the last resort.
  q.set("RV_C_GetSessionInfo", "0xB3");
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), 0xB3);
  q.set("RV_C_GetSessionInfo", NULL);
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), 0xA0);
  set_env("QREC_RV_C_Logout", "0x5");
  CHECK_RV(f->C_Logout(h), 0x5);
  set_env("QREC_RV_C_Logout", NULL);

  // The journal file, and a length-first quirk.
  CHECK(write_file(configPath,
                   "SLOT_IDS=0x1,0x80000001\n"
                   "TOKEN_ABSENT=0x80000001\n"
                   "ATTR_LEN=0xffffffffffffffff\n"
                   "RV2_C_GetSlotList=0x150\n"));
  q.set("JOURNAL", journalPath);
  CK_ATTRIBUTE quirk = {CKA_LABEL, NULL, 0};
  CHECK_RV(f->C_GetAttributeValue(h, 0x100, &quirk, 1), CKR_OK);
  CHECK(quirk.ulValueLen == CK_UNAVAILABLE_INFORMATION);
  CHECK(f->C_GetSlotInfo != NULL);
  count = 0;
  CHECK_RV(f->C_GetSlotList(CK_FALSE, NULL, &count), CKR_OK);
  CHECK_RV(f->C_GetSlotList(CK_FALSE, slots, &count), 0x150);
  q.set("JOURNAL", NULL);
  const char* file = read_file(journalPath);
  CHECK(strncmp(file, "C_GetAttributeValue hSession=0x10 hObject=0x100 ", 48) == 0);
  CHECK(strstr(file, "C_GetSlotList tokenPresent=0x0 pSlotList=out *pulCount=0x2 -> 0x150\n") !=
        NULL);
  CHECK(strstr(q.journal(), file) != NULL);

  // GETFUNCTIONLIST quirks.
  q.set("GETFUNCTIONLIST", "null");
  CK_FUNCTION_LIST_PTR untouched = NULL;
  CHECK_RV(getList(&untouched), CKR_OK);
  CHECK(untouched == NULL);
  q.set("GETFUNCTIONLIST", "0x6");
  CHECK_RV(getList(&untouched), CKR_FUNCTION_FAILED);
  q.set("GETFUNCTIONLIST", NULL);

  // Finalize drops the sessions; afterwards every call reports not initialised.
  CHECK(write_file(configPath, "\n"));
  CHECK_RV(getList(&f), CKR_OK);
  CHECK_RV(f->C_Finalize(NULL), CKR_OK);
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), CKR_CRYPTOKI_NOT_INITIALIZED);
  CHECK_RV(f->C_Initialize(NULL), CKR_OK);
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), CKR_SESSION_HANDLE_INVALID);
  CHECK_RV(f->C_Finalize(NULL), CKR_OK);

  q.journalClear();
  CHECK(strcmp(q.journal(), "") == 0);
  q.reset();
  q.clear();
  set_env("QREC_CONFIG", NULL);
  remove(configPath);
  remove(journalPath);
}

typedef CK_RV (*Control2Fn)(CK_UTF8CHAR_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR);
typedef CK_RV (*SetPin4Fn)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR, CK_ULONG);
typedef CK_RV (*SetTokenParamFn)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR,
                                 CK_ULONG);

// Behaviour beyond the basic flow: list quirks, token data, login rules, objects, crypto and the
// vendor functions. Configuration comes from overrides only.
void run_more(void* lib) {
  Control q;
  q.set = reinterpret_cast<qrec_set_fn>(symbol(lib, "qrec_set"));
  q.clear = reinterpret_cast<qrec_clear_fn>(symbol(lib, "qrec_clear"));
  q.journal = reinterpret_cast<qrec_journal_fn>(symbol(lib, "qrec_journal"));
  q.reset = reinterpret_cast<qrec_reset_fn>(symbol(lib, "qrec_reset"));
  typedef CK_RV (*GetFunctionListFn)(CK_FUNCTION_LIST_PTR_PTR);
  GetFunctionListFn getList = reinterpret_cast<GetFunctionListFn>(symbol(lib, "C_GetFunctionList"));
  if (!(q.set && q.clear && q.journal && q.reset && getList)) return;
  q.reset();
  q.clear();
  CK_FUNCTION_LIST_PTR f = NULL;
  CHECK_RV(getList(&f), CKR_OK);
  if (!f) return;

  // Slots with full-width IDs, absent tokens, and the length-first quirks.
  q.set("SLOT_IDS", "0x2,0x80000001,0x3");
  q.set("TOKEN_ABSENT", "0x3");
  q.set("IDENTRUS", "08");
  q.set("MECHS", "0x0,0x1,0x250,0x80000001");
  q.set("MECHINFO_250", "16,32,0x300");
  q.set("S1_TOKEN_LABEL", "second");
  q.set("TOKEN_TOTAL_PUBLIC_MEMORY", "0xffffffffffffffff");
  q.set("TOKEN_FLAGS", "0x50d");  // with CKF_PROTECTED_AUTHENTICATION_PATH
  CHECK_RV(f->C_Initialize(NULL), CKR_OK);
  CK_ULONG count = 0;
  q.set("SLOTLIST_COUNT", "0xffffffffffffffff");
  CHECK_RV(f->C_GetSlotList(CK_FALSE, NULL, &count), CKR_OK);
  CHECK(count == CK_UNAVAILABLE_INFORMATION);
  q.set("SLOTLIST_COUNT", NULL);
  q.set("SLOTLIST_SECOND_COUNT", "1");
  CK_SLOT_ID slots[3] = {0, 0, 0};
  count = 3;
  CHECK_RV(f->C_GetSlotList(CK_FALSE, slots, &count), CKR_OK);
  CHECK(count == 1 && slots[0] == 0x2);
  q.set("SLOTLIST_SECOND_COUNT", NULL);
  count = 3;
  CHECK_RV(f->C_GetSlotList(CK_TRUE, slots, &count), CKR_OK);
  CHECK(count == 2 && slots[1] == 0x80000001UL);

  CK_MECHANISM_TYPE mechs[4];
  count = 0;
  CHECK_RV(f->C_GetMechanismList(0x2, NULL, &count), CKR_OK);
  CHECK(count == 4);
  CHECK_RV(f->C_GetMechanismList(0x2, mechs, &count), CKR_OK);
  CHECK(mechs[2] == 0x250 && mechs[3] == 0x80000001UL);
  q.set("MECHLIST_SECOND_COUNT", "2");
  count = 4;
  CHECK_RV(f->C_GetMechanismList(0x2, mechs, &count), CKR_OK);
  CHECK(count == 2);
  q.set("MECHLIST_SECOND_COUNT", NULL);
  CK_MECHANISM_INFO mi;
  CHECK_RV(f->C_GetMechanismInfo(0x2, 0x250, &mi), CKR_OK);
  CHECK(mi.ulMinKeySize == 16 && mi.ulMaxKeySize == 32 && mi.flags == 0x300);
  CHECK_RV(f->C_GetMechanismInfo(0x2, 0x6, &mi), CKR_MECHANISM_INVALID);

  CK_TOKEN_INFO ti;
  CHECK_RV(f->C_GetTokenInfo(0x80000001UL, &ti), CKR_OK);
  CHECK(memcmp(ti.label, "second                          ", 32) == 0);
  CHECK(ti.ulTotalPublicMemory == CK_UNAVAILABLE_INFORMATION);
  CK_SLOT_INFO si;
  CHECK_RV(f->C_GetSlotInfo(0x3, &si), CKR_OK);
  CHECK((si.flags & CKF_TOKEN_PRESENT) == 0);

  // InitToken records the label bytes; a wrong SO PIN is refused.
  CK_UTF8CHAR so[] = "5678";
  CK_UTF8CHAR newLabel[33] = "relabelled                      ";
  CHECK_RV(f->C_InitToken(0x80000001UL, (CK_UTF8CHAR_PTR) "0000", 4, newLabel), CKR_PIN_INCORRECT);
  CHECK_RV(f->C_InitToken(0x80000001UL, so, 4, newLabel), CKR_OK);
  CHECK(strstr(last_line(q), " pLabel=72656c6162656c6c6564202020") != NULL);
  CHECK_RV(f->C_GetTokenInfo(0x80000001UL, &ti), CKR_OK);
  CHECK(memcmp(ti.label, newLabel, 32) == 0);

  // Login rules: protected path, security officer with a read-only session, context-specific.
  CK_SESSION_HANDLE ro = 0, rw = 0;
  CHECK_RV(f->C_OpenSession(0x2, CKF_SERIAL_SESSION, NULL, NULL, &ro), CKR_OK);
  CHECK_RV(f->C_OpenSession(0x2, CKF_SERIAL_SESSION | CKF_RW_SESSION, NULL, NULL, &rw), CKR_OK);
  CHECK_RV(f->C_Login(rw, CKU_SO, so, 4), CKR_SESSION_READ_ONLY_EXISTS);
  CHECK_RV(f->C_Login(rw, CKU_USER, NULL, 0), CKR_OK);
  EXPECT_LINE(q, "C_Login hSession=0x2 userType=0x1 pPin=NULL ulPinLen=0x0 -> 0x0");
  CK_UTF8CHAR pin[] = "1234";
  CHECK_RV(f->C_Login(rw, CKU_CONTEXT_SPECIFIC, pin, 4), CKR_OK);
  CHECK_RV(f->C_Login(rw, CKU_SO, so, 4), CKR_USER_ANOTHER_ALREADY_LOGGED_IN);
  CK_SESSION_INFO sinfo;
  CHECK_RV(f->C_GetSessionInfo(ro, &sinfo), CKR_OK);
  CHECK(sinfo.state == CKS_RO_USER_FUNCTIONS);
  CHECK_RV(f->C_Logout(rw), CKR_OK);
  CHECK_RV(f->C_Logout(rw), CKR_USER_NOT_LOGGED_IN);

  // The Identrus application object: found by its vendor attribute, status byte readable.
  unsigned int identrus = 0x80008001u;
  CK_ATTRIBUTE find = {0x80000201UL, &identrus, 4};
  CHECK_RV(f->C_FindObjectsInit(ro, &find, 1), CKR_OK);
  CHECK(strstr(last_line(q), "pTemplate=[{type=0x80000201,len=0x4,val=01800080}]") != NULL);
  CK_OBJECT_HANDLE app = 0;
  count = 0;
  CHECK_RV(f->C_FindObjects(ro, &app, 1, &count), CKR_OK);
  CHECK(count == 1 && app != 0);
  CHECK_RV(f->C_FindObjectsFinal(ro), CKR_OK);
  CK_BYTE status = 0;
  CK_ATTRIBUTE st = {0x80004400UL, &status, 1};
  CHECK_RV(f->C_GetAttributeValue(ro, app, &st, 1), CKR_OK);
  CHECK(status == 8 && st.ulValueLen == 1);
  CK_BYTE newStatus = 0xc8;
  CK_ATTRIBUTE set = {0x80004400UL, &newStatus, 1};
  CHECK_RV(f->C_SetAttributeValue(ro, app, &set, 1), CKR_SESSION_READ_ONLY);
  CHECK_RV(f->C_SetAttributeValue(rw, app, &set, 1), CKR_OK);
  CHECK_RV(f->C_GetAttributeValue(ro, app, &st, 1), CKR_OK);
  CHECK(status == 0xc8);

  // Keys: generate, sensitive values, encrypt/decrypt round trip, wrap/unwrap.
  CK_MECHANISM gen = {0x0, NULL, 0};
  CK_BBOOL yes = CK_TRUE;
  CK_BYTE keyValue[] = {0x5a, 1, 2, 3};
  CK_ATTRIBUTE keyTmpl[] = {{CKA_VALUE, keyValue, 4}, {CKA_SENSITIVE, &yes, 1}};
  CK_OBJECT_HANDLE key = 0;
  CHECK_RV(f->C_GenerateKey(rw, &gen, keyTmpl, 2, &key), CKR_OK);
  CK_BYTE buf[16];
  CK_ATTRIBUTE secret = {CKA_VALUE, NULL, 0};
  CHECK_RV(f->C_GetAttributeValue(rw, key, &secret, 1), CKR_ATTRIBUTE_SENSITIVE);
  CHECK(secret.ulValueLen == CK_UNAVAILABLE_INFORMATION);
  CK_MECHANISM rsa = {0x1, NULL, 0};
  CK_BYTE plain[] = {0x10, 0x20, 0x30};
  CK_ULONG outLen = 2;
  CHECK_RV(f->C_EncryptInit(rw, &rsa, key), CKR_OK);
  CHECK_RV(f->C_Encrypt(rw, plain, 3, buf, &outLen), CKR_BUFFER_TOO_SMALL);
  CHECK(outLen == 3);
  CHECK_RV(f->C_Encrypt(rw, plain, 3, buf, &outLen), CKR_OK);
  CHECK(buf[0] == (0x10 ^ 0x5a));
  CK_BYTE back[3];
  outLen = 0;
  CHECK_RV(f->C_DecryptInit(rw, &rsa, key), CKR_OK);
  CHECK_RV(f->C_Decrypt(rw, buf, 3, NULL, &outLen), CKR_OK);
  CHECK(outLen == 3);
  CHECK_RV(f->C_Decrypt(rw, buf, 3, back, &outLen), CKR_OK);
  CHECK(memcmp(back, plain, 3) == 0);
  CK_MECHANISM bad = {(CK_MECHANISM_TYPE)-1, NULL, 0};
  CHECK_RV(f->C_SignInit(rw, &bad, key), CKR_MECHANISM_INVALID);

  CK_BYTE wrapped[8];
  CK_ULONG wrappedLen = 2;
  CHECK_RV(f->C_WrapKey(rw, &rsa, key, key, wrapped, &wrappedLen), CKR_BUFFER_TOO_SMALL);
  CHECK(wrappedLen == 4);
  CHECK_RV(f->C_WrapKey(rw, &rsa, key, key, wrapped, &wrappedLen), CKR_OK);
  CHECK(wrappedLen == 4 && wrapped[0] == 0 && wrapped[1] == (1 ^ 0x5a));
  CK_OBJECT_HANDLE unwrapped = 0;
  CHECK_RV(f->C_UnwrapKey(rw, &rsa, key, wrapped, wrappedLen, NULL, 0, &unwrapped), CKR_OK);
  CK_ATTRIBUTE recovered = {CKA_VALUE, buf, sizeof buf};
  CHECK_RV(f->C_GetAttributeValue(rw, unwrapped, &recovered, 1), CKR_OK);
  CHECK(recovered.ulValueLen == 4 && memcmp(buf, keyValue, 4) == 0);
  CK_BBOOL no = CK_FALSE;
  CK_ATTRIBUTE lockedTmpl[] = {{CKA_EXTRACTABLE, &no, 1}};
  CK_OBJECT_HANDLE locked = 0;
  CHECK_RV(f->C_GenerateKey(rw, &gen, lockedTmpl, 1, &locked), CKR_OK);
  CHECK_RV(f->C_WrapKey(rw, &rsa, key, locked, wrapped, &wrappedLen), CKR_KEY_UNEXTRACTABLE);

  // Session objects disappear with their session; token objects stay.
  CK_OBJECT_HANDLE pub = 0, priv = 0;
  CK_ATTRIBUTE pubTmpl[] = {{CKA_TOKEN, &yes, 1}};
  CHECK_RV(f->C_GenerateKeyPair(ro, &gen, pubTmpl, 1, NULL, 0, &pub, &priv), CKR_SESSION_READ_ONLY);
  CHECK_RV(f->C_GenerateKeyPair(rw, &gen, pubTmpl, 1, NULL, 0, &pub, &priv), CKR_OK);
  CHECK_RV(f->C_CloseSession(rw), CKR_OK);
  CK_ULONG size = 0;
  CHECK_RV(f->C_GetObjectSize(ro, pub, &size), CKR_OK);
  CHECK(size == 1);
  CHECK_RV(f->C_GetObjectSize(ro, priv, &size), CKR_OBJECT_HANDLE_INVALID);
  CHECK_RV(f->C_CloseAllSessions(0x2), CKR_OK);
  CHECK_RV(f->C_GetSessionInfo(ro, &sinfo), CKR_SESSION_HANDLE_INVALID);

  // Vendor functions record their arguments exactly.
  CK_SESSION_HANDLE h = 0;
  CHECK_RV(f->C_OpenSession(0x2, CKF_SERIAL_SESSION | CKF_RW_SESSION, NULL, NULL, &h), CKR_OK);
  Control2Fn control2 = reinterpret_cast<Control2Fn>(symbol(lib, "C_Control2"));
  SetPin4Fn setPin4 = reinterpret_cast<SetPin4Fn>(symbol(lib, "C_SetPIN4"));
  SetTokenParamFn setParam = reinterpret_cast<SetTokenParamFn>(symbol(lib, "C_SetTokenParam"));
  GetTokenParamFn getParam = reinterpret_cast<GetTokenParamFn>(symbol(lib, "C_GetTokenParam"));
  CHECK(control2 && setPin4 && setParam && getParam);
  if (control2 && setPin4 && setParam && getParam) {
    CK_BYTE block[2] = {0xab, 0xcd};
    CK_ULONG blockLen = 2;
    CHECK_RV(control2((CK_UTF8CHAR_PTR) "Reader 1", (CK_ULONG)-2, block, &blockLen), CKR_OK);
    char expected[256];
    snprintf(expected, sizeof expected,
             "C_Control2 readerName=5265616465722031 command=0x%lx data=abcd *pulDataLen=0x2 -> "
             "0x0",
             (unsigned long)(CK_ULONG)-2);
    EXPECT_LINE(q, expected);
    q.set("RV_C_Control2", "0x80000042");
    CHECK_RV(control2((CK_UTF8CHAR_PTR) "R", 1, block, &blockLen), 0x80000042UL);
    q.set("RV_C_Control2", NULL);

    CHECK_RV(setPin4(h, (CK_UTF8CHAR_PTR) "9999", 4, (CK_UTF8CHAR_PTR) "1111", 4),
             CKR_PIN_INCORRECT);
    CHECK_RV(setPin4(h, NULL, 0, (CK_UTF8CHAR_PTR) "1111", 4), CKR_OK);
    EXPECT_LINE(q,
                "C_SetPIN4 hSession=0x3 oldPin=NULL oldLen=0x0 newPin=31313131 newLen=0x4 -> 0x0");
    CHECK_RV(f->C_Login(h, CKU_USER, (CK_UTF8CHAR_PTR) "1111", 4), CKR_OK);

    CHECK_RV(setParam(h, (CK_UTF8CHAR_PTR) "mode", 4, (CK_UTF8CHAR_PTR) "fast", 7), CKR_OK);
    EXPECT_LINE(q,
                "C_SetTokenParam hSession=0x3 name=6d6f6465 nameLen=0x4 value=66617374 "
                "valueLen=0x7 -> 0x0");
    CK_BYTE value[8];
    CK_ULONG valueLen = 2;
    CHECK_RV(getParam(h, (CK_UTF8CHAR_PTR) "mode", 4, value, &valueLen), CKR_BUFFER_TOO_SMALL);
    CHECK(valueLen == 4);
    valueLen = sizeof value;
    CHECK_RV(getParam(h, (CK_UTF8CHAR_PTR) "mode", 4, value, &valueLen), CKR_OK);
    EXPECT_LINE(q,
                "C_GetTokenParam hSession=0x3 name=6d6f6465 nameLen=0x4 value=out "
                "*pulValueLen=0x8 -> 0x0");
    CHECK(valueLen == 4 && memcmp(value, "fast", 4) == 0);
    CHECK_RV(getParam(h, (CK_UTF8CHAR_PTR) "none", 4, value, &valueLen), CKR_ARGUMENTS_BAD);
  }

  // Every call is journalled even when it fails before doing anything.
  q.set("NULLFN", "C_GetInfo");
  CHECK_RV(f->C_GetSessionInfo(h, &sinfo), CKR_OK);
  CHECK(f->C_GetInfo == NULL);
  q.set("NULLFN", NULL);
  CHECK(f->C_GetInfo != NULL);
  CHECK_RV(f->C_Finalize((CK_VOID_PTR)1), CKR_ARGUMENTS_BAD);
  EXPECT_LINE(q, "C_Finalize pReserved=nonnull -> 0x7");
  CHECK_RV(f->C_Finalize(NULL), CKR_OK);
  q.reset();
  q.clear();
}

}  // namespace

int main() {
  check_libraries_without_standard_parts();
  void* lib = load(QREC_PATH);
  CHECK(lib != NULL);
  if (lib) {
    run(lib);
    run_more(lib);
  }
  if (g_failures) {
    fprintf(stderr, "qrec_smoke: %d failure(s)\n", g_failures);
    return 1;
  }
  printf("qrec_smoke: all checks passed\n");
  return 0;
}
