// The trace log, byte for byte. Tracing never switches off and, once on,
// standard output is the log for the rest of the process, so this program
// runs alone and reports on standard error.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "fakejni.h"
#include "it_morvale_pkcs11_nat_NativePKCS11.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "support.h"

namespace {

const char kLog[] = "/var/tmp/jpkcs110.log";
int failures = 0;

std::string readLog(long from) {
  std::string text;
  FILE* f = fopen(kLog, "rb");
  if (f == nullptr) return text;
  fseek(f, from, SEEK_SET);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

long logSize() {
  FILE* f = fopen(kLog, "rb");
  if (f == nullptr) return 0;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fclose(f);
  return size;
}

std::string hexHandle(const void* handle) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%lx",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)));
  return buffer;
}

// Runs `step` as one native call and returns what it added to the log.
template <typename F>
std::string traced(fakejni::Vm& vm, const char* name, F step) {
  fflush(stdout);
  long start = logSize();
  vm.beginCall();
  step();
  fakejni::CallSummary summary = vm.endCall();
  if (!summary.clean()) {
    fprintf(stderr, "FAIL %s: JNI misuse\n", name);
    ++failures;
  }
  vm.clearPending();
  fflush(stdout);
  return readLog(start);
}

void expect(const char* name, const std::string& expected, const std::string& actual) {
  if (expected == actual) {
    fprintf(stderr, "ok   %s\n", name);
    return;
  }
  ++failures;
  fprintf(stderr, "FAIL %s\n--- expected ---\n%s\n--- actual ---\n%s\n---\n", name,
          expected.c_str(), actual.c_str());
}

}  // namespace

int main() {
  fakejni::Vm vm;
  JNIEnv* env = vm.env();
  jobject self = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11");
  testsupport::Recorder& rec = testsupport::Recorder::at(QREC_MODULE);
  rec.reset();
  rec.set("SLOTS", "2");
  // Each token holds an object with the vendor-defined attribute 0x80000201.
  rec.set("IDENTRUS", "08");
#ifdef _WIN32
  _putenv("PKCS11_ZOR_DEBUG=1");
#else
  setenv("PKCS11_ZOR_DEBUG", "", 1);
#endif
  fflush(stdout);
  long runStart = logSize();
  jstring path = vm.newString(QREC_MODULE);
  jlong module = 0;
  std::string log = traced(vm, "load", [&] {
    module = Java_it_morvale_pkcs11_nat_NativePKCS11_loadPKCS11Library(env, self, path);
  });
  std::string handle = hexHandle(reinterpret_cast<void*>(static_cast<intptr_t>(module)));
  expect("load",
         "setting debug to 1\n"
         "JNI: start loadPKCS11Library (arg= " QREC_MODULE
         ")\n"
         "JNI:BRIDGE: Start loading library... Done: " +
             handle +
             "\n"
             "JNI: library loaded: (Handle ptr=" +
             handle +
             ")\n"
             "JNI: end loadPKCS11Library\n",
         log);

  jlong list = 0;
  log = traced(vm, "bind", [&] {
    list = Java_it_morvale_pkcs11_nat_NativePKCS11_functionListHandler(env, self, module);
  });
  void* symbol = testsupport::librarySymbol(rec.module, "C_GetFunctionList");
  expect("bind",
         "JNI:BRIDGE: Getting FuncList address... Done: " + hexHandle(symbol) +
             "\n"
             "JNI:BRIDGE: Calling FuncList... Done: " +
             hexHandle(reinterpret_cast<void*>(static_cast<intptr_t>(list))) + "\n",
         log);

  expect("initialise", "JNI: PKCS11.libInitialize\nJNI:BRIDGE: Initializing... Done: 0\n",
         traced(vm, "initialise",
                [&] { Java_it_morvale_pkcs11_nat_NativePKCS11_libInitialize(env, self, list); }));
  expect("info",
         "JNI: start PKCS11.getInfo\n"
         "JNI:BRIDGE: Calling C_GetInfo... Done\n"
         "JNI: creating jobject PKCS11Info...OK\n",
         traced(vm, "info",
                [&] { Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, self, list); }));
  expect("slots",
         "JNI: start PKCS11.getSlotList\n"
         "JNI:BRIDGE: Calling C_GetSlotList... (slots=2)... 0 Done\n"
         "JNI: creating array of 2 PKCS11Slot\n"
         "JNI: adding element 0 ... value= 0 ... OK\n"
         "JNI: adding element 1 ... value= 1 ... OK\n",
         traced(vm, "slots",
                [&] { Java_it_morvale_pkcs11_nat_NativePKCS11_getSlotList(env, self, list, 1); }));

  // Attribute types print as the unsigned 32-bit number where long has 64
  // bits, and as a negative number on Windows, where it has 32.
  CK_FUNCTION_LIST* functions = reinterpret_cast<CK_FUNCTION_LIST*>(static_cast<intptr_t>(list));
  CK_SESSION_HANDLE session = 0;
  CK_OBJECT_HANDLE object = 0;
  CK_ULONG found = 0;
  functions->C_OpenSession(0, CKF_SERIAL_SESSION, nullptr, nullptr, &session);
  functions->C_FindObjectsInit(session, nullptr, 0);
  functions->C_FindObjects(session, &object, 1, &found);
  functions->C_FindObjectsFinal(session);
  jobject sessionObject = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Session");
  vm.setIntField(sessionObject, "sessionID", static_cast<jint>(session));
  jobject identrus = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Object");
  vm.setObjectField(identrus, "session", sessionObject);
  vm.setIntField(identrus, "objectID", static_cast<jint>(object));
  char handles[64];
  snprintf(handles, sizeof handles, "(obj= %lu)(ses=%lu)\n", static_cast<unsigned long>(object),
           static_cast<unsigned long>(session));
#ifdef _WIN32
  const std::string vendorType = "-2147483135";
#else
  const std::string vendorType = "2147484161";
#endif
  expect("vendor attribute",
         "JNI: start PKCS11Object.getAttr(" + vendorType + ") ByteArray... " + handles +
             "JNI:BRIDGE: Calling C_GetAttributeValue 80000201 ...(len=4)... Done\n",
         traced(vm, "vendor attribute", [&] {
           Java_it_morvale_pkcs11_nat_NativePKCS11Object_getByteArrayAttributeValue(
               env, identrus, list, static_cast<jint>(0x80000201u));
         }));
  expect(
      "boxed attribute",
      "JNI: start PKCS11Object.getAttr(0) Int... " + std::string(handles) +
          "JNI:BRIDGE: Calling C_GetAttributeValue 0 ...(len=" + std::to_string(sizeof(CK_ULONG)) +
          ")... Done\n"
          "JNI: creating jobject Integer...OK\n",
      traced(vm, "boxed attribute", [&] {
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_getAttributeValue(env, identrus, list,
                                                                        CKA_CLASS);
      }));
  jobject longValue = vm.newLong(3);
  expect("unconverted value",
         "JNI: start PKCS11Object.setAttr(" + vendorType + ")... " + handles +
             "\nERROR: cannot parse passed object\n",
         traced(vm, "unconverted value", [&] {
           Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValue(
               env, identrus, list, static_cast<jint>(0x80000201u), longValue);
         }));
  rec.set("NULLFN", "C_GetInfo");
  expect("missing entry",
         "JNI: start PKCS11.getInfo\n"
         "JNI:BRIDGE: Calling C_GetInfo..."
         "JNI: Throwing exc number 80000001..."
         "JNI: Throwing vendor defined exc 'Internal error'... Done\n",
         traced(vm, "missing entry",
                [&] { Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, self, list); }));
  rec.set("NULLFN", nullptr);
  rec.set("RV_C_GetInfo", "0xa0");
  expect("module code",
         "JNI: start PKCS11.getInfo\n"
         "JNI:BRIDGE: Calling C_GetInfo... Done\n"
         "JNI: Throwing exc number a0... Done\n",
         traced(vm, "module code",
                [&] { Java_it_morvale_pkcs11_nat_NativePKCS11_getInfo(env, self, list); }));
  rec.set("RV_C_GetInfo", nullptr);
  expect("version", "JNI: start PKCS11.getBridgeVersion: 2.00\n", traced(vm, "version", [&] {
           Java_it_morvale_pkcs11_nat_NativePKCS11_getBridgeVersion(env, self);
         }));
  // CK_RV -1 is printed with all its bits: eight f digits where CK_ULONG
  // has 32 bits, sixteen where it has 64.
  expect("credential",
         "JNI: start getRSAcredential... \n"
         " alias len =5 \n"
         "JNI: pin is null ?...  pin len =4 \n"
         "Funzionalit\xef\xbf\xbd non implementata!"
         "JNI: Throwing exc number " +
             std::string(2 * sizeof(CK_ULONG), 'f') + "... Done\n",
         traced(vm, "credential", [&] {
           Java_it_morvale_pkcs11_nat_NativePKCS11_getRSAcredential(
               env, self, 0, vm.newString("alias"), 0, vm.newString("1234"));
         }));
  expect("finalise", "JNI: PKCS11.libFinalize\nJNI:BRIDGE: Finalizing... Done: 0\n",
         traced(vm, "finalise", [&] {
           Java_it_morvale_pkcs11_nat_NativePKCS11_libFinalize(env, self, module, list);
         }));

  // Unloading the bridge leaves nothing behind and writes nothing.
  fflush(stdout);
  long unloadStart = logSize();
  fakejni::CallSummary unloaded = vm.unloadLibrary(JNI_OnUnload);
  if (!unloaded.clean() || vm.liveGlobals() != 0) {
    ++failures;
    fprintf(stderr, "FAIL unload: %d global references left\n", vm.liveGlobals());
  }
  fflush(stdout);
  expect("unload", "", readLog(unloadStart));

  std::string whole = readLog(runStart);
  if (whole.find('\r') != std::string::npos) {
    ++failures;
    fprintf(stderr, "FAIL the log holds carriage returns\n");
  }
  fprintf(stderr, "%s: %d failed\n", failures ? "FAILED" : "passed", failures);
  return failures == 0 ? 0 : 1;
}
