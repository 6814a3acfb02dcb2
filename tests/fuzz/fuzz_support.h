// What the two fuzz targets share: the answering module loaded through the
// bridge's own entry points, choices drawn from the fuzz input, and the
// checks made after every native call through the fake JVM.
#ifndef QUILLON_FUZZ_SUPPORT_H
#define QUILLON_FUZZ_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "answers.h"
#include "fakejni.h"

namespace fuzz {

// The handles of the answering module, loaded once per process.
struct Module {
  jlong module;
  jlong list;
};
const Module& answeringModule();

// Choices from the fuzz input.
uint8_t byte();
uint16_t word();
uint32_t u32();
// A count below `limit`.
size_t count(size_t limit);

// The JNI functions that can be made to fail once, by name: lookups, allocations, pins, texts,
// Java methods, throws and element access. A region copy within its array cannot fail in a
// Java VM (the bridge relies on that), so none is made to.
extern const char* const kFailable[];
extern const size_t kFailableCount;

// Makes one JNI function fail in the next call, when the input asks for it; true when it did.
bool maybeFail(fakejni::Vm& vm);

// Ends a native call and stops the run when the bridge left anything behind: a pin or text not
// released, a JNI misuse, more than 32 local references, or an exception other than those
// `allowed` lists (PKCS11Exception is always allowed).
void endCall(fakejni::Vm& vm, const char* what, jobject result, bool injected,
             std::initializer_list<const char*> allowed = {});

// Ends an input: the bridge forgets the lookups it remembered in this fake VM (as when its class
// loader goes, the VM being about to go too), which must leave no global reference behind.
void finish(fakejni::Vm& vm);

[[noreturn]] void stop(const char* what, const std::string& why);

}  // namespace fuzz

#endif
