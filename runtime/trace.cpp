// Trace flag, trace output and the switch that turns tracing on.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "cryptoki.h"
#include "runtime.h"

extern "C" {
int debug = 0;
const char bridgev[] = "2.00";
}

namespace quillon {

static const char kLogPath[] = "/var/tmp/jpkcs110.log";

#if !(defined(__GNUC__) && !defined(__clang__))
void trace(const char* format, ...) {
  if (!tracing()) return;
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}
#endif

void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}

void sayLine(const char* text) {
  puts(text);
}

void traceSwitch() {
  if (getenv("PKCS11_ZOR_DEBUG") != nullptr) {
    puts("getenv done ");
    printf("redirecting stdout to %s ", kLogPath);
    // A log that cannot be opened leaves standard output alone and tracing
    // as it was.
    if (reopenStdout(kLogPath)) {
      puts("setting debug to 1");
      __atomic_store_n(&debug, 1, __ATOMIC_RELAXED);
    }
  }
  trace("JNI: start loadPKCS11Library ");
}

}  // namespace quillon
