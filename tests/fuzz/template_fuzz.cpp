// Fuzz target: arbitrary Java values, attribute types and array lengths through every entry
// point that builds a template (createObject, findObjectsInit, setAttributeValue(s),
// generateKey, generateKeyPair, unwrapKey), now and then with a JNI function made to fail.
// The answering module compares each template it receives with the encoding that the Java
// values call for; a template that reaches it when a value could not be converted, or that
// differs from what it should be, stops the run, as does anything the fake JVM sees the bridge
// do wrong.
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Object.h"
#include "it_morvale_pkcs11_nat_NativePKCS11Session.h"

namespace {

using Bytes = std::vector<unsigned char>;

// One attribute as the module must receive it.
struct Expected {
  CK_ATTRIBUTE_TYPE type;
  Bytes value;
};

// A template that Java passes: the arrays and what they must become.
struct JavaTemplate {
  jintArray types = nullptr;
  jobjectArray values = nullptr;
  std::vector<Expected> expected;
  bool converts = true;  // both arrays there, of one length, every value of a class that converts
};

// The templates the module must see in this call, by role, and what it saw.
struct Observation {
  std::vector<std::pair<std::string, const JavaTemplate*>> expected;
  std::vector<std::string> seen;
};
Observation g_observation;

std::string hex(const void* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<const unsigned char*>(data)[i];
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

void observer(const char* role, const CK_ATTRIBUTE* t, CK_ULONG n) {
  g_observation.seen.push_back(role);
  for (const auto& entry : g_observation.expected) {
    if (entry.first != role) continue;
    const JavaTemplate& java = *entry.second;
    std::ostringstream why;
    if (!java.converts)
      fuzz::stop(role, "a template that could not be converted reached the module");
    if (n != java.expected.size()) {
      why << "count " << n << ", expected " << java.expected.size();
      fuzz::stop(role, why.str());
    }
    for (CK_ULONG i = 0; i < n; ++i) {
      const Expected& e = java.expected[i];
      // Every byte of the value is read, so that a value shorter than its length shows.
      std::string got = t[i].pValue != nullptr ? hex(t[i].pValue, t[i].ulValueLen) : "NULL";
      if (t[i].type != e.type || got != hex(e.value.data(), e.value.size())) {
        why << "attribute " << i << ": type " << std::hex << t[i].type << " value " << got
            << ", expected type " << e.type << " value " << hex(e.value.data(), e.value.size());
        fuzz::stop(role, why.str());
      }
    }
    return;
  }
  fuzz::stop(role, "a template reached the module where none was expected");
}

// Java text as modified UTF-8: NUL as C0 80, every other code unit in one to three bytes.
std::string modifiedUtf8(const std::vector<uint16_t>& units) {
  std::string out;
  for (uint16_t u : units) {
    if (u != 0 && u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

Bytes randomBytes(size_t n) {
  Bytes b(n);
  if (n != 0) answers_take(b.data(), n);
  return b;
}

// One Java value of a class chosen by the input, and its encoding when it converts.
jobject javaValue(fakejni::Vm& vm, Expected* expected, bool* converts) {
  switch (fuzz::byte() % 10) {
    case 0: {
      std::vector<uint16_t> units(fuzz::count(24));
      for (uint16_t& u : units) u = fuzz::byte() < 200 ? fuzz::byte() : fuzz::word();
      std::string text = modifiedUtf8(units);
      expected->value.assign(text.begin(), text.end());
      return vm.newString(text);
    }
    case 1:
      expected->value = randomBytes(fuzz::count(80));
      return vm.newBytes(expected->value);
    case 2: {
      jint v = static_cast<jint>(fuzz::u32());
      CK_ULONG wide = static_cast<CK_ULONG>(static_cast<long>(v));
      expected->value.assign(reinterpret_cast<unsigned char*>(&wide),
                             reinterpret_cast<unsigned char*>(&wide) + sizeof wide);
      return vm.newInteger(v);
    }
    case 3: {
      bool v = fuzz::byte() & 1;
      expected->value = {static_cast<unsigned char>(v)};
      return vm.newBoolean(v);
    }
    case 4: {
      jobject big = vm.newBigInteger(randomBytes(1 + fuzz::count(40)));
      Bytes minimal = vm.bigIntegerBytes(big);
      if (minimal.size() > 0 && minimal[0] == 0) minimal.erase(minimal.begin());
      expected->value = minimal;
      return big;
    }
    case 5: {
      int year = 1 + fuzz::word() % 9999;
      int month = 1 + fuzz::byte() % 12;
      int day = 1 + fuzz::byte() % 28;
      char text[16];
      snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
      expected->value.assign(text, text + 8);
      return vm.newDate(year, month, day);
    }
    case 6:
      *converts = false;
      return vm.newLong(static_cast<long long>(fuzz::u32()));
    case 7:
      *converts = false;
      return nullptr;
    case 8:
      *converts = false;
      return vm.newObject("java/lang/Object");
    default:
      *converts = false;
      return vm.newInts({1, 2});
  }
}

// Types and values, sometimes of different lengths or missing.
JavaTemplate javaTemplate(fakejni::Vm& vm) {
  JavaTemplate t;
  size_t n = fuzz::byte() < 16 ? fuzz::count(300) : fuzz::count(40);
  std::vector<jint> types(n);
  std::vector<jobject> values(n);
  for (size_t i = 0; i < n; ++i) {
    types[i] = static_cast<jint>(fuzz::u32());
    Expected e;
    e.type = static_cast<CK_ATTRIBUTE_TYPE>(static_cast<uint32_t>(types[i]));
    values[i] = javaValue(vm, &e, &t.converts);
    t.expected.push_back(e);
  }
  uint8_t shape = fuzz::byte();
  if (shape < 8 && n > 0) {
    values.pop_back();
    t.converts = false;
  } else if (shape < 16) {
    values.push_back(vm.newInteger(0));
    t.converts = false;
  }
  t.types = shape == 16 || shape == 18 ? nullptr : vm.newInts(types);
  t.values = shape == 17 || shape == 18 ? nullptr : vm.newObjectArray("java/lang/Object", values);
  if (shape >= 16 && shape <= 18) t.converts = false;
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  answers_feed(data, size);
  const fuzz::Module& module = fuzz::answeringModule();
  answers_feed(data, size);
  answers_observe(observer);
  fakejni::Vm vm;
  JNIEnv* env = vm.env();
  jobject session = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Session");
  vm.setIntField(session, "sessionID", static_cast<jint>(fuzz::u32()));
  jobject object = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Object");
  vm.setIntField(object, "objectID", static_cast<jint>(fuzz::u32()));
  vm.setObjectField(object, "session", session);
  jobject key = vm.newObject("it/morvale/pkcs11/nat/NativePKCS11Object");
  jbyteArray wrapped = vm.newBytes(randomBytes(fuzz::count(64)));
  jint wrappedLength = static_cast<jint>(fuzz::byte()) - 8;

  while (!answers_exhausted()) {
    uint8_t operation = fuzz::byte() % 7;
    JavaTemplate first = javaTemplate(vm);
    JavaTemplate second;
    g_observation = Observation();
    bool injected = fuzz::maybeFail(vm);
    jobject result = nullptr;
    const char* what = "";
    vm.beginCall();
    switch (operation) {
      case 0:
        what = "createObject";
        g_observation.expected = {{"C_CreateObject", &first}};
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_createObject(
            env, session, module.list, first.types, first.values);
        break;
      case 1:
        what = "findObjectsInit";
        // Without both arrays the search is made without a template.
        if (first.types == nullptr && first.values == nullptr) {
          first.converts = true;
          first.expected.clear();
        }
        g_observation.expected = {{"C_FindObjectsInit", &first}};
        Java_it_morvale_pkcs11_nat_NativePKCS11Session_findObjectsInit(env, session, module.list,
                                                                       first.types, first.values);
        break;
      case 2:
        what = "setAttributeValues";
        g_observation.expected = {{"C_SetAttributeValue", &first}};
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValues(env, object, module.list,
                                                                         first.types, first.values);
        break;
      case 3: {
        what = "setAttributeValue";
        Expected e;
        jint type = static_cast<jint>(fuzz::u32());
        e.type = static_cast<uint32_t>(type);
        jobject value = javaValue(vm, &e, &second.converts);
        second.expected = {e};
        g_observation.expected = {{"C_SetAttributeValue", &second}};
        Java_it_morvale_pkcs11_nat_NativePKCS11Object_setAttributeValue(env, object, module.list,
                                                                        type, value);
        break;
      }
      case 4:
        what = "generateKey";
        g_observation.expected = {{"C_GenerateKey", &first}};
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKey(
            env, session, module.list, static_cast<jint>(fuzz::u32()), nullptr, first.types,
            first.values);
        break;
      case 5:
        what = "generateKeyPair";
        second = javaTemplate(vm);
        // One template that does not convert keeps the module from seeing either.
        first.converts = second.converts = first.converts && second.converts;
        g_observation.expected = {{"C_GenerateKeyPair public", &first},
                                  {"C_GenerateKeyPair private", &second}};
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_generateKeyPair(
            env, session, module.list, static_cast<jint>(fuzz::u32()), nullptr, first.types,
            first.values, second.types, second.values);
        break;
      default:
        what = "unwrapKey";
        // A wrapped-key length beyond its array is refused before the template is used.
        if (wrappedLength < 0 || wrappedLength > static_cast<jint>(vm.bytesOf(wrapped).size()))
          first.converts = false;
        g_observation.expected = {{"C_UnwrapKey", &first}};
        result = Java_it_morvale_pkcs11_nat_NativePKCS11Session_unwrapKey(
            env, session, module.list, static_cast<jint>(fuzz::u32()), nullptr, key, wrapped, 0,
            wrappedLength, first.types, first.values);
        break;
    }
    fuzz::endCall(vm, what, result, injected);
    // Every template that converts reaches the module, unless a JNI function failed.
    bool reachable = operation == 3 ? second.converts : first.converts;
    if (reachable && !injected && g_observation.seen.empty())
      fuzz::stop(what, "a template that converts did not reach the module");
  }
  answers_observe(nullptr);
  fuzz::finish(vm);
  return 0;
}
