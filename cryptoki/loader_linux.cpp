// Module loading on Linux: dlopen with lazy binding and local scope.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cryptoki.h"

namespace quillon {

ModuleHandle openModule(const char* path) {
  return dlopen(path, RTLD_LAZY);
}

void* findSymbol(ModuleHandle module, const char* name) {
  return dlsym(module, name);
}

bool reopenStdout(const char* path) {
  // What was printed so far belongs to the former output, whatever happens.
  fflush(stdout);
  // The log sits in a folder that anyone may write to, so whatever stands at
  // its path is distrusted: a symbolic link is not followed, a FIFO does not
  // block the open, and only a regular file of this user's own is taken. A
  // new log is readable by its owner alone.
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    close(fd);
    return false;
  }
  // Standard output moves onto the log only once the log is open; until
  // then it stays exactly as it was.
  bool moved = dup2(fd, STDOUT_FILENO) == STDOUT_FILENO;
  close(fd);
  return moved;
}

}  // namespace quillon
