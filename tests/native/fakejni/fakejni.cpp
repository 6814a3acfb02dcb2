// The fake Java VM behind fakejni.h. Everything lives in Vm::Impl: classes,
// objects (never freed before the Vm), references (one record per handle, so
// a deleted or stale handle is recognised), pins, the pending throwable and
// the bookkeeping that -Xcheck:jni does in a real VM.
#include "fakejni.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>
#include <unordered_set>

// Under ThreadSanitizer the fake VM is a black box, as a real VM is to the
// bridge: its own memory and its lock are hidden from the race detector, so
// that the lock creates no order between the bridge's threads that a Java VM
// would not create.
#if defined(__SANITIZE_THREAD__)
extern "C" {
void AnnotateIgnoreReadsBegin(const char* file, int line);
void AnnotateIgnoreReadsEnd(const char* file, int line);
void AnnotateIgnoreWritesBegin(const char* file, int line);
void AnnotateIgnoreWritesEnd(const char* file, int line);
void AnnotateIgnoreSyncBegin(const char* file, int line);
void AnnotateIgnoreSyncEnd(const char* file, int line);
}
#define FAKEJNI_HIDE()                             \
  do {                                             \
    AnnotateIgnoreSyncBegin(__FILE__, __LINE__);   \
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);  \
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__); \
  } while (0)
#define FAKEJNI_SHOW()                           \
  do {                                           \
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__); \
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);  \
    AnnotateIgnoreSyncEnd(__FILE__, __LINE__);   \
  } while (0)
// Copies into or out of the caller's own memory stay visible.
#define FAKEJNI_CALLER_MEMORY_BEGIN()            \
  do {                                           \
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__); \
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);  \
  } while (0)
#define FAKEJNI_CALLER_MEMORY_END()                \
  do {                                             \
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);  \
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__); \
  } while (0)
#else
#define FAKEJNI_HIDE() \
  do {                 \
  } while (0)
#define FAKEJNI_SHOW() \
  do {                 \
  } while (0)
#define FAKEJNI_CALLER_MEMORY_BEGIN() \
  do {                                \
  } while (0)
#define FAKEJNI_CALLER_MEMORY_END() \
  do {                              \
  } while (0)
#endif

namespace fakejni {

struct Obj;
struct Class;

namespace {

// Local-reference capacity of a frame before the check warns, and the
// allowance added on top of every EnsureLocalCapacity / PushLocalFrame
// request, as HotSpot's -Xcheck:jni counts them.
constexpr int kLocalCapacity = 32;

// Pins carry guard bytes on both sides so that an overrun is seen when the
// block is released. Under AddressSanitizer the block is exact instead, so
// that ASan itself stops at the first byte past the end.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kGuard = 0;
#else
constexpr size_t kGuard = 16;
#endif
constexpr unsigned char kGuardByte = 0xFD;

struct Val {
  char type = 'V';
  long long i = 0;
  double d = 0;
  Obj* o = nullptr;
};

bool isRefType(char t) {
  return t == 'L' || t == '[';
}

// Reads one field descriptor at *pos ("I", "Lfoo/Bar;", "[[B", ...).
bool readType(const std::string& s, size_t* pos, std::string* out) {
  size_t start = *pos;
  while (*pos < s.size() && s[*pos] == '[') ++*pos;
  if (*pos >= s.size()) return false;
  char c = s[*pos];
  if (c == 'L') {
    size_t end = s.find(';', *pos);
    if (end == std::string::npos || end == *pos + 1) return false;
    *pos = end + 1;
  } else if (std::strchr("ZBCSIJFD", c) != nullptr) {
    ++*pos;
  } else {
    return false;
  }
  *out = s.substr(start, *pos - start);
  return true;
}

bool isFieldSig(const std::string& s) {
  size_t pos = 0;
  std::string t;
  return readType(s, &pos, &t) && pos == s.size();
}

bool parseMethodSig(const std::string& sig, std::vector<std::string>* params, std::string* ret) {
  if (sig.empty() || sig[0] != '(') return false;
  size_t pos = 1;
  params->clear();
  while (pos < sig.size() && sig[pos] != ')') {
    std::string t;
    if (!readType(sig, &pos, &t)) return false;
    params->push_back(t);
  }
  if (pos >= sig.size()) return false;
  ++pos;
  if (sig.substr(pos) == "V") {
    *ret = "V";
    return true;
  }
  if (!readType(sig, &pos, ret)) return false;
  return pos == sig.size();
}

// Class name that a reference descriptor names: "Lfoo/Bar;" -> "foo/Bar",
// "[B" -> "[B".
std::string classNameOfDescriptor(const std::string& d) {
  if (!d.empty() && d[0] == 'L') return d.substr(1, d.size() - 2);
  return d;
}

// Offset of the first byte that breaks modified UTF-8 (no NUL bytes, no
// four-byte forms; NUL itself is C0 80), or -1 when the text is valid.
long long badModifiedUtf8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned c = s[i];
    if (c == 0) return static_cast<long long>(i);
    if (c < 0x80) {
      ++i;
    } else if ((c & 0xE0) == 0xC0) {
      if (i + 1 >= n || (s[i + 1] & 0xC0) != 0x80) return static_cast<long long>(i);
      if (c < 0xC2 && !(c == 0xC0 && s[i + 1] == 0x80)) return static_cast<long long>(i);
      i += 2;
    } else if ((c & 0xF0) == 0xE0) {
      if (i + 2 >= n || (s[i + 1] & 0xC0) != 0x80 || (s[i + 2] & 0xC0) != 0x80) {
        return static_cast<long long>(i);
      }
      if (c == 0xE0 && s[i + 1] < 0xA0) return static_cast<long long>(i);
      i += 3;
    } else {
      return static_cast<long long>(i);
    }
  }
  return -1;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2 ? 1 : 0;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Date civilFromDays(long long z) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp + (mp < 10 ? 3 : -9);
  Date out;
  out.year = static_cast<int>(y + (m <= 2 ? 1 : 0));
  out.month = static_cast<int>(m);
  out.day = static_cast<int>(d);
  return out;
}

// A date from year, month and day that may lie outside their ranges; the
// excess rolls over as a lenient java.util.Calendar does.
Date lenientDate(long long y, long long m, long long d) {
  long long m0 = m - 1;
  long long yearShift = (m0 >= 0 ? m0 : m0 - 11) / 12;
  y += yearShift;
  m0 -= yearShift * 12;
  return civilFromDays(daysFromCivil(y, m0 + 1, 1) + d - 1);
}

// Two's complement big-endian bytes without redundant sign bytes, as
// BigInteger.toByteArray gives them.
Bytes minimalTwosComplement(Bytes b) {
  if (b.empty()) return Bytes{0};
  size_t skip = 0;
  while (skip + 1 < b.size() && ((b[skip] == 0x00 && (b[skip + 1] & 0x80) == 0) ||
                                 (b[skip] == 0xFF && (b[skip + 1] & 0x80) != 0))) {
    ++skip;
  }
  return Bytes(b.begin() + static_cast<long>(skip), b.end());
}

// JNI function names that take V and A forms count and fail under their base name.
std::string family(const std::string& fn) {
  if (fn.size() < 2) return fn;
  char last = fn.back();
  if (last != 'V' && last != 'A') return fn;
  std::string base = fn.substr(0, fn.size() - 1);
  if (base == "NewObject") return base;
  if (base.compare(0, 4, "Call") == 0 && base.size() > 6 &&
      base.compare(base.size() - 6, 6, "Method") == 0) {
    return base;
  }
  return fn;
}

// What a failing JNI function leaves pending ("" = nothing).
const std::map<std::string, std::string>& failureExceptions() {
  static const std::map<std::string, std::string> table = {
      {"FindClass", "java/lang/NoClassDefFoundError"},
      {"GetMethodID", "java/lang/NoSuchMethodError"},
      {"GetFieldID", "java/lang/NoSuchFieldError"},
      {"NewObject", "java/lang/OutOfMemoryError"},
      {"NewStringUTF", "java/lang/OutOfMemoryError"},
      {"NewObjectArray", "java/lang/OutOfMemoryError"},
      {"NewByteArray", "java/lang/OutOfMemoryError"},
      {"NewIntArray", "java/lang/OutOfMemoryError"},
      {"GetByteArrayElements", "java/lang/OutOfMemoryError"},
      {"GetIntArrayElements", "java/lang/OutOfMemoryError"},
      {"GetStringUTFChars", "java/lang/OutOfMemoryError"},
      {"PushLocalFrame", "java/lang/OutOfMemoryError"},
      {"EnsureLocalCapacity", "java/lang/OutOfMemoryError"},
      {"CallObjectMethod", "java/lang/OutOfMemoryError"},
      {"CallIntMethod", "java/lang/OutOfMemoryError"},
      {"CallBooleanMethod", "java/lang/OutOfMemoryError"},
      {"ThrowNew", "java/lang/OutOfMemoryError"},
      {"GetByteArrayRegion", "java/lang/ArrayIndexOutOfBoundsException"},
      {"SetByteArrayRegion", "java/lang/ArrayIndexOutOfBoundsException"},
      {"GetIntArrayRegion", "java/lang/ArrayIndexOutOfBoundsException"},
      {"SetIntArrayRegion", "java/lang/ArrayIndexOutOfBoundsException"},
      {"SetObjectArrayElement", "java/lang/ArrayStoreException"},
      {"GetObjectClass", ""},
      {"GetObjectField", ""},
      {"GetObjectArrayElement", ""},
      {"NewLocalRef", ""},
      {"NewGlobalRef", "java/lang/OutOfMemoryError"},
      {"NewWeakGlobalRef", "java/lang/OutOfMemoryError"},
      {"Throw", ""},
  };
  return table;
}

}  // namespace

using Body = std::function<Val(Vm::Impl& m, Obj* self, const std::vector<Val>& args)>;

struct Field {
  Class* owner;
  std::string name;
  std::string sig;
};

struct Method {
  Class* owner;
  std::string name;
  std::string sig;
  std::vector<std::string> params;
  std::string ret;
  Body body;  // empty: returns zero / null
};

struct Class {
  std::string name;
  Class* super = nullptr;
  std::vector<std::unique_ptr<Field>> fields;
  std::vector<std::unique_ptr<Method>> methods;  // constructors are "<init>"
  Obj* mirror = nullptr;
  bool array = false;
  std::string elem;            // element descriptor of an array class
  Class* elemClass = nullptr;  // element class of a reference array
};

struct Ref {
  Obj* obj;
  bool local;
  bool live;
  unsigned long long call;
  size_t frame;
  char global = 0;  // 'G' a global reference, 'W' a weak global one, 0 neither
};

struct Obj {
  Class* cls = nullptr;
  Class* mirrorOf = nullptr;  // instances of java/lang/Class
  std::string text;           // String contents, SimpleDateFormat pattern
  Bytes bytes;                // byte[] contents, BigInteger value
  std::vector<jint> ints;     // int[] contents
  std::vector<Obj*> elems;    // object array contents
  std::map<const Field*, Val> fields;
  std::vector<Val> ctorArgs;
  std::vector<int> releaseModes;
  Date date;
  std::string message;
  bool hasMessage = false;
  Ref* testRef = nullptr;
};

namespace {

struct Frame {
  int capacity;
  int live;
  std::vector<Ref*> refs;
};

struct Pin {
  Obj* target;
  std::string getter;
  char kind;  // 'B' byte[], 'I' int[], 'S' UTF-8 text
  unsigned char* block;
  unsigned char* data;
  size_t bytes;
  unsigned long long call;
  bool released;
};

struct FailRule {
  std::string fn;
  int countdown;  // fails when it reaches 0
  bool always;
};

// How a JNI function stands towards exceptions: Plain ones must not run
// while one is pending and must not follow an unchecked throwing call; Safe
// ones (releases, DeleteLocalRef, PopLocalFrame) may; Check ones look at the
// pending exception and so also count as checking it.
enum class Gate { Plain, Safe, Check };

struct ThreadState;

struct EnvHolder {
  JNIEnv env;
  Vm::Impl* impl;
  ThreadState* thread;
};

// What each thread has of its own: its JNIEnv, its local frames, its pending
// exception and its native call. The thread that holds the VM's lock has
// its state in the VM's fields; the others' waits here.
struct ThreadState {
  EnvHolder holder;
  std::vector<Frame> frames;
  Obj* pending = nullptr;
  std::string mustCheck;
  bool callActive = false;
  unsigned long long callSerial = 0;
  int liveTotal = 0;
  int peak = 0;
  size_t violationsAtCallStart = 0;
};

struct VmHolder {
  JavaVM vm;
  Vm::Impl* impl;
};

}  // namespace

struct Vm::Impl {
  Vm& vm;
  JNINativeInterface_ table;
  JNINativeInterface_ plainTable;  // the functions themselves, without the lock
  JNIInvokeInterface_ invokeTable;
  VmHolder vmHolder;
  std::function<void()> lookupsChanged;

  std::map<std::string, std::unique_ptr<Class>> classes;
  std::vector<std::unique_ptr<Field>> retiredFields;  // from redefined classes
  std::vector<std::unique_ptr<Method>> retiredMethods;
  std::deque<Obj> objects;
  std::deque<Ref> refs;
  std::unordered_set<const void*> knownRefs, knownFields, knownMethods;

  std::vector<Frame> frames;
  bool callActive = false;
  unsigned long long callSerial = 0;
  int liveTotal = 0;
  int peak = 0;
  size_t violationsAtCallStart = 0;

  Obj* pending = nullptr;
  std::string mustCheck;  // last throwing function, until the exception is checked

  std::vector<std::string> violations;
  std::vector<std::string> journal;
  std::map<std::string, int> counts;
  std::vector<FailRule> rules;
  std::vector<Pin> pins;

  // One lock guards everything but the threads' own state (see Scope).
  std::recursive_mutex lock;
  std::map<std::thread::id, std::unique_ptr<ThreadState>> threads;
  ThreadState* active = nullptr;  // whose state the fields above hold
  unsigned long long lastSerial = 0;

  explicit Impl(Vm& owner) : vm(owner), table(), plainTable(), invokeTable(), vmHolder() {
    vmHolder.vm.functions = &invokeTable;
    vmHolder.impl = this;
    frames.push_back(Frame{kLocalCapacity, 0, {}});
    active = threadOf(std::this_thread::get_id());
    installTable();
    guardTable();
    predefine();
  }

  // The state of a thread, made on its first use of the VM.
  ThreadState* threadOf(std::thread::id id) {
    std::unique_ptr<ThreadState>& t = threads[id];
    if (!t) {
      t = std::make_unique<ThreadState>();
      t->holder.env.functions = &table;
      t->holder.impl = this;
      t->holder.thread = t.get();
      t->frames.push_back(Frame{kLocalCapacity, 0, {}});
    }
    return t.get();
  }

  // Puts the state of `t` into the fields, keeping the active thread's.
  void switchTo(ThreadState* t) {
    if (t == active) return;
    std::swap(frames, active->frames);
    std::swap(pending, active->pending);
    std::swap(mustCheck, active->mustCheck);
    std::swap(callActive, active->callActive);
    std::swap(callSerial, active->callSerial);
    std::swap(liveTotal, active->liveTotal);
    std::swap(peak, active->peak);
    std::swap(violationsAtCallStart, active->violationsAtCallStart);
    std::swap(frames, t->frames);
    std::swap(pending, t->pending);
    std::swap(mustCheck, t->mustCheck);
    std::swap(callActive, t->callActive);
    std::swap(callSerial, t->callSerial);
    std::swap(liveTotal, t->liveTotal);
    std::swap(peak, t->peak);
    std::swap(violationsAtCallStart, t->violationsAtCallStart);
    active = t;
  }

  // Holds the VM for one thread: takes the lock and makes that thread's
  // state the active one. Every JNI function and every test helper runs in
  // one; they nest.
  class Scope {
   public:
    Scope(Impl& m, ThreadState* t) : m_(m) {
      FAKEJNI_HIDE();
      m_.lock.lock();
      m_.switchTo(t != nullptr ? t : m_.threadOf(std::this_thread::get_id()));
    }
    explicit Scope(Impl& m) : Scope(m, nullptr) {}
    ~Scope() {
      m_.lock.unlock();
      FAKEJNI_SHOW();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Impl& m_;
  };

  void guardTable();

  ~Impl() {
    for (Pin& p : pins) {
      if (!p.released) std::free(p.block);
    }
  }

  void installTable();
  void predefine();

  // --- Recording -----------------------------------------------------------
  void violate(const std::string& fn, const std::string& what) {
    violations.push_back(fn + ": " + what);
  }

  void enter(const char* fn, Gate gate) {
    journal.push_back(fn);
    ++counts[fn];
    if (!callActive) violate(fn, "JNI call outside a native call (no vm.beginCall())");
    if (gate == Gate::Plain) {
      if (pending != nullptr) {
        violate(fn, "JNI call made with exception pending (" + pending->cls->name + ")");
      }
      if (!mustCheck.empty()) {
        violate(fn,
                "JNI call made without checking exceptions when required to, after " + mustCheck);
        mustCheck.clear();
      }
    } else if (gate == Gate::Check) {
      mustCheck.clear();
    }
  }

  void leave(const char* fn, bool canThrow) {
    if (canThrow) mustCheck = fn;
    Frame& top = frames.back();
    if (top.live > top.capacity) {
      violate(fn, "JNI local refs: " + std::to_string(top.live) +
                      ", exceeds capacity: " + std::to_string(top.capacity));
      top.capacity = top.live + kLocalCapacity;
    }
  }

  void unexpected(const char* fn) {
    journal.push_back(fn);
    ++counts[fn];
    violate(fn, std::string("unexpected JNI function ") + fn);
  }

  // Whether this call of fn is one that a test asked to fail. Every rule
  // that names fn counts the call.
  bool failing(const std::string& fn) {
    std::string base = family(fn);
    bool fail = false;
    for (auto it = rules.begin(); it != rules.end();) {
      if (it->fn != fn && it->fn != base) {
        ++it;
      } else if (it->always) {
        fail = true;
        ++it;
      } else if (--it->countdown == 0) {
        fail = true;
        it = rules.erase(it);
      } else {
        ++it;
      }
    }
    return fail;
  }

  // --- Classes -------------------------------------------------------------
  Class* cls(const std::string& name) {
    auto it = classes.find(name);
    if (it != classes.end()) return it->second.get();
    if (name.empty() || name[0] != '[') return nullptr;
    // Array classes come into being on first use, as the VM loads them.
    size_t pos = 0;
    std::string d;
    if (!readType(name, &pos, &d) || pos != name.size()) return nullptr;
    std::string elem = name.substr(1);
    Class* elemClass = nullptr;
    if (isRefType(elem[0])) {
      elemClass = cls(classNameOfDescriptor(elem));
      if (elemClass == nullptr) return nullptr;
    }
    auto c = std::make_unique<Class>();
    c->name = name;
    c->super = cls("java/lang/Object");
    c->array = true;
    c->elem = elem;
    c->elemClass = elemClass;
    Class* raw = c.get();
    classes[name] = std::move(c);
    return raw;
  }

  // The array class whose elements are of class c.
  Class* arrayOf(Class* c) { return cls(c->array ? "[" + c->name : "[L" + c->name + ";"); }

  Class* define(const std::string& name, const std::vector<FieldDef>& fields,
                const std::vector<std::string>& ctors, const std::string& superName) {
    Class* super = nullptr;
    if (name != "java/lang/Object") {
      super = cls(superName);
      if (super == nullptr) {
        violate("defineClass", "superclass " + superName + " of " + name + " is not defined");
        super = cls("java/lang/Object");
      }
    }
    auto& slot = classes[name];
    if (!slot) {
      slot = std::make_unique<Class>();
      slot->name = name;
    }
    Class* c = slot.get();
    for (auto& f : c->fields) retiredFields.push_back(std::move(f));
    for (auto& m : c->methods) retiredMethods.push_back(std::move(m));
    c->fields.clear();
    c->methods.clear();
    c->super = super;
    for (const FieldDef& f : fields) {
      if (!isFieldSig(f.sig)) {
        violate("defineClass", "field " + name + "." + f.name + " has a bad signature " + f.sig);
        continue;
      }
      c->fields.push_back(std::make_unique<Field>(Field{c, f.name, f.sig}));
      knownFields.insert(c->fields.back().get());
    }
    for (const std::string& sig : ctors) addMethod(c, "<init>", sig, Body());
    return c;
  }

  Method* addMethod(Class* c, const std::string& name, const std::string& sig, Body body) {
    auto m = std::make_unique<Method>();
    if (!parseMethodSig(sig, &m->params, &m->ret) || (name == "<init>" && m->ret != "V")) {
      violate("defineMethod", "method " + c->name + "." + name + " has a bad signature " + sig);
      return nullptr;
    }
    for (auto& old : c->methods) {
      if (old->name == name && old->sig == sig) {
        old->body = std::move(body);
        return old.get();
      }
    }
    m->owner = c;
    m->name = name;
    m->sig = sig;
    m->body = std::move(body);
    c->methods.push_back(std::move(m));
    knownMethods.insert(c->methods.back().get());
    return c->methods.back().get();
  }

  Obj* mirror(Class* c) {
    if (c->mirror == nullptr) {
      c->mirror = make(cls("java/lang/Class"));
      c->mirror->mirrorOf = c;
    }
    return c->mirror;
  }

  static bool subclass(const Class* sub, const Class* sup) {
    if (sub == nullptr || sup == nullptr) return false;
    if (sub == sup || sup->name == "java/lang/Object") return true;
    if (sub->array) {
      if (!sup->array) return false;
      if (!isRefType(sub->elem[0]) || !isRefType(sup->elem[0])) return sub->elem == sup->elem;
      return subclass(sub->elemClass, sup->elemClass);
    }
    for (const Class* c = sub->super; c != nullptr; c = c->super) {
      if (c == sup) return true;
    }
    return false;
  }

  bool instanceOf(const Obj* o, const std::string& name) {
    Class* c = cls(name);
    return o != nullptr && c != nullptr && subclass(o->cls, c);
  }

  // Instance fields in layout order: inherited first.
  static std::vector<Field*> allFields(Class* c) {
    std::vector<Field*> out;
    if (c == nullptr) return out;
    out = allFields(c->super);
    for (auto& f : c->fields) out.push_back(f.get());
    return out;
  }

  static Field* findField(Class* c, const std::string& name, const std::string* sig) {
    for (; c != nullptr; c = c->super) {
      for (auto& f : c->fields) {
        if (f->name == name && (sig == nullptr || f->sig == *sig)) return f.get();
      }
    }
    return nullptr;
  }

  static Method* findMethod(Class* c, const std::string& name, const std::string& sig) {
    for (; c != nullptr; c = c->super) {
      for (auto& m : c->methods) {
        if (m->name == name && m->sig == sig) return m.get();
      }
      if (name == "<init>") break;  // constructors are not inherited
    }
    return nullptr;
  }

  // --- Objects and references ----------------------------------------------
  Obj* make(Class* c) {
    objects.emplace_back();
    objects.back().cls = c;
    return &objects.back();
  }

  Obj* makeString(const std::string& s) {
    Obj* o = make(cls("java/lang/String"));
    o->text = s;
    return o;
  }

  Obj* makeBytes(const Bytes& b) {
    Obj* o = make(cls("[B"));
    o->bytes = b;
    return o;
  }

  Obj* makeDate(const Date& d, Class* c) {
    Obj* o = make(c != nullptr ? c : cls("java/util/Date"));
    o->date = d;
    return o;
  }

  jobject local(Obj* o) {
    if (o == nullptr) return nullptr;
    refs.push_back(Ref{o, true, true, callSerial, frames.size() - 1});
    Ref* r = &refs.back();
    knownRefs.insert(r);
    frames.back().refs.push_back(r);
    ++frames.back().live;
    ++liveTotal;
    peak = std::max(peak, liveTotal);
    return reinterpret_cast<jobject>(r);
  }

  jobject testRef(Obj* o) {
    if (o == nullptr) return nullptr;
    if (o->testRef == nullptr) {
      refs.push_back(Ref{o, false, true, 0, 0});
      o->testRef = &refs.back();
      knownRefs.insert(o->testRef);
    }
    return reinterpret_cast<jobject>(o->testRef);
  }

  static std::string globalKind(const Ref* r) {
    return r->global == 'W' ? "weak global" : "global";
  }

  // A new global ('G') or weak global ('W') reference; it lives until
  // deleted, across native calls.
  jobject global(Obj* o, char kind) {
    if (o == nullptr) return nullptr;
    refs.push_back(Ref{o, false, true, 0, 0, kind});
    Ref* r = &refs.back();
    knownRefs.insert(r);
    return reinterpret_cast<jobject>(r);
  }

  int liveGlobals() const {
    int n = 0;
    for (const Ref& r : refs) n += r.global != 0 && r.live ? 1 : 0;
    return n;
  }

  void kill(Ref* r) {
    if (!r->live) return;
    r->live = false;
    if (r->frame < frames.size()) --frames[r->frame].live;
    --liveTotal;
  }

  // The object behind a reference that test code hands in; no checks.
  Obj* peek(jobject ref) const {
    if (ref == nullptr || knownRefs.count(ref) == 0) return nullptr;
    return reinterpret_cast<Ref*>(ref)->obj;
  }

  // The object behind a reference that native code hands to a JNI function,
  // recording misuse of the reference itself.
  Obj* use(const char* fn, jobject ref, const std::string& role) {
    if (ref == nullptr) return nullptr;
    if (knownRefs.count(ref) == 0) {
      violate(fn, role + " is not a reference made by this VM");
      return nullptr;
    }
    Ref* r = reinterpret_cast<Ref*>(ref);
    if (r->local) {
      if (r->call != callSerial) {
        violate(fn, role + " is a local reference from an earlier native call");
      } else if (!r->live) {
        violate(fn, role + " is a deleted local reference");
      }
    } else if (r->global != 0 && !r->live) {
      violate(fn, role + " is a deleted " + globalKind(r) + " reference");
      return nullptr;
    }
    return r->obj;
  }

  Obj* useNonNull(const char* fn, jobject ref, const std::string& role) {
    if (ref == nullptr) {
      violate(fn, "null " + role);
      return nullptr;
    }
    return use(fn, ref, role);
  }

  Class* useClass(const char* fn, jclass ref) {
    Obj* o = useNonNull(fn, ref, "class");
    if (o == nullptr) return nullptr;
    if (o->mirrorOf == nullptr) {
      violate(fn, "class argument is a " + o->cls->name + ", not a class");
      return nullptr;
    }
    return o->mirrorOf;
  }

  Method* useMethod(const char* fn, jmethodID id) {
    if (id == nullptr) {
      violate(fn, "null method ID");
      return nullptr;
    }
    if (knownMethods.count(id) != 0) return reinterpret_cast<Method*>(id);
    violate(fn,
            knownFields.count(id) != 0 ? "a field ID passed as a method ID" : "invalid method ID");
    return nullptr;
  }

  Field* useField(const char* fn, jfieldID id) {
    if (id == nullptr) {
      violate(fn, "null field ID");
      return nullptr;
    }
    if (knownFields.count(id) != 0) return reinterpret_cast<Field*>(id);
    violate(fn,
            knownMethods.count(id) != 0 ? "a method ID passed as a field ID" : "invalid field ID");
    return nullptr;
  }

  // --- Exceptions ----------------------------------------------------------
  Obj* makeThrowable(const std::string& className, const std::string* message) {
    Class* c = cls(className);
    if (c == nullptr) c = cls("java/lang/Throwable");
    Obj* o = make(c);
    Val arg{'L', 0, 0, message != nullptr ? makeString(*message) : nullptr};
    o->ctorArgs.push_back(arg);
    o->hasMessage = message != nullptr;
    if (message != nullptr) o->message = *message;
    return o;
  }

  void raise(const std::string& className, const std::string& message) {
    pending = makeThrowable(className, &message);
  }

  // Leaves pending what a failing fn leaves in the VM.
  void raiseFailure(const std::string& fn, const std::string& detail) {
    auto it = failureExceptions().find(family(fn));
    if (it != failureExceptions().end() && !it->second.empty()) raise(it->second, detail);
  }

  // --- Pins ----------------------------------------------------------------
  Pin* pin(const std::string& getter, char kind, Obj* target, const void* src, size_t n) {
    unsigned char* block = static_cast<unsigned char*>(std::malloc(n + 2 * kGuard + 1));
    if (block == nullptr) return nullptr;
    std::memset(block, kGuardByte, kGuard);
    std::memset(block + kGuard + n, kGuardByte, kGuard + 1);
    if (n > 0) std::memcpy(block + kGuard, src, n);
    pins.push_back(Pin{target, getter, kind, block, block + kGuard, n, callSerial, false});
    return &pins.back();
  }

  Pin* findPin(const void* data, bool released) {
    for (auto it = pins.rbegin(); it != pins.rend(); ++it) {
      if (it->data == data && it->released == released) return &*it;
    }
    return nullptr;
  }

  void checkGuards(const char* fn, const Pin& p) {
    for (size_t i = 0; i < kGuard; ++i) {
      if (p.block[i] != kGuardByte) {
        violate(fn, "write before the start of the block from " + p.getter);
        break;
      }
    }
    for (size_t i = 0; i < kGuard; ++i) {
      if (p.data[p.bytes + i] != kGuardByte) {
        violate(fn, "write past the end of the block from " + p.getter);
        break;
      }
    }
  }

  void unpin(Pin* p) {
    std::free(p->block);
    p->block = nullptr;
    p->released = true;
  }

  std::string describe(const Obj* o) const {
    if (o == nullptr) return "null";
    if (o->cls->array) {
      size_t n = o->cls->elem == "B"   ? o->bytes.size()
                 : o->cls->elem == "I" ? o->ints.size()
                                       : o->elems.size();
      return o->cls->name + " of length " + std::to_string(n);
    }
    return o->cls->name;
  }

  // --- Calls into Java -----------------------------------------------------
  struct ArgSource {
    va_list* ap;
    const jvalue* values;
  };

  std::vector<Val> readArgs(const char* fn, const Method* m, ArgSource src) {
    std::vector<Val> out;
    for (size_t k = 0; k < m->params.size(); ++k) {
      const std::string& p = m->params[k];
      Val v;
      v.type = p[0];
      jobject ref = nullptr;
      if (src.ap != nullptr) {
        switch (p[0]) {
          case 'Z':
            v.i = static_cast<jboolean>(va_arg(*src.ap, int));
            break;
          case 'B':
            v.i = static_cast<jbyte>(va_arg(*src.ap, int));
            break;
          case 'C':
            v.i = static_cast<jchar>(va_arg(*src.ap, int));
            break;
          case 'S':
            v.i = static_cast<jshort>(va_arg(*src.ap, int));
            break;
          case 'I':
            v.i = va_arg(*src.ap, jint);
            break;
          case 'J':
            v.i = va_arg(*src.ap, jlong);
            break;
          case 'F':
          case 'D':
            v.d = va_arg(*src.ap, double);
            break;
          default:
            ref = va_arg(*src.ap, jobject);
            break;
        }
      } else if (src.values != nullptr) {
        const jvalue& a = src.values[k];
        switch (p[0]) {
          case 'Z':
            v.i = a.z;
            break;
          case 'B':
            v.i = a.b;
            break;
          case 'C':
            v.i = a.c;
            break;
          case 'S':
            v.i = a.s;
            break;
          case 'I':
            v.i = a.i;
            break;
          case 'J':
            v.i = a.j;
            break;
          case 'F':
            v.d = a.f;
            break;
          case 'D':
            v.d = a.d;
            break;
          default:
            ref = a.l;
            break;
        }
      } else if (!m->params.empty()) {
        violate(fn, "null argument array");
        break;
      }
      if (isRefType(p[0])) {
        std::string role =
            "argument " + std::to_string(k + 1) + " of " + m->owner->name + "." + m->name + m->sig;
        v.o = use(fn, ref, role);
        Class* want = cls(classNameOfDescriptor(p));
        if (v.o != nullptr && want != nullptr && !subclass(v.o->cls, want)) {
          violate(fn, role + " is a " + v.o->cls->name + ", not a " + want->name);
        }
      }
      out.push_back(v);
    }
    return out;
  }

  // Runs a constructor on a new object of c; null when it threw.
  Obj* construct(Class* c, const Method* ctor, const std::vector<Val>& args) {
    Obj* o = make(c);
    o->ctorArgs = args;
    std::vector<Field*> fields = allFields(c);
    if (!fields.empty() && fields.size() == args.size()) {
      for (size_t k = 0; k < args.size(); ++k) {
        char f = fields[k]->sig[0];
        if (f == args[k].type || (isRefType(f) && isRefType(args[k].type))) {
          o->fields[fields[k]] = args[k];
        }
      }
    }
    if (!args.empty() && ctor->params[0] == "Ljava/lang/String;" &&
        subclass(c, cls("java/lang/Throwable"))) {
      o->hasMessage = args[0].o != nullptr;
      if (args[0].o != nullptr) o->message = args[0].o->text;
    }
    if (ctor->body) {
      Obj* before = pending;
      ctor->body(*this, o, args);
      if (pending != before) return nullptr;
    }
    return o;
  }

  // The body that a call on self runs: the most derived definition.
  static const Method* dispatch(const Obj* self, const Method* m) {
    for (Class* c = self->cls; c != nullptr && c != m->owner; c = c->super) {
      for (auto& cand : c->methods) {
        if (cand->name == m->name && cand->sig == m->sig) return cand.get();
      }
    }
    return m;
  }

  jobject newObject(const char* fn, jclass clazz, jmethodID id, ArgSource src);
  Val callMethod(const char* fn, const char* kinds, jobject self, jmethodID id, ArgSource src);

  // --- Native call bracket -------------------------------------------------
  void beginCall() {
    if (callActive) violate("beginCall", "a native call is already running");
    callSerial = ++lastSerial;
    callActive = true;
    pending = nullptr;
    mustCheck.clear();
    frames.assign(1, Frame{kLocalCapacity, 0, {}});
    liveTotal = 0;
    peak = 0;
    violationsAtCallStart = violations.size();
  }

  CallSummary endCall(jobject result) {
    CallSummary s;
    if (!callActive) violate("endCall", "no native call is running");
    if (result != nullptr) {
      Obj* o = use("endCall", result, "the returned reference");
      if (o != nullptr) {
        Ref* r = reinterpret_cast<Ref*>(result);
        if (r->local && r->live) {
          kill(r);
          r->local = false;  // the caller owns it from here on
          r->live = true;
        }
      }
    }
    for (Pin& p : pins) {
      if (p.released || p.call != callSerial) continue;
      violate("endCall", p.getter + " of a " + describe(p.target) +
                             " was not released before the native call returned");
      ++s.unreleased;
      unpin(&p);
    }
    s.localsAtEnd = liveTotal;
    s.localPeak = peak;
    for (Frame& f : frames) {
      for (Ref* r : f.refs) kill(r);
    }
    frames.assign(1, Frame{kLocalCapacity, 0, {}});
    liveTotal = 0;
    mustCheck.clear();
    callActive = false;
    s.violations.assign(violations.begin() + static_cast<long>(violationsAtCallStart),
                        violations.end());
    violationsAtCallStart = violations.size();
    return s;
  }
};

namespace {

Vm::Impl& implOf(JNIEnv* env) {
  return *reinterpret_cast<EnvHolder*>(env)->impl;
}

// The thread whose JNIEnv `env` is.
ThreadState* threadOf(JNIEnv* env) {
  return reinterpret_cast<EnvHolder*>(env)->thread;
}

// Enters a JNI function on construction and leaves it on destruction, after
// the return value has been computed.
class Entry {
 public:
  Entry(Vm::Impl& m, const char* fn, Gate gate, bool canThrow)
      : m_(m), fn_(fn), canThrow_(canThrow) {
    m_.enter(fn, gate);
  }
  ~Entry() { m_.leave(fn_, canThrow_); }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

 private:
  Vm::Impl& m_;
  const char* fn_;
  bool canThrow_;
};

}  // namespace

jobject Vm::Impl::newObject(const char* fn, jclass clazz, jmethodID id, ArgSource src) {
  Entry e(*this, fn, Gate::Plain, true);
  Class* c = useClass(fn, clazz);
  Method* m = useMethod(fn, id);
  if (c == nullptr || m == nullptr) return nullptr;
  if (m->name != "<init>") {
    violate(fn, m->owner->name + "." + m->name + m->sig + " is not a constructor");
    return nullptr;
  }
  if (m->owner != c) {
    violate(fn, "constructor of " + m->owner->name + " used to make a " + c->name);
    return nullptr;
  }
  std::vector<Val> args = readArgs(fn, m, src);
  if (failing(fn)) {
    raiseFailure(fn, "Java heap space");
    return nullptr;
  }
  return local(construct(c, m, args));
}

// kinds: the return-type letters that this Call…Method form accepts.
Val Vm::Impl::callMethod(const char* fn, const char* kinds, jobject self, jmethodID id,
                         ArgSource src) {
  Val none;
  Obj* o = useNonNull(fn, self, "object");
  Method* m = useMethod(fn, id);
  if (o == nullptr || m == nullptr) return none;
  if (m->name == "<init>") {
    violate(fn, "constructor " + m->owner->name + m->sig + " called as a method");
    return none;
  }
  if (std::strchr(kinds, m->ret[0]) == nullptr) {
    violate(fn, m->owner->name + "." + m->name + m->sig + " does not return what " +
                    std::string(fn) + " returns");
    return none;
  }
  if (!subclass(o->cls, m->owner)) {
    violate(fn, m->owner->name + "." + m->name + m->sig + " called on a " + o->cls->name);
    return none;
  }
  std::vector<Val> args = readArgs(fn, m, src);
  if (failing(fn)) {
    raiseFailure(fn, "Java heap space");
    return none;
  }
  const Method* run = dispatch(o, m);
  if (!run->body) return none;
  Obj* before = pending;
  Val r = run->body(*this, o, args);
  if (pending != before) return none;
  return r;
}

// --- The JNI functions --------------------------------------------------------

namespace {

using Impl = Vm::Impl;

jint JNICALL GetVersion(JNIEnv* env) {
  Impl& m = implOf(env);
  Entry e(m, "GetVersion", Gate::Plain, false);
  return JNI_VERSION_10;
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
  Impl& m = implOf(env);
  Entry e(m, "FindClass", Gate::Plain, true);
  if (name == nullptr) {
    m.violate("FindClass", "null class name");
    return nullptr;
  }
  std::string n(name);
  if (n.find('.') != std::string::npos || (n.size() > 1 && n[0] == 'L' && n.back() == ';')) {
    m.violate("FindClass",
              "bad class name \"" + n + "\" (expected slash form such as java/lang/String)");
  }
  if (m.failing("FindClass")) {
    m.raise("java/lang/NoClassDefFoundError", n);
    return nullptr;
  }
  Class* c = m.cls(n);
  if (c == nullptr) {
    m.raise("java/lang/NoClassDefFoundError", n);
    return nullptr;
  }
  return static_cast<jclass>(m.local(m.mirror(c)));
}

jint JNICALL Throw(JNIEnv* env, jthrowable obj) {
  Impl& m = implOf(env);
  Entry e(m, "Throw", Gate::Plain, true);
  Obj* o = m.useNonNull("Throw", obj, "throwable");
  if (o == nullptr) return JNI_ERR;
  if (!m.instanceOf(o, "java/lang/Throwable")) {
    m.violate("Throw", "a " + o->cls->name + " is not a Throwable");
    return JNI_ERR;
  }
  if (m.failing("Throw")) return JNI_ERR;
  m.pending = o;
  return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass clazz, const char* msg) {
  Impl& m = implOf(env);
  Entry e(m, "ThrowNew", Gate::Plain, true);
  Class* c = m.useClass("ThrowNew", clazz);
  if (c == nullptr) return JNI_ERR;
  if (!Impl::subclass(c, m.cls("java/lang/Throwable"))) {
    m.violate("ThrowNew", c->name + " is not a Throwable");
    return JNI_ERR;
  }
  if (m.failing("ThrowNew")) {
    m.raiseFailure("ThrowNew", "Java heap space");
    return JNI_ERR;
  }
  Method* ctor = Impl::findMethod(c, "<init>", "(Ljava/lang/String;)V");
  if (ctor == nullptr) {
    m.raise("java/lang/NoSuchMethodError", "<init>");
    return JNI_ERR;
  }
  Val arg{'L', 0, 0, msg != nullptr ? m.makeString(msg) : nullptr};
  Obj* before = m.pending;
  Obj* o = m.construct(c, ctor, {arg});
  if (o == nullptr || m.pending != before) return JNI_ERR;
  m.pending = o;
  return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
  Impl& m = implOf(env);
  Entry e(m, "ExceptionOccurred", Gate::Check, false);
  return static_cast<jthrowable>(m.local(m.pending));
}

void JNICALL ExceptionClear(JNIEnv* env) {
  Impl& m = implOf(env);
  Entry e(m, "ExceptionClear", Gate::Check, false);
  m.pending = nullptr;
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
  Impl& m = implOf(env);
  Entry e(m, "ExceptionCheck", Gate::Check, false);
  return m.pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL PushLocalFrame(JNIEnv* env, jint capacity) {
  Impl& m = implOf(env);
  Entry e(m, "PushLocalFrame", Gate::Plain, false);
  if (capacity < 0) {
    m.violate("PushLocalFrame", "negative capacity " + std::to_string(capacity));
    return JNI_ERR;
  }
  if (m.failing("PushLocalFrame")) {
    m.raiseFailure("PushLocalFrame", "Java heap space");
    return JNI_ERR;
  }
  m.frames.push_back(Frame{static_cast<int>(capacity) + kLocalCapacity, 0, {}});
  return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
  Impl& m = implOf(env);
  Entry e(m, "PopLocalFrame", Gate::Safe, false);
  Obj* keep = m.use("PopLocalFrame", result, "result");
  if (m.frames.size() <= 1) {
    m.violate("PopLocalFrame", "no frame pushed by PushLocalFrame");
    return m.local(keep);
  }
  for (Ref* r : m.frames.back().refs) m.kill(r);
  m.frames.pop_back();
  return m.local(keep);
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject obj) {
  Impl& m = implOf(env);
  Entry e(m, "DeleteLocalRef", Gate::Safe, false);
  if (obj == nullptr) return;
  if (m.knownRefs.count(obj) == 0) {
    m.violate("DeleteLocalRef", "not a reference made by this VM");
    return;
  }
  Ref* r = reinterpret_cast<Ref*>(obj);
  if (r->global != 0) {
    m.violate("DeleteLocalRef", "a " + Impl::globalKind(r) + " reference is not a local one");
    return;
  }
  // Test references stand for the native method's own arguments and
  // results handed back by the test; deleting them is allowed and harmless.
  if (!r->local) return;
  if (r->call != m.callSerial) {
    m.violate("DeleteLocalRef", "local reference from an earlier native call");
  } else if (!r->live) {
    m.violate("DeleteLocalRef", "local reference deleted twice");
  } else {
    m.kill(r);
  }
}

// NewGlobalRef and NewWeakGlobalRef.
jobject newGlobal(Impl& m, const char* fn, jobject ref, char kind) {
  Entry e(m, fn, Gate::Plain, true);
  Obj* o = m.use(fn, ref, "reference");
  if (o == nullptr) return nullptr;
  if (m.failing(fn)) {
    m.raiseFailure(fn, "C heap space");
    return nullptr;
  }
  return m.global(o, kind);
}

// DeleteGlobalRef and DeleteWeakGlobalRef.
void deleteGlobal(Impl& m, const char* fn, jobject ref, char kind) {
  Entry e(m, fn, Gate::Safe, false);
  if (ref == nullptr) return;
  if (m.knownRefs.count(ref) == 0) {
    m.violate(fn, "not a reference made by this VM");
    return;
  }
  Ref* r = reinterpret_cast<Ref*>(ref);
  if (r->global != kind) {
    m.violate(fn, std::string("not a ") + (kind == 'W' ? "weak global" : "global") + " reference");
  } else if (!r->live) {
    m.violate(fn, Impl::globalKind(r) + " reference deleted twice");
  } else {
    r->live = false;
  }
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject ref) {
  return newGlobal(implOf(env), "NewGlobalRef", ref, 'G');
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject ref) {
  deleteGlobal(implOf(env), "DeleteGlobalRef", ref, 'G');
}

jweak JNICALL NewWeakGlobalRef(JNIEnv* env, jobject ref) {
  return newGlobal(implOf(env), "NewWeakGlobalRef", ref, 'W');
}

void JNICALL DeleteWeakGlobalRef(JNIEnv* env, jweak ref) {
  deleteGlobal(implOf(env), "DeleteWeakGlobalRef", ref, 'W');
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
  Impl& m = implOf(env);
  Entry e(m, "GetJavaVM", Gate::Plain, false);
  *vm = &m.vmHolder.vm;
  return JNI_OK;
}

// The invocation interface: only GetEnv, which hands out the one
// environment of this VM.
jint JNICALL InvokeGetEnv(JavaVM* vm, void** env, jint version) {
  Impl& m = *reinterpret_cast<VmHolder*>(vm)->impl;
  if (version < JNI_VERSION_1_1 || version > JNI_VERSION_10) {
    *env = nullptr;
    return JNI_EVERSION;
  }
  Impl::Scope scope(m);
  *env = &m.active->holder.env;  // the calling thread's
  return JNI_OK;
}

jint JNICALL InvokeUnexpected(JavaVM* vm) {
  Impl::Scope scope(*reinterpret_cast<VmHolder*>(vm)->impl);
  reinterpret_cast<VmHolder*>(vm)->impl->violate("JavaVM", "unexpected invocation function");
  return JNI_ERR;
}

jint JNICALL InvokeAttach(JavaVM* vm, void**, void*) {
  return InvokeUnexpected(vm);
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject ref) {
  Impl& m = implOf(env);
  Entry e(m, "NewLocalRef", Gate::Plain, false);
  Obj* o = m.use("NewLocalRef", ref, "reference");
  if (o == nullptr || m.failing("NewLocalRef")) return nullptr;
  return m.local(o);
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint capacity) {
  Impl& m = implOf(env);
  Entry e(m, "EnsureLocalCapacity", Gate::Plain, false);
  if (capacity < 0) {
    m.violate("EnsureLocalCapacity", "negative capacity " + std::to_string(capacity));
    return JNI_ERR;
  }
  if (m.failing("EnsureLocalCapacity")) {
    m.raiseFailure("EnsureLocalCapacity", "Java heap space");
    return JNI_ERR;
  }
  Frame& top = m.frames.back();
  top.capacity = std::max(top.capacity, top.live + static_cast<int>(capacity) + kLocalCapacity);
  return JNI_OK;
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args) {
  va_list copy;
  va_copy(copy, args);
  jobject r = implOf(env).newObject("NewObjectV", clazz, id, Impl::ArgSource{&copy, nullptr});
  va_end(copy);
  return r;
}

jobject JNICALL NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...) {
  Impl::Scope scope(implOf(env), threadOf(env));  // a variadic function takes the lock itself
  va_list ap;
  va_start(ap, id);
  jobject r = implOf(env).newObject("NewObject", clazz, id, Impl::ArgSource{&ap, nullptr});
  va_end(ap);
  return r;
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
  return implOf(env).newObject("NewObjectA", clazz, id, Impl::ArgSource{nullptr, args});
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
  Impl& m = implOf(env);
  Entry e(m, "GetObjectClass", Gate::Plain, false);
  Obj* o = m.useNonNull("GetObjectClass", obj, "object");
  if (o == nullptr || m.failing("GetObjectClass")) return nullptr;
  return static_cast<jclass>(m.local(m.mirror(o->cls)));
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject obj, jclass clazz) {
  Impl& m = implOf(env);
  Entry e(m, "IsInstanceOf", Gate::Plain, false);
  Obj* o = m.use("IsInstanceOf", obj, "object");
  Class* c = m.useClass("IsInstanceOf", clazz);
  if (c == nullptr) return JNI_FALSE;
  if (obj == nullptr) return JNI_TRUE;  // null is an instance of every class
  return o != nullptr && Impl::subclass(o->cls, c) ? JNI_TRUE : JNI_FALSE;
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
  Impl& m = implOf(env);
  Entry e(m, "GetMethodID", Gate::Plain, true);
  Class* c = m.useClass("GetMethodID", clazz);
  if (name == nullptr || sig == nullptr) {
    m.violate("GetMethodID", "null method name or signature");
    return nullptr;
  }
  if (c == nullptr) return nullptr;
  if (m.failing("GetMethodID")) {
    m.raise("java/lang/NoSuchMethodError", name);
    return nullptr;
  }
  Method* found = Impl::findMethod(c, name, sig);
  if (found == nullptr) {
    m.raise("java/lang/NoSuchMethodError", name);
    return nullptr;
  }
  return reinterpret_cast<jmethodID>(found);
}

// Call<Type>Method in its three forms.
#define FAKEJNI_CALL(Name, JType, Kinds, Convert)                                     \
  JType JNICALL Name##V(JNIEnv* env, jobject obj, jmethodID id, va_list args) {       \
    Impl& m = implOf(env);                                                            \
    Entry e(m, #Name "V", Gate::Plain, true);                                         \
    va_list copy;                                                                     \
    va_copy(copy, args);                                                              \
    Val r = m.callMethod(#Name "V", Kinds, obj, id, Impl::ArgSource{&copy, nullptr}); \
    va_end(copy);                                                                     \
    return Convert;                                                                   \
  }                                                                                   \
  JType JNICALL Name(JNIEnv* env, jobject obj, jmethodID id, ...) {                   \
    Impl& m = implOf(env);                                                            \
    Impl::Scope scope(m, threadOf(env));                                              \
    Entry e(m, #Name, Gate::Plain, true);                                             \
    va_list ap;                                                                       \
    va_start(ap, id);                                                                 \
    Val r = m.callMethod(#Name, Kinds, obj, id, Impl::ArgSource{&ap, nullptr});       \
    va_end(ap);                                                                       \
    return Convert;                                                                   \
  }                                                                                   \
  JType JNICALL Name##A(JNIEnv* env, jobject obj, jmethodID id, const jvalue* args) { \
    Impl& m = implOf(env);                                                            \
    Entry e(m, #Name "A", Gate::Plain, true);                                         \
    Val r = m.callMethod(#Name "A", Kinds, obj, id, Impl::ArgSource{nullptr, args});  \
    return Convert;                                                                   \
  }

FAKEJNI_CALL(CallObjectMethod, jobject, "L[", m.local(r.o))
FAKEJNI_CALL(CallBooleanMethod, jboolean, "Z", static_cast<jboolean>(r.i))
FAKEJNI_CALL(CallIntMethod, jint, "I", static_cast<jint>(r.i))

#undef FAKEJNI_CALL

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
  Impl& m = implOf(env);
  Entry e(m, "GetFieldID", Gate::Plain, true);
  Class* c = m.useClass("GetFieldID", clazz);
  if (name == nullptr || sig == nullptr) {
    m.violate("GetFieldID", "null field name or signature");
    return nullptr;
  }
  if (c == nullptr) return nullptr;
  if (m.failing("GetFieldID")) {
    m.raise("java/lang/NoSuchFieldError", name);
    return nullptr;
  }
  std::string s(sig);
  Field* f = Impl::findField(c, name, &s);
  if (f == nullptr) {
    m.raise("java/lang/NoSuchFieldError", name);
    return nullptr;
  }
  return reinterpret_cast<jfieldID>(f);
}

// The field slot of obj for a Get/Set…Field call, or null after a violation.
Val* fieldSlot(Impl& m, const char* fn, jobject obj, jfieldID id, const char* kinds) {
  Obj* o = m.useNonNull(fn, obj, "object");
  Field* f = m.useField(fn, id);
  if (o == nullptr || f == nullptr) return nullptr;
  if (std::strchr(kinds, f->sig[0]) == nullptr) {
    m.violate(fn, "field " + f->owner->name + "." + f->name + " has type " + f->sig);
    return nullptr;
  }
  if (!Impl::subclass(o->cls, f->owner)) {
    m.violate(fn, "field " + f->owner->name + "." + f->name + " used on a " + o->cls->name);
    return nullptr;
  }
  Val& v = o->fields[f];
  v.type = f->sig[0];
  return &v;
}

jobject JNICALL GetObjectField(JNIEnv* env, jobject obj, jfieldID id) {
  Impl& m = implOf(env);
  Entry e(m, "GetObjectField", Gate::Plain, false);
  Val* v = fieldSlot(m, "GetObjectField", obj, id, "L[");
  if (v == nullptr || m.failing("GetObjectField")) return nullptr;
  return m.local(v->o);
}

jint JNICALL GetIntField(JNIEnv* env, jobject obj, jfieldID id) {
  Impl& m = implOf(env);
  Entry e(m, "GetIntField", Gate::Plain, false);
  Val* v = fieldSlot(m, "GetIntField", obj, id, "I");
  return v != nullptr ? static_cast<jint>(v->i) : 0;
}

void JNICALL SetIntField(JNIEnv* env, jobject obj, jfieldID id, jint value) {
  Impl& m = implOf(env);
  Entry e(m, "SetIntField", Gate::Plain, false);
  Val* v = fieldSlot(m, "SetIntField", obj, id, "I");
  if (v != nullptr) v->i = value;
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
  Impl& m = implOf(env);
  Entry e(m, "NewStringUTF", Gate::Plain, true);
  if (utf == nullptr) return nullptr;  // the VM answers null with null
  FAKEJNI_CALLER_MEMORY_BEGIN();
  const std::string text(utf);
  FAKEJNI_CALLER_MEMORY_END();
  utf = text.c_str();
  size_t n = text.size();
  long long bad = badModifiedUtf8(reinterpret_cast<const unsigned char*>(utf), n);
  if (bad >= 0) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(utf[bad])));
    m.violate("NewStringUTF", "text is not valid modified UTF-8 (byte " + std::to_string(bad) +
                                  " is 0x" + hex + ")");
  }
  if (m.failing("NewStringUTF")) {
    m.raiseFailure("NewStringUTF", "Java heap space");
    return nullptr;
  }
  return static_cast<jstring>(m.local(m.makeString(text)));
}

Obj* useString(Impl& m, const char* fn, jstring str) {
  Obj* o = m.useNonNull(fn, str, "string");
  if (o != nullptr && o->cls != m.cls("java/lang/String")) {
    m.violate(fn, "a " + o->cls->name + " is not a String");
    return nullptr;
  }
  return o;
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring str) {
  Impl& m = implOf(env);
  Entry e(m, "GetStringUTFLength", Gate::Plain, false);
  Obj* o = useString(m, "GetStringUTFLength", str);
  return o != nullptr ? static_cast<jsize>(o->text.size()) : 0;
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring str, jboolean* isCopy) {
  Impl& m = implOf(env);
  Entry e(m, "GetStringUTFChars", Gate::Plain, true);
  Obj* o = useString(m, "GetStringUTFChars", str);
  if (o == nullptr) return nullptr;
  if (m.failing("GetStringUTFChars")) {
    m.raiseFailure("GetStringUTFChars", "Java heap space");
    return nullptr;
  }
  Pin* p = m.pin("GetStringUTFChars", 'S', o, o->text.c_str(), o->text.size() + 1);
  if (p == nullptr) {
    m.raise("java/lang/OutOfMemoryError", "Java heap space");
    return nullptr;
  }
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  return reinterpret_cast<const char*>(p->data);
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring str, const char* chars) {
  Impl& m = implOf(env);
  const char* fn = "ReleaseStringUTFChars";
  Entry e(m, fn, Gate::Safe, false);
  Obj* o = useString(m, fn, str);
  if (chars == nullptr) {
    m.violate(fn, "null text");
    return;
  }
  Pin* p = m.findPin(chars, false);
  if (p == nullptr) {
    m.violate(fn, m.findPin(chars, true) != nullptr ? "text released twice"
                                                    : "text was not acquired from this VM");
    return;
  }
  if (p->kind != 'S') m.violate(fn, "block came from " + p->getter);
  if (o != nullptr && p->target != o) m.violate(fn, "text belongs to another string");
  m.checkGuards(fn, *p);
  m.unpin(p);
}

// The array behind a reference for the array functions; null after a violation.
Obj* useArray(Impl& m, const char* fn, jobject arr, const char* elems) {
  Obj* o = m.useNonNull(fn, arr, "array");
  if (o == nullptr) return nullptr;
  bool ok =
      o->cls->array &&
      (elems == nullptr || (elems[0] == 'L' ? isRefType(o->cls->elem[0]) : o->cls->elem == elems));
  if (!ok) {
    std::string want = elems == nullptr  ? "an array"
                       : elems[0] == 'L' ? "an object array"
                                         : std::string("a [") + elems;
    m.violate(fn, "a " + o->cls->name + " is not " + want);
    return nullptr;
  }
  return o;
}

size_t lengthOf(const Obj* a) {
  const std::string& el = a->cls->elem;
  if (el == "B") return a->bytes.size();
  if (el == "I") return a->ints.size();
  if (isRefType(el[0])) return a->elems.size();
  return 0;
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
  Impl& m = implOf(env);
  Entry e(m, "GetArrayLength", Gate::Plain, false);
  Obj* a = useArray(m, "GetArrayLength", array, nullptr);
  return a != nullptr ? static_cast<jsize>(lengthOf(a)) : 0;
}

bool badLength(Impl& m, const char* fn, jsize len) {
  if (len >= 0) return false;
  m.violate(fn, "negative length " + std::to_string(len));
  m.raise("java/lang/NegativeArraySizeException", std::to_string(len));
  return true;
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize len, jclass clazz, jobject init) {
  Impl& m = implOf(env);
  const char* fn = "NewObjectArray";
  Entry e(m, fn, Gate::Plain, true);
  Class* c = m.useClass(fn, clazz);
  Obj* first = m.use(fn, init, "initial element");
  if (c == nullptr || badLength(m, fn, len)) return nullptr;
  if (first != nullptr && !Impl::subclass(first->cls, c)) {
    m.violate(fn, "initial element is a " + first->cls->name + ", not a " + c->name);
    m.raise("java/lang/ArrayStoreException", first->cls->name);
    return nullptr;
  }
  if (m.failing(fn)) {
    m.raiseFailure(fn, "Java heap space");
    return nullptr;
  }
  Obj* a = m.make(m.arrayOf(c));
  a->elems.assign(static_cast<size_t>(len), first);
  return static_cast<jobjectArray>(m.local(a));
}

bool badIndex(Impl& m, const char* fn, const Obj* a, jsize index) {
  if (index >= 0 && static_cast<size_t>(index) < lengthOf(a)) return false;
  std::string text =
      "Index " + std::to_string(index) + " out of bounds for length " + std::to_string(lengthOf(a));
  m.violate(fn, text);
  m.raise("java/lang/ArrayIndexOutOfBoundsException", text);
  return true;
}

jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
  Impl& m = implOf(env);
  const char* fn = "GetObjectArrayElement";
  Entry e(m, fn, Gate::Plain, true);
  Obj* a = useArray(m, fn, array, "L");
  if (a == nullptr || badIndex(m, fn, a, index) || m.failing(fn)) return nullptr;
  return m.local(a->elems[static_cast<size_t>(index)]);
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject val) {
  Impl& m = implOf(env);
  const char* fn = "SetObjectArrayElement";
  Entry e(m, fn, Gate::Plain, true);
  Obj* a = useArray(m, fn, array, "L");
  Obj* v = m.use(fn, val, "element");
  if (a == nullptr || badIndex(m, fn, a, index)) return;
  if (v != nullptr && !Impl::subclass(v->cls, a->cls->elemClass)) {
    m.violate(fn, "a " + v->cls->name + " stored in a " + a->cls->name);
    m.raise("java/lang/ArrayStoreException", v->cls->name);
    return;
  }
  if (m.failing(fn)) {
    m.raiseFailure(fn, v != nullptr ? v->cls->name : "null");
    return;
  }
  a->elems[static_cast<size_t>(index)] = v;
}

jbyteArray JNICALL NewByteArray(JNIEnv* env, jsize len) {
  Impl& m = implOf(env);
  Entry e(m, "NewByteArray", Gate::Plain, true);
  if (badLength(m, "NewByteArray", len)) return nullptr;
  if (m.failing("NewByteArray")) {
    m.raiseFailure("NewByteArray", "Java heap space");
    return nullptr;
  }
  return static_cast<jbyteArray>(m.local(m.makeBytes(Bytes(static_cast<size_t>(len), 0))));
}

jintArray JNICALL NewIntArray(JNIEnv* env, jsize len) {
  Impl& m = implOf(env);
  Entry e(m, "NewIntArray", Gate::Plain, true);
  if (badLength(m, "NewIntArray", len)) return nullptr;
  if (m.failing("NewIntArray")) {
    m.raiseFailure("NewIntArray", "Java heap space");
    return nullptr;
  }
  Obj* a = m.make(m.cls("[I"));
  a->ints.assign(static_cast<size_t>(len), 0);
  return static_cast<jintArray>(m.local(a));
}

void* getElements(Impl& m, const char* fn, char kind, jobject array, jboolean* isCopy) {
  Entry e(m, fn, Gate::Plain, true);
  const char elems[2] = {kind, 0};
  Obj* a = useArray(m, fn, array, elems);
  if (a == nullptr) return nullptr;
  if (m.failing(fn)) {
    m.raiseFailure(fn, "Java heap space");
    return nullptr;
  }
  Pin* p = kind == 'B' ? m.pin(fn, kind, a, a->bytes.data(), a->bytes.size())
                       : m.pin(fn, kind, a, a->ints.data(), a->ints.size() * sizeof(jint));
  if (p == nullptr) {
    m.raise("java/lang/OutOfMemoryError", "Java heap space");
    return nullptr;
  }
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  return p->data;
}

void releaseElements(Impl& m, const char* fn, char kind, jobject array, void* elems, jint mode) {
  Entry e(m, fn, Gate::Safe, false);
  const char want[2] = {kind, 0};
  Obj* a = useArray(m, fn, array, want);
  if (elems == nullptr) {
    m.violate(fn, "null elements pointer");
    return;
  }
  Pin* p = m.findPin(elems, false);
  if (p == nullptr) {
    m.violate(fn, m.findPin(elems, true) != nullptr ? "elements released twice"
                                                    : "elements were not acquired from this VM");
    return;
  }
  if (p->kind != kind) m.violate(fn, "elements came from " + p->getter);
  if (a != nullptr && p->target != a) m.violate(fn, "elements belong to another array");
  m.checkGuards(fn, *p);
  p->target->releaseModes.push_back(static_cast<int>(mode));
  if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT) {
    m.violate(fn, "unknown release mode " + std::to_string(mode));
    m.unpin(p);
    return;
  }
  if (mode != JNI_ABORT && p->kind == kind) {
    void* dst = kind == 'B' ? static_cast<void*>(p->target->bytes.data())
                            : static_cast<void*>(p->target->ints.data());
    if (p->bytes > 0) std::memcpy(dst, p->data, p->bytes);
  }
  if (mode != JNI_COMMIT) m.unpin(p);
}

jbyte* JNICALL GetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy) {
  return static_cast<jbyte*>(getElements(implOf(env), "GetByteArrayElements", 'B', array, isCopy));
}

jint* JNICALL GetIntArrayElements(JNIEnv* env, jintArray array, jboolean* isCopy) {
  return static_cast<jint*>(getElements(implOf(env), "GetIntArrayElements", 'I', array, isCopy));
}

void JNICALL ReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elems, jint mode) {
  releaseElements(implOf(env), "ReleaseByteArrayElements", 'B', array, elems, mode);
}

void JNICALL ReleaseIntArrayElements(JNIEnv* env, jintArray array, jint* elems, jint mode) {
  releaseElements(implOf(env), "ReleaseIntArrayElements", 'I', array, elems, mode);
}

// Get/Set<Type>ArrayRegion: copies len elements at start between the array and buf.
// A copy within the array cannot throw, so no exception check need follow
// it (HotSpot's -Xcheck:jni asks for none either); a copy outside it raises,
// and the exception it leaves pending is seen by the next call.
void region(Impl& m, const char* fn, char kind, bool store, jobject array, jsize start, jsize len,
            void* buf) {
  Entry e(m, fn, Gate::Plain, false);
  const char want[2] = {kind, 0};
  Obj* a = useArray(m, fn, array, want);
  if (a == nullptr) return;
  size_t n = lengthOf(a);
  if (start < 0 || len < 0 || static_cast<long long>(start) + len > static_cast<long long>(n)) {
    std::string text = "Array region " + std::to_string(start) + ".." +
                       std::to_string(static_cast<long long>(start) + len) +
                       " out of bounds for length " + std::to_string(n);
    m.violate(fn, text);
    m.raise("java/lang/ArrayIndexOutOfBoundsException", text);
    return;
  }
  if (len > 0 && buf == nullptr) {
    m.violate(fn, "null buffer");
    return;
  }
  if (m.failing(fn)) {
    m.raiseFailure(fn, "region");
    return;
  }
  size_t size = kind == 'B' ? 1 : sizeof(jint);
  unsigned char* base =
      kind == 'B' ? a->bytes.data() : reinterpret_cast<unsigned char*>(a->ints.data());
  unsigned char* at = base + static_cast<size_t>(start) * size;
  size_t bytes = static_cast<size_t>(len) * size;
  if (bytes == 0) return;
  FAKEJNI_CALLER_MEMORY_BEGIN();
  if (store) {
    std::memcpy(at, buf, bytes);
  } else {
    std::memcpy(buf, at, bytes);
  }
  FAKEJNI_CALLER_MEMORY_END();
}

void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize len, jbyte* buf) {
  region(implOf(env), "GetByteArrayRegion", 'B', false, array, start, len, buf);
}

void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize len,
                                const jbyte* buf) {
  region(implOf(env), "SetByteArrayRegion", 'B', true, array, start, len, const_cast<jbyte*>(buf));
}

void JNICALL GetIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize len, jint* buf) {
  region(implOf(env), "GetIntArrayRegion", 'I', false, array, start, len, buf);
}

void JNICALL SetIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize len,
                               const jint* buf) {
  region(implOf(env), "SetIntArrayRegion", 'I', true, array, start, len, const_cast<jint*>(buf));
}

// Every slot of the table that the fake does not implement records its own
// name and returns zero. One instantiation per slot, typed from the slot.
template <typename Name, typename F>
struct Unexpected;

template <typename Name, typename R, typename... A>
struct Unexpected<Name, R(JNICALL*)(JNIEnv*, A...)> {
  static R JNICALL fn(JNIEnv* env, A...) {
    implOf(env).unexpected(Name::name());
    return R();
  }
};

template <typename Name, typename R, typename... A>
struct Unexpected<Name, R(JNICALL*)(JNIEnv*, A..., ...)> {
  static R JNICALL fn(JNIEnv* env, A..., ...) {
    Impl::Scope scope(implOf(env), threadOf(env));
    implOf(env).unexpected(Name::name());
    return R();
  }
};

// Every function slot of JNINativeInterface_ in JDK 17.
#define FAKEJNI_SLOTS(X)           \
  X(GetVersion)                    \
  X(DefineClass)                   \
  X(FindClass)                     \
  X(FromReflectedMethod)           \
  X(FromReflectedField)            \
  X(ToReflectedMethod)             \
  X(GetSuperclass)                 \
  X(IsAssignableFrom)              \
  X(ToReflectedField)              \
  X(Throw)                         \
  X(ThrowNew)                      \
  X(ExceptionOccurred)             \
  X(ExceptionDescribe)             \
  X(ExceptionClear)                \
  X(FatalError)                    \
  X(PushLocalFrame)                \
  X(PopLocalFrame)                 \
  X(NewGlobalRef)                  \
  X(DeleteGlobalRef)               \
  X(DeleteLocalRef)                \
  X(IsSameObject)                  \
  X(NewLocalRef)                   \
  X(EnsureLocalCapacity)           \
  X(AllocObject)                   \
  X(NewObject)                     \
  X(NewObjectV)                    \
  X(NewObjectA)                    \
  X(GetObjectClass)                \
  X(IsInstanceOf)                  \
  X(GetMethodID)                   \
  X(CallObjectMethod)              \
  X(CallObjectMethodV)             \
  X(CallObjectMethodA)             \
  X(CallBooleanMethod)             \
  X(CallBooleanMethodV)            \
  X(CallBooleanMethodA)            \
  X(CallByteMethod)                \
  X(CallByteMethodV)               \
  X(CallByteMethodA)               \
  X(CallCharMethod)                \
  X(CallCharMethodV)               \
  X(CallCharMethodA)               \
  X(CallShortMethod)               \
  X(CallShortMethodV)              \
  X(CallShortMethodA)              \
  X(CallIntMethod)                 \
  X(CallIntMethodV)                \
  X(CallIntMethodA)                \
  X(CallLongMethod)                \
  X(CallLongMethodV)               \
  X(CallLongMethodA)               \
  X(CallFloatMethod)               \
  X(CallFloatMethodV)              \
  X(CallFloatMethodA)              \
  X(CallDoubleMethod)              \
  X(CallDoubleMethodV)             \
  X(CallDoubleMethodA)             \
  X(CallVoidMethod)                \
  X(CallVoidMethodV)               \
  X(CallVoidMethodA)               \
  X(CallNonvirtualObjectMethod)    \
  X(CallNonvirtualObjectMethodV)   \
  X(CallNonvirtualObjectMethodA)   \
  X(CallNonvirtualBooleanMethod)   \
  X(CallNonvirtualBooleanMethodV)  \
  X(CallNonvirtualBooleanMethodA)  \
  X(CallNonvirtualByteMethod)      \
  X(CallNonvirtualByteMethodV)     \
  X(CallNonvirtualByteMethodA)     \
  X(CallNonvirtualCharMethod)      \
  X(CallNonvirtualCharMethodV)     \
  X(CallNonvirtualCharMethodA)     \
  X(CallNonvirtualShortMethod)     \
  X(CallNonvirtualShortMethodV)    \
  X(CallNonvirtualShortMethodA)    \
  X(CallNonvirtualIntMethod)       \
  X(CallNonvirtualIntMethodV)      \
  X(CallNonvirtualIntMethodA)      \
  X(CallNonvirtualLongMethod)      \
  X(CallNonvirtualLongMethodV)     \
  X(CallNonvirtualLongMethodA)     \
  X(CallNonvirtualFloatMethod)     \
  X(CallNonvirtualFloatMethodV)    \
  X(CallNonvirtualFloatMethodA)    \
  X(CallNonvirtualDoubleMethod)    \
  X(CallNonvirtualDoubleMethodV)   \
  X(CallNonvirtualDoubleMethodA)   \
  X(CallNonvirtualVoidMethod)      \
  X(CallNonvirtualVoidMethodV)     \
  X(CallNonvirtualVoidMethodA)     \
  X(GetFieldID)                    \
  X(GetObjectField)                \
  X(GetBooleanField)               \
  X(GetByteField)                  \
  X(GetCharField)                  \
  X(GetShortField)                 \
  X(GetIntField)                   \
  X(GetLongField)                  \
  X(GetFloatField)                 \
  X(GetDoubleField)                \
  X(SetObjectField)                \
  X(SetBooleanField)               \
  X(SetByteField)                  \
  X(SetCharField)                  \
  X(SetShortField)                 \
  X(SetIntField)                   \
  X(SetLongField)                  \
  X(SetFloatField)                 \
  X(SetDoubleField)                \
  X(GetStaticMethodID)             \
  X(CallStaticObjectMethod)        \
  X(CallStaticObjectMethodV)       \
  X(CallStaticObjectMethodA)       \
  X(CallStaticBooleanMethod)       \
  X(CallStaticBooleanMethodV)      \
  X(CallStaticBooleanMethodA)      \
  X(CallStaticByteMethod)          \
  X(CallStaticByteMethodV)         \
  X(CallStaticByteMethodA)         \
  X(CallStaticCharMethod)          \
  X(CallStaticCharMethodV)         \
  X(CallStaticCharMethodA)         \
  X(CallStaticShortMethod)         \
  X(CallStaticShortMethodV)        \
  X(CallStaticShortMethodA)        \
  X(CallStaticIntMethod)           \
  X(CallStaticIntMethodV)          \
  X(CallStaticIntMethodA)          \
  X(CallStaticLongMethod)          \
  X(CallStaticLongMethodV)         \
  X(CallStaticLongMethodA)         \
  X(CallStaticFloatMethod)         \
  X(CallStaticFloatMethodV)        \
  X(CallStaticFloatMethodA)        \
  X(CallStaticDoubleMethod)        \
  X(CallStaticDoubleMethodV)       \
  X(CallStaticDoubleMethodA)       \
  X(CallStaticVoidMethod)          \
  X(CallStaticVoidMethodV)         \
  X(CallStaticVoidMethodA)         \
  X(GetStaticFieldID)              \
  X(GetStaticObjectField)          \
  X(GetStaticBooleanField)         \
  X(GetStaticByteField)            \
  X(GetStaticCharField)            \
  X(GetStaticShortField)           \
  X(GetStaticIntField)             \
  X(GetStaticLongField)            \
  X(GetStaticFloatField)           \
  X(GetStaticDoubleField)          \
  X(SetStaticObjectField)          \
  X(SetStaticBooleanField)         \
  X(SetStaticByteField)            \
  X(SetStaticCharField)            \
  X(SetStaticShortField)           \
  X(SetStaticIntField)             \
  X(SetStaticLongField)            \
  X(SetStaticFloatField)           \
  X(SetStaticDoubleField)          \
  X(NewString)                     \
  X(GetStringLength)               \
  X(GetStringChars)                \
  X(ReleaseStringChars)            \
  X(NewStringUTF)                  \
  X(GetStringUTFLength)            \
  X(GetStringUTFChars)             \
  X(ReleaseStringUTFChars)         \
  X(GetArrayLength)                \
  X(NewObjectArray)                \
  X(GetObjectArrayElement)         \
  X(SetObjectArrayElement)         \
  X(NewBooleanArray)               \
  X(NewByteArray)                  \
  X(NewCharArray)                  \
  X(NewShortArray)                 \
  X(NewIntArray)                   \
  X(NewLongArray)                  \
  X(NewFloatArray)                 \
  X(NewDoubleArray)                \
  X(GetBooleanArrayElements)       \
  X(GetByteArrayElements)          \
  X(GetCharArrayElements)          \
  X(GetShortArrayElements)         \
  X(GetIntArrayElements)           \
  X(GetLongArrayElements)          \
  X(GetFloatArrayElements)         \
  X(GetDoubleArrayElements)        \
  X(ReleaseBooleanArrayElements)   \
  X(ReleaseByteArrayElements)      \
  X(ReleaseCharArrayElements)      \
  X(ReleaseShortArrayElements)     \
  X(ReleaseIntArrayElements)       \
  X(ReleaseLongArrayElements)      \
  X(ReleaseFloatArrayElements)     \
  X(ReleaseDoubleArrayElements)    \
  X(GetBooleanArrayRegion)         \
  X(GetByteArrayRegion)            \
  X(GetCharArrayRegion)            \
  X(GetShortArrayRegion)           \
  X(GetIntArrayRegion)             \
  X(GetLongArrayRegion)            \
  X(GetFloatArrayRegion)           \
  X(GetDoubleArrayRegion)          \
  X(SetBooleanArrayRegion)         \
  X(SetByteArrayRegion)            \
  X(SetCharArrayRegion)            \
  X(SetShortArrayRegion)           \
  X(SetIntArrayRegion)             \
  X(SetLongArrayRegion)            \
  X(SetFloatArrayRegion)           \
  X(SetDoubleArrayRegion)          \
  X(RegisterNatives)               \
  X(UnregisterNatives)             \
  X(MonitorEnter)                  \
  X(MonitorExit)                   \
  X(GetJavaVM)                     \
  X(GetStringRegion)               \
  X(GetStringUTFRegion)            \
  X(GetPrimitiveArrayCritical)     \
  X(ReleasePrimitiveArrayCritical) \
  X(GetStringCritical)             \
  X(ReleaseStringCritical)         \
  X(NewWeakGlobalRef)              \
  X(DeleteWeakGlobalRef)           \
  X(ExceptionCheck)                \
  X(NewDirectByteBuffer)           \
  X(GetDirectBufferAddress)        \
  X(GetDirectBufferCapacity)       \
  X(GetObjectRefType)              \
  X(GetModule)

}  // namespace

// On mingw-w64 va_list carries an attribute that a template argument drops;
// the stubs never read their arguments, so the V slots are unaffected.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
#endif
void Vm::Impl::installTable() {
  JNINativeInterface_& t = table;
#define FAKEJNI_STUB(N)                         \
  {                                             \
    struct Name {                               \
      static const char* name() { return #N; }  \
    };                                          \
    t.N = &Unexpected<Name, decltype(t.N)>::fn; \
  }
  FAKEJNI_SLOTS(FAKEJNI_STUB)
#undef FAKEJNI_STUB

  t.GetVersion = GetVersion;
  t.FindClass = FindClass;
  t.Throw = Throw;
  t.ThrowNew = ThrowNew;
  t.ExceptionOccurred = ExceptionOccurred;
  t.ExceptionClear = ExceptionClear;
  t.ExceptionCheck = ExceptionCheck;
  t.PushLocalFrame = PushLocalFrame;
  t.PopLocalFrame = PopLocalFrame;
  t.DeleteLocalRef = DeleteLocalRef;
  t.NewLocalRef = NewLocalRef;
  t.NewGlobalRef = NewGlobalRef;
  t.DeleteGlobalRef = DeleteGlobalRef;
  t.NewWeakGlobalRef = NewWeakGlobalRef;
  t.DeleteWeakGlobalRef = DeleteWeakGlobalRef;
  t.GetJavaVM = GetJavaVM;

  JNIInvokeInterface_& v = invokeTable;
  v.DestroyJavaVM = InvokeUnexpected;
  v.AttachCurrentThread = InvokeAttach;
  v.DetachCurrentThread = InvokeUnexpected;
  v.GetEnv = InvokeGetEnv;
  v.AttachCurrentThreadAsDaemon = InvokeAttach;
  t.EnsureLocalCapacity = EnsureLocalCapacity;
  t.NewObject = NewObject;
  t.NewObjectV = NewObjectV;
  t.NewObjectA = NewObjectA;
  t.GetObjectClass = GetObjectClass;
  t.IsInstanceOf = IsInstanceOf;
  t.GetMethodID = GetMethodID;
  t.CallObjectMethod = CallObjectMethod;
  t.CallObjectMethodV = CallObjectMethodV;
  t.CallObjectMethodA = CallObjectMethodA;
  t.CallBooleanMethod = CallBooleanMethod;
  t.CallBooleanMethodV = CallBooleanMethodV;
  t.CallBooleanMethodA = CallBooleanMethodA;
  t.CallIntMethod = CallIntMethod;
  t.CallIntMethodV = CallIntMethodV;
  t.CallIntMethodA = CallIntMethodA;
  t.GetFieldID = GetFieldID;
  t.GetObjectField = GetObjectField;
  t.GetIntField = GetIntField;
  t.SetIntField = SetIntField;
  t.NewStringUTF = NewStringUTF;
  t.GetStringUTFLength = GetStringUTFLength;
  t.GetStringUTFChars = GetStringUTFChars;
  t.ReleaseStringUTFChars = ReleaseStringUTFChars;
  t.GetArrayLength = GetArrayLength;
  t.NewObjectArray = NewObjectArray;
  t.GetObjectArrayElement = GetObjectArrayElement;
  t.SetObjectArrayElement = SetObjectArrayElement;
  t.NewByteArray = NewByteArray;
  t.NewIntArray = NewIntArray;
  t.GetByteArrayElements = GetByteArrayElements;
  t.GetIntArrayElements = GetIntArrayElements;
  t.ReleaseByteArrayElements = ReleaseByteArrayElements;
  t.ReleaseIntArrayElements = ReleaseIntArrayElements;
  t.GetByteArrayRegion = GetByteArrayRegion;
  t.SetByteArrayRegion = SetByteArrayRegion;
  t.GetIntArrayRegion = GetIntArrayRegion;
  t.SetIntArrayRegion = SetIntArrayRegion;
}

// Every function of the table runs holding the VM for its thread. A
// variadic function cannot be forwarded, so each of those takes the lock
// itself.
template <size_t Offset, typename F>
struct Guarded;

template <size_t Offset, typename R, typename... A>
struct Guarded<Offset, R(JNICALL*)(JNIEnv*, A...)> {
  using F = R(JNICALL*)(JNIEnv*, A...);
  static R JNICALL fn(JNIEnv* env, A... args) {
    Impl& m = implOf(env);
    Impl::Scope scope(m, threadOf(env));
    F plain;
    std::memcpy(&plain, reinterpret_cast<const char*>(&m.plainTable) + Offset, sizeof plain);
    return plain(env, args...);
  }
  static void guard(F* slot) { *slot = &fn; }
};

template <size_t Offset, typename R, typename... A>
struct Guarded<Offset, R(JNICALL*)(JNIEnv*, A..., ...)> {
  static void guard(R(JNICALL**)(JNIEnv*, A..., ...)) {}
};

void Vm::Impl::guardTable() {
  plainTable = table;
#define FAKEJNI_GUARD(N) \
  Guarded<offsetof(JNINativeInterface_, N), decltype(table.N)>::guard(&table.N);
  FAKEJNI_SLOTS(FAKEJNI_GUARD)
#undef FAKEJNI_GUARD
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// --- Predefined classes ---------------------------------------------------------

void Vm::Impl::predefine() {
  const std::string kObject = "java/lang/Object";
  define(kObject, {}, {"()V"}, "");
  define("java/lang/Class", {}, {}, kObject);
  define("java/lang/String", {}, {"()V"}, kObject);

  // Throwables. A constructor whose first parameter is a String sets the
  // message (see construct()).
  struct Throwable {
    const char* name;
    const char* super;
  };
  const Throwable throwables[] = {
      {"java/lang/Throwable", "java/lang/Object"},
      {"java/lang/Exception", "java/lang/Throwable"},
      {"java/lang/RuntimeException", "java/lang/Exception"},
      {"java/lang/Error", "java/lang/Throwable"},
      {"java/lang/LinkageError", "java/lang/Error"},
      {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
      {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
      {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
      {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
      {"java/lang/VirtualMachineError", "java/lang/Error"},
      {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
      {"java/lang/NullPointerException", "java/lang/RuntimeException"},
      {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
      {"java/lang/NumberFormatException", "java/lang/IllegalArgumentException"},
      {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
      {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
      {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
      {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
  };
  for (const Throwable& t : throwables) {
    define(t.name, {}, {"()V", "(Ljava/lang/String;)V"}, t.super);
  }
  define("java/text/ParseException", {}, {"(Ljava/lang/String;I)V"}, "java/lang/Exception");
  addMethod(cls("java/lang/Throwable"), "getMessage", "()Ljava/lang/String;",
            [](Impl& m, Obj* self, const std::vector<Val>&) {
              return Val{'L', 0, 0, self->hasMessage ? m.makeString(self->message) : nullptr};
            });
  define("it/morvale/pkcs11/PKCS11Exception", {}, {"(Ljava/lang/String;)V", "(I)V", "(IZ)V"},
         "java/lang/Exception");

  // Boxes keep their value in a field, filled by the one-argument constructor.
  define("java/lang/Number", {}, {"()V"}, kObject);
  define("java/lang/Integer", {{"value", "I"}}, {"(I)V"}, "java/lang/Number");
  addMethod(cls("java/lang/Integer"), "intValue", "()I",
            [](Impl&, Obj* self, const std::vector<Val>&) {
              return Val{'I', self->fields[findField(self->cls, "value", nullptr)].i, 0, nullptr};
            });
  define("java/lang/Boolean", {{"value", "Z"}}, {"(Z)V"}, kObject);
  addMethod(cls("java/lang/Boolean"), "booleanValue", "()Z",
            [](Impl&, Obj* self, const std::vector<Val>&) {
              return Val{'Z', self->fields[findField(self->cls, "value", nullptr)].i, 0, nullptr};
            });
  define("java/lang/Long", {{"value", "J"}}, {"(J)V"}, "java/lang/Number");
  addMethod(cls("java/lang/Long"), "longValue", "()J",
            [](Impl&, Obj* self, const std::vector<Val>&) {
              return Val{'J', self->fields[findField(self->cls, "value", nullptr)].i, 0, nullptr};
            });

  define("java/math/BigInteger", {}, {"([B)V"}, "java/lang/Number");
  addMethod(cls("java/math/BigInteger"), "<init>", "([B)V",
            [](Impl& m, Obj* self, const std::vector<Val>& args) {
              if (args[0].o == nullptr) {
                m.raise("java/lang/NullPointerException", "val");
              } else if (args[0].o->bytes.empty()) {
                m.raise("java/lang/NumberFormatException", "Zero length BigInteger");
              } else {
                self->bytes = minimalTwosComplement(args[0].o->bytes);
              }
              return Val();
            });
  addMethod(cls("java/math/BigInteger"), "toByteArray", "()[B",
            [](Impl& m, Obj* self, const std::vector<Val>&) {
              return Val{'[', 0, 0, m.makeBytes(minimalTwosComplement(self->bytes))};
            });

  // Dates are calendar days at midnight UTC.
  define("java/util/Date", {}, {"(J)V"}, kObject);
  addMethod(cls("java/util/Date"), "<init>", "(J)V",
            [](Impl&, Obj* self, const std::vector<Val>& args) {
              long long ms = args[0].i;
              long long day = (ms >= 0 ? ms : ms - 86399999) / 86400000;
              self->date = civilFromDays(day);
              return Val();
            });

  // SimpleDateFormat knows the one pattern that dates travel in: yyyyMMdd.
  define("java/text/DateFormat", {}, {}, kObject);
  define("java/text/SimpleDateFormat", {}, {"(Ljava/lang/String;)V"}, "java/text/DateFormat");
  Class* sdf = cls("java/text/SimpleDateFormat");
  addMethod(sdf, "<init>", "(Ljava/lang/String;)V",
            [](Impl& m, Obj* self, const std::vector<Val>& args) {
              if (args[0].o == nullptr) {
                m.raise("java/lang/NullPointerException", "pattern");
              } else {
                self->text = args[0].o->text;
                if (self->text != "yyyyMMdd") {
                  m.violate("SimpleDateFormat", "pattern \"" + self->text + "\" is not modelled");
                }
              }
              return Val();
            });
  addMethod(sdf, "format", "(Ljava/util/Date;)Ljava/lang/String;",
            [](Impl& m, Obj*, const std::vector<Val>& args) {
              if (args[0].o == nullptr) {
                m.raise("java/lang/NullPointerException", "date");
                return Val();
              }
              const Date& d = args[0].o->date;
              char text[64];
              std::snprintf(text, sizeof text, "%04d%02d%02d", d.year, d.month, d.day);
              return Val{'L', 0, 0, m.makeString(text)};
            });
  addMethod(sdf, "parse", "(Ljava/lang/String;)Ljava/util/Date;",
            [](Impl& m, Obj*, const std::vector<Val>& args) {
              if (args[0].o == nullptr) {
                m.raise("java/lang/NullPointerException", "source");
                return Val();
              }
              // Abutting numeric fields: four digits of year, two of month,
              // then every remaining digit for the day; lenient roll-over.
              const std::string& s = args[0].o->text;
              auto digits = [&s](size_t from, size_t count, long long* out) {
                long long v = 0;
                size_t k = 0;
                while (from + k < s.size() && (count == 0 || k < count) && k < 9 &&
                       s[from + k] >= '0' && s[from + k] <= '9') {
                  v = v * 10 + (s[from + k] - '0');
                  ++k;
                }
                *out = v;
                return k;
              };
              long long y = 0, mo = 0, d = 0;
              if (digits(0, 4, &y) != 4 || digits(4, 2, &mo) != 2 || digits(6, 0, &d) == 0) {
                Obj* e = m.makeThrowable("java/text/ParseException", nullptr);
                e->hasMessage = true;
                e->message = "Unparseable date: \"" + s + "\"";
                e->ctorArgs = {Val{'L', 0, 0, m.makeString(e->message)}, Val{'I', 0, 0, nullptr}};
                m.pending = e;
                return Val();
              }
              return Val{'L', 0, 0, m.makeDate(lenientDate(y, mo, d), nullptr)};
            });

  // The bridge's own Java classes.
  const std::string pkg = "it/morvale/pkcs11/";
  define(pkg + "PKCS11Info", {}, {"(ILjava/lang/String;ILjava/lang/String;I)V"}, kObject);
  define(pkg + "PKCS11SlotInfo", {}, {"(Ljava/lang/String;Ljava/lang/String;III)V"}, kObject);
  define(pkg + "PKCS11TokenInfo", {},
         {"(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
          "IIIIIIIIIIIIILjava/lang/String;)V"},
         kObject);
  define(pkg + "PKCS11MechanismInfo", {}, {"(III)V"}, kObject);
  define(pkg + "PKCS11SessionInfo", {}, {"(III)V"}, kObject);

  const std::string nat = pkg + "nat/";
  define(nat + "NativePKCS11", {}, {"()V"}, kObject);
  define(nat + "NativePKCS11Slot", {{"module", "L" + nat + "NativePKCS11;"}, {"slotID", "I"}},
         {"(L" + nat + "NativePKCS11;I)V"}, kObject);
  define(nat + "NativePKCS11Session",
         {{"slot", "L" + nat + "NativePKCS11Slot;"}, {"sessionID", "I"}},
         {"(L" + nat + "NativePKCS11Slot;I)V"}, kObject);
  define(nat + "NativePKCS11Object",
         {{"session", "L" + nat + "NativePKCS11Session;"}, {"objectID", "I"}},
         {"(L" + nat + "NativePKCS11Session;I)V"}, kObject);
}

// --- Vm -------------------------------------------------------------------------

bool operator==(const Date& a, const Date& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

std::ostream& operator<<(std::ostream& out, const Date& d) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return out << text;
}

std::ostream& operator<<(std::ostream& out, const Pending& p) {
  if (!p.set) return out << "(nothing pending)";
  out << p.className;
  if (p.hasMessage) out << " \"" << p.message << "\"";
  out << " (" << p.ctorArgs.size() << " constructor arguments)";
  return out;
}

std::ostream& operator<<(std::ostream& out, const CallSummary& s) {
  out << "local peak " << s.localPeak << ", locals at end " << s.localsAtEnd << ", unreleased "
      << s.unreleased << ", " << s.violations.size() << " violation(s)";
  for (const std::string& v : s.violations) out << "\n  " << v;
  return out;
}

Vm::Vm() : impl_(std::make_unique<Impl>(*this)) {}
Vm::~Vm() = default;

JNIEnv* Vm::env() {
  Impl::Scope scope(*impl_);
  return &impl_->active->holder.env;
}

void Vm::defineClass(const std::string& name, const std::vector<FieldDef>& fields,
                     const std::vector<std::string>& ctors, const std::string& superName) {
  Impl::Scope scope(*impl_);
  impl_->define(name, fields, ctors, superName);
  lookupsChanged();
}

void Vm::defineMethod(const std::string& className, const std::string& name, const std::string& sig,
                      MethodImpl impl) {
  Impl::Scope scope(*impl_);
  Class* c = impl_->cls(className);
  if (c == nullptr) {
    impl_->violate("defineMethod", "class " + className + " is not defined");
    return;
  }
  impl_->addMethod(c, name, sig, [impl](Impl& m, Obj* self, const std::vector<Val>& args) {
    std::vector<Value> in;
    for (const Val& a : args) in.push_back(Value{a.type, a.i, a.d, m.testRef(a.o)});
    Value out = impl(m.vm, m.testRef(self), in);
    return Val{out.type, out.i, out.d, m.peek(out.ref)};
  });
  lookupsChanged();
}

bool Vm::hasClass(const std::string& name) const {
  Impl::Scope scope(*impl_);
  return impl_->classes.count(name) != 0;
}

void Vm::beginCall() {
  Impl::Scope scope(*impl_);
  impl_->beginCall();
}
CallSummary Vm::endCall(jobject result) {
  Impl::Scope scope(*impl_);
  return impl_->endCall(result);
}
bool Vm::inCall() const {
  Impl::Scope scope(*impl_);
  return impl_->callActive;
}

jstring Vm::newString(const std::string& modifiedUtf8) {
  Impl::Scope scope(*impl_);
  return static_cast<jstring>(impl_->testRef(impl_->makeString(modifiedUtf8)));
}

jbyteArray Vm::newBytes(const Bytes& bytes) {
  Impl::Scope scope(*impl_);
  return static_cast<jbyteArray>(impl_->testRef(impl_->makeBytes(bytes)));
}

jbyteArray Vm::newBytes(std::initializer_list<int> bytes) {
  Impl::Scope scope(*impl_);
  Bytes b;
  for (int v : bytes) b.push_back(static_cast<unsigned char>(v & 0xFF));
  return newBytes(b);
}

jintArray Vm::newInts(const std::vector<jint>& ints) {
  Impl::Scope scope(*impl_);
  Obj* a = impl_->make(impl_->cls("[I"));
  a->ints = ints;
  return static_cast<jintArray>(impl_->testRef(a));
}

jobjectArray Vm::newObjectArray(const std::string& elementClass,
                                const std::vector<jobject>& elems) {
  Impl::Scope scope(*impl_);
  Class* c = impl_->cls(elementClass);
  if (c == nullptr) {
    impl_->violate("newObjectArray", "class " + elementClass + " is not defined");
    return nullptr;
  }
  Obj* a = impl_->make(impl_->arrayOf(c));
  for (jobject e : elems) a->elems.push_back(impl_->peek(e));
  return static_cast<jobjectArray>(impl_->testRef(a));
}

jobject Vm::newInteger(jint v) {
  Impl::Scope scope(*impl_);
  jobject o = newObject("java/lang/Integer");
  setIntField(o, "value", v);
  return o;
}

jobject Vm::newBoolean(bool v) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->make(impl_->cls("java/lang/Boolean"));
  o->fields[Impl::findField(o->cls, "value", nullptr)] = Val{'Z', v ? 1 : 0, 0, nullptr};
  return impl_->testRef(o);
}

jobject Vm::newLong(long long v) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->make(impl_->cls("java/lang/Long"));
  o->fields[Impl::findField(o->cls, "value", nullptr)] = Val{'J', v, 0, nullptr};
  return impl_->testRef(o);
}

jobject Vm::newBigInteger(const Bytes& twosComplementBigEndian) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->make(impl_->cls("java/math/BigInteger"));
  o->bytes = minimalTwosComplement(twosComplementBigEndian);
  return impl_->testRef(o);
}

jobject Vm::newDate(int year, int month, int day, const std::string& cls) {
  Impl::Scope scope(*impl_);
  Class* c = impl_->cls(cls);
  if (c == nullptr || !Impl::subclass(c, impl_->cls("java/util/Date"))) {
    impl_->violate("newDate", cls + " is not a defined subclass of java/util/Date");
    return nullptr;
  }
  return impl_->testRef(impl_->makeDate(lenientDate(year, month, day), c));
}

jobject Vm::newObject(const std::string& className) {
  Impl::Scope scope(*impl_);
  Class* c = impl_->cls(className);
  if (c == nullptr) {
    impl_->violate("newObject", "class " + className + " is not defined");
    return nullptr;
  }
  return impl_->testRef(impl_->make(c));
}

void Vm::setIntField(jobject obj, const std::string& field, jint v) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(obj);
  Field* f = o != nullptr ? Impl::findField(o->cls, field, nullptr) : nullptr;
  if (f == nullptr || f->sig != "I") {
    impl_->violate("setIntField", "no int field " + field + " in " + impl_->describe(o));
    return;
  }
  o->fields[f] = Val{'I', v, 0, nullptr};
}

void Vm::setObjectField(jobject obj, const std::string& field, jobject v) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(obj);
  Field* f = o != nullptr ? Impl::findField(o->cls, field, nullptr) : nullptr;
  if (f == nullptr || !isRefType(f->sig[0])) {
    impl_->violate("setObjectField", "no reference field " + field + " in " + impl_->describe(o));
    return;
  }
  o->fields[f] = Val{f->sig[0], 0, 0, impl_->peek(v)};
}

std::string Vm::classNameOf(jobject obj) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(obj);
  return o != nullptr ? o->cls->name : std::string();
}

bool Vm::isInstance(jobject obj, const std::string& className) const {
  Impl::Scope scope(*impl_);
  return impl_->instanceOf(impl_->peek(obj), className);
}

bool Vm::sameObject(jobject a, jobject b) const {
  Impl::Scope scope(*impl_);
  return impl_->peek(a) == impl_->peek(b);
}

std::string Vm::stringOf(jobject str) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(str);
  return o != nullptr ? o->text : std::string();
}

Bytes Vm::bytesOf(jobject byteArray) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(byteArray);
  return o != nullptr ? o->bytes : Bytes();
}

std::vector<jint> Vm::intsOf(jobject intArray) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(intArray);
  return o != nullptr ? o->ints : std::vector<jint>();
}

std::vector<jobject> Vm::arrayElements(jobject objectArray) {
  Impl::Scope scope(*impl_);
  std::vector<jobject> out;
  Obj* o = impl_->peek(objectArray);
  if (o == nullptr) return out;
  for (Obj* e : o->elems) out.push_back(impl_->testRef(e));
  return out;
}

Value Vm::field(jobject obj, const std::string& name) {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(obj);
  Field* f = o != nullptr ? Impl::findField(o->cls, name, nullptr) : nullptr;
  if (f == nullptr) return Value();
  auto it = o->fields.find(f);
  Val v = it != o->fields.end() ? it->second : Val{};
  return Value{f->sig[0], v.i, v.d, impl_->testRef(v.o)};
}

jint Vm::intField(jobject obj, const std::string& name) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(obj);
  Field* f = o != nullptr ? Impl::findField(o->cls, name, nullptr) : nullptr;
  if (f == nullptr) return 0;
  auto it = o->fields.find(f);
  return it != o->fields.end() ? static_cast<jint>(it->second.i) : 0;
}

jobject Vm::objectField(jobject obj, const std::string& name) {
  Impl::Scope scope(*impl_);
  return field(obj, name).ref;
}

std::vector<Value> Vm::ctorArgs(jobject obj) {
  Impl::Scope scope(*impl_);
  std::vector<Value> out;
  Obj* o = impl_->peek(obj);
  if (o == nullptr) return out;
  for (const Val& a : o->ctorArgs) out.push_back(Value{a.type, a.i, a.d, impl_->testRef(a.o)});
  return out;
}

Bytes Vm::bigIntegerBytes(jobject big) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(big);
  return o != nullptr ? minimalTwosComplement(o->bytes) : Bytes();
}

Date Vm::dateOf(jobject date) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(date);
  return o != nullptr ? o->date : Date();
}

Pending Vm::pending() {
  Impl::Scope scope(*impl_);
  Pending p;
  Obj* o = impl_->pending;
  if (o == nullptr) return p;
  p.set = true;
  p.className = o->cls->name;
  p.message = o->message;
  p.hasMessage = o->hasMessage;
  p.ctorArgs = ctorArgs(impl_->testRef(o));
  p.throwable = impl_->testRef(o);
  return p;
}

void Vm::clearPending() {
  Impl::Scope scope(*impl_);
  impl_->pending = nullptr;
}

void Vm::throwNew(const std::string& cls, const std::string& message) {
  Impl::Scope scope(*impl_);
  impl_->raise(cls, message);
}

void Vm::failNext(const std::string& fn) {
  Impl::Scope scope(*impl_);
  failNth(fn, 1);
}

void Vm::failNth(const std::string& fn, int n) {
  Impl::Scope scope(*impl_);
  if (failureExceptions().count(fn) == 0 && failureExceptions().count(family(fn)) == 0) {
    impl_->violate("failNth", fn + " cannot be made to fail");
    return;
  }
  if (n < 1) {
    impl_->violate("failNth", "call number " + std::to_string(n) + " must be 1 or more");
    return;
  }
  impl_->rules.push_back(FailRule{fn, n, false});
  lookupsChanged();
}

void Vm::failAll(const std::string& fn) {
  Impl::Scope scope(*impl_);
  if (failureExceptions().count(fn) == 0 && failureExceptions().count(family(fn)) == 0) {
    impl_->violate("failAll", fn + " cannot be made to fail");
    return;
  }
  impl_->rules.push_back(FailRule{fn, 0, true});
  lookupsChanged();
}

JavaVM* Vm::javaVm() {
  return &impl_->vmHolder.vm;
}

int Vm::liveGlobals() const {
  Impl::Scope scope(*impl_);
  return impl_->liveGlobals();
}

void Vm::whenLookupsChange(std::function<void()> hook) {
  Impl::Scope scope(*impl_);
  impl_->lookupsChanged = std::move(hook);
}

void Vm::lookupsChanged() {
  Impl::Scope scope(*impl_);
  if (impl_->lookupsChanged) impl_->lookupsChanged();
}

CallSummary Vm::unloadLibrary(void(JNICALL* onUnload)(JavaVM*, void*)) {
  Impl::Scope scope(*impl_);
  if (impl_->callActive) {
    impl_->violate("unloadLibrary", "a library is unloaded while a native call runs");
    return CallSummary{};
  }
  // The VM unloads a library on a thread of its own: whatever the test's
  // thread has pending stays pending.
  Obj* pending = impl_->pending;
  impl_->beginCall();
  onUnload(javaVm(), nullptr);
  CallSummary summary = impl_->endCall(nullptr);
  impl_->pending = pending;
  return summary;
}

void Vm::clearFailures() {
  Impl::Scope scope(*impl_);
  impl_->rules.clear();
}

const std::vector<std::string>& Vm::violations() const {
  Impl::Scope scope(*impl_);
  return impl_->violations;
}

void Vm::clearViolations() {
  Impl::Scope scope(*impl_);
  impl_->violations.clear();
  impl_->violationsAtCallStart = 0;
}

int Vm::calls(const std::string& fn) const {
  Impl::Scope scope(*impl_);
  int n = 0;
  for (const auto& c : impl_->counts) {
    if (c.first == fn || family(c.first) == fn) n += c.second;
  }
  return n;
}

const std::vector<std::string>& Vm::journal() const {
  Impl::Scope scope(*impl_);
  return impl_->journal;
}
void Vm::clearJournal() {
  Impl::Scope scope(*impl_);
  impl_->journal.clear();
}

std::vector<int> Vm::releaseModes(jobject array) const {
  Impl::Scope scope(*impl_);
  Obj* o = impl_->peek(array);
  return o != nullptr ? o->releaseModes : std::vector<int>();
}

int Vm::liveLocals() const {
  Impl::Scope scope(*impl_);
  return impl_->liveTotal;
}

int Vm::pinned() const {
  Impl::Scope scope(*impl_);
  int n = 0;
  for (const Pin& p : impl_->pins) n += p.released ? 0 : 1;
  return n;
}

}  // namespace fakejni
