// POSIX side of the tests' platform helpers.
#include <locale.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/platform.h"

namespace test_support {

namespace {
// Puts `locale` in force for the calling thread and frees the one of setThreadLocale that it replaces.
void useLocale(locale_t locale) {
  const locale_t previous = uselocale(locale);
  if (previous != LC_GLOBAL_LOCALE) freelocale(previous);
}
}  // namespace

bool setThreadLocale(const char* posixName, unsigned) {
  const locale_t created = newlocale(LC_MESSAGES_MASK, posixName, nullptr);
  if (created != nullptr) useLocale(created);
  return created != nullptr;
}

void restoreThreadLocale() { useLocale(LC_GLOBAL_LOCALE); }

void setRuntimeEnvironmentVariable(const char* name, const char* value) { setenv(name, value, 1); }

bool getSystemEnvironmentVariable(const char* name, std::string* value) {
  const char* text = std::getenv(name);
  if (text != nullptr) *value = text;
  return text != nullptr;
}

std::string createHiddenFile(const std::string& directory) {
  std::ofstream(directory + ".hidden").put('x');
  return directory + ".hidden";
}

int runWithFileSizeLimit(std::size_t bytes, const std::function<int()>& body, std::string* whyNot) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    int result = 125;
    try {
      result = body();
    } catch (...) {
    }
    _exit(result);  // no static destructors or atexit handlers of the test program in the child
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || (WIFEXITED(status) && WEXITSTATUS(status) == 126)) {
    *whyNot = "no child process with a file-size limit";
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string fullDevicePath() { return std::filesystem::is_character_file("/dev/full") ? "/dev/full" : ""; }

const int* pastTheEndOfAMappedFile() {
  std::FILE* file = std::tmpfile();
  if (file == nullptr || ftruncate(fileno(file), 4096) != 0) return nullptr;
  void* mapping = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0);
  return mapping != MAP_FAILED && ftruncate(fileno(file), 0) == 0 ? static_cast<const int*>(mapping) : nullptr;
}

}  // namespace test_support
