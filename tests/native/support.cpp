#include "support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#define close _close
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace testsupport {

// The platform loader, used directly so that these helpers need nothing of
// the bridge.
void* openLibrary(const char* path) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryA(path));
#else
  return dlopen(path, RTLD_LAZY);
#endif
}

void* librarySymbol(void* library, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

template <typename F>
static void find(void* module, const char* name, F* fn) {
  *fn = reinterpret_cast<F>(librarySymbol(module, name));
  if (*fn == nullptr) {
    fprintf(stderr, "recording module lacks %s\n", name);
    abort();
  }
}

Recorder& Recorder::at(const char* path) {
  static Recorder recorder;
  if (recorder.module == nullptr) {
    recorder.module = openLibrary(path);
    if (recorder.module == nullptr) {
      fprintf(stderr, "cannot load %s\n", path);
      abort();
    }
    find(recorder.module, "qrec_set", &recorder.set);
    find(recorder.module, "qrec_clear", &recorder.clear);
    find(recorder.module, "qrec_journal", &recorder.journalText);
    find(recorder.module, "qrec_journal_clear", &recorder.journalClear);
    find(recorder.module, "qrec_reset", &recorder.reset);
    find(recorder.module, "qrec_layout", &recorder.layout);
  }
  return recorder;
}

std::vector<std::string> Recorder::journal(const std::string& function) const {
  std::vector<std::string> lines;
  std::string text = journalText();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (function.empty() || line.rfind(function + " ", 0) == 0) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

CaptureStdout::CaptureStdout() {
  fflush(stdout);
  file_ = tmpfile();
  saved_ = dup(fileno(stdout));
  dup2(fileno(file_), fileno(stdout));
#ifdef _WIN32
  // Line ends reach the file as single LF bytes, as in the trace log.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

std::string CaptureStdout::text() {
  if (!done_) {
    fflush(stdout);
    dup2(saved_, fileno(stdout));
    close(saved_);
    done_ = true;
    fseek(file_, 0, SEEK_SET);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file_)) > 0) result_.append(buffer, n);
    fclose(file_);
  }
  return result_;
}

CaptureStdout::~CaptureStdout() {
  text();
}

std::string hex(const void* data, size_t length) {
  static const char digits[] = "0123456789abcdef";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

}  // namespace testsupport
