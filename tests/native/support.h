// What the native suites share: the recording module loaded through the
// bridge's own loader, its control functions, and capture of the trace that
// the bridge writes to standard output.
#ifndef QUILLON_TESTS_SUPPORT_H
#define QUILLON_TESTS_SUPPORT_H

#include <stdio.h>

#include <string>
#include <vector>

#include <p11-kit/pkcs11.h>

namespace testsupport {

// The platform's library loader.
void* openLibrary(const char* path);
void* librarySymbol(void* library, const char* name);

// The recording module's control interface, found by name in the module.
struct Recorder {
  void* module = nullptr;
  void (*set)(const char* key, const char* value) = nullptr;
  void (*clear)() = nullptr;
  const char* (*journalText)() = nullptr;
  void (*journalClear)() = nullptr;
  void (*reset)() = nullptr;
  const char* (*layout)() = nullptr;

  // Loads the module at `path` (once per process) and finds its controls.
  static Recorder& at(const char* path);

  // The journal lines of one function (all lines when `function` is empty).
  std::vector<std::string> journal(const std::string& function = "") const;
};

// Everything written to standard output between construction and text().
class CaptureStdout {
 public:
  CaptureStdout();
  ~CaptureStdout();
  std::string text();

 private:
  int saved_ = -1;
  FILE* file_ = nullptr;
  std::string result_;
  bool done_ = false;
};

// Hex text of bytes, as the journal writes them.
std::string hex(const void* data, size_t length);

}  // namespace testsupport

#endif
