// An outside program that only knows the installed package.
#include <zem_util/zem_util.h>

#include <cstdio>
#include <cstring>

// With --plugin it also asks the registry for the demo's catalogue, built beside it as DemoMsg_en. With
// --trace <file> it writes one record in flush mode 0 and exits at once, so the record is still buffered then.
int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--trace") == 0) {
    zem_util::Ptr<zem_util::Trace> trace = zem_util::getTraceMgr()->getTrace("consumer");
    trace->setFileName(argv[2]);
    trace->setMaxLevel(zem_util::kInfo);
    trace->info("written just before exit");
    return 0;
  }
  zem_util::ArrayPtr<char> text = zem_util::format("%s-%d", "consumer", 42);
  zem_util::Mutex mutex;
  zem_util::MutexLock guard(mutex);
  if (std::strcmp(text.toNullTerminatedPtr(), "consumer-42") != 0 || !guard.isLocked()) return 1;
  if (argc > 1 && std::strcmp(argv[1], "--plugin") == 0) {
    zem_util::ArrayPtr<char> done = zem_util::getTranslator("Demo", "en_US")->getMsg("DEMO_END");
    if (std::strcmp(done.toNullTerminatedPtr(), "Done.") != 0) return 2;
  }
  std::puts(text.toNullTerminatedPtr());
  return 0;
}
