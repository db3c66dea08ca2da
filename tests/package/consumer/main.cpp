// An outside program that only knows the installed package.
#include <zem_util/zem_util.h>

#include <cstdio>
#include <cstring>

int main() {
  zem_util::ArrayPtr<char> text = zem_util::format("%s-%d", "consumer", 42);
  zem_util::Mutex mutex;
  zem_util::MutexLock guard(mutex);
  if (std::strcmp(text.toNullTerminatedPtr(), "consumer-42") != 0 || !guard.isLocked()) return 1;
  std::puts(text.toNullTerminatedPtr());
  return 0;
}
