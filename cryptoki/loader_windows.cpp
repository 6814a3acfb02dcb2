// Module loading on Windows. The path arrives as the VM's modified UTF-8; it
// is converted to UTF-16 and loaded with LoadLibraryW, so a path with
// non-ASCII characters loads whatever the ANSI code page is.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>

#include "cryptoki.h"

namespace quillon {

// Decodes modified UTF-8 (supplementary characters arrive as two encoded
// surrogates, U+0000 as C0 80) into UTF-16 code units. Standard four-byte
// sequences are accepted too. Returns a malloc'ed, NUL-terminated text, or
// null when the input is malformed or memory is short.
static wchar_t* utf16FromModifiedUtf8(const char* text) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t units = 0;
  for (const unsigned char* p = in; *p; ++p) units += 2;  // generous upper bound
  wchar_t* out = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
  if (out == nullptr) return nullptr;
  size_t n = 0;
  while (*in) {
    unsigned long c;
    int extra;
    if (*in < 0x80) {
      c = *in;
      extra = 0;
    } else if ((*in & 0xE0) == 0xC0) {
      c = *in & 0x1F;
      extra = 1;
    } else if ((*in & 0xF0) == 0xE0) {
      c = *in & 0x0F;
      extra = 2;
    } else if ((*in & 0xF8) == 0xF0) {
      c = *in & 0x07;
      extra = 3;
    } else {
      free(out);
      return nullptr;
    }
    ++in;
    for (int i = 0; i < extra; ++i, ++in) {
      if ((*in & 0xC0) != 0x80) {
        free(out);
        return nullptr;
      }
      c = (c << 6) | (*in & 0x3F);
    }
    if (c == 0) {  // C0 80: a NUL inside the path names no file
      free(out);
      return nullptr;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out[n++] = static_cast<wchar_t>(0xD800 | (c >> 10));
      out[n++] = static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
    } else {
      out[n++] = static_cast<wchar_t>(c);
    }
  }
  out[n] = 0;
  return out;
}

ModuleHandle openModule(const char* path) {
  wchar_t* wide = utf16FromModifiedUtf8(path);
  if (wide == nullptr) return nullptr;
  HMODULE module = LoadLibraryW(wide);
  free(wide);
  return reinterpret_cast<ModuleHandle>(module);
}

void* findSymbol(ModuleHandle module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool reopenStdout(const char* path) {
  // What was printed so far belongs to the former output, whatever happens.
  fflush(stdout);
  // Standard output moves onto the log only once the log is open; until
  // then it stays exactly as it was. Binary mode keeps line ends as single
  // LF bytes, so the log holds the same bytes as on Linux.
  int fd = _open(path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  bool moved = _dup2(fd, _fileno(stdout)) == 0;
  _close(fd);
  if (moved) _setmode(_fileno(stdout), _O_BINARY);
  return moved;
}

}  // namespace quillon
