// Compiled once per CASE by format_checks.cmake: case 0 must compile, every other case must be refused. Each
// wrong case gives one printf-style entry point an argument its format cannot take, so that no entry point can
// lose its check unnoticed.
#include <zem_util/cst_str.h>
#include <zem_util/trace.h>
#include <zem_util/translator.h>

void useEveryEntryPoint(zem_util::Trace& trace, zem_util::TraceFile& file, const zem_util::Translator& messages) {
  zem_util::ArrayPtr<char> name("net");
#if CASE == 0
  zem_util::format("%s %d", name.toNullTerminatedPtr(), 1);
  zem_util::CstStr::fromFormat("%u", 2u);
  file.printf("%s", "text");
  trace.printf(zem_util::kInfo, "%ld", 3L);
  trace.error("%c", 'e');
  trace.standard("%f", 1.5);
  trace.info("%p", static_cast<void*>(&trace));
  trace.detail("%zu", sizeof name);
  trace.debug("%s", name.toNullTerminatedPtr());
  messages.getFormattedMsg("MSG", name.toNullTerminatedPtr(), 4, zem_util::kDebug, nullptr);
#elif CASE == 1
  zem_util::format("%s", name);
#elif CASE == 2
  zem_util::CstStr::fromFormat("%d", "text");
#elif CASE == 3
  file.printf("%s", 1);
#elif CASE == 4
  trace.printf(zem_util::kInfo, "%s", name);
#elif CASE == 5
  trace.error("%d", "text");
#elif CASE == 6
  trace.standard("%s", 2.5);
#elif CASE == 7
  trace.info("%s", name);
#elif CASE == 8
  trace.detail("%d %d", 1);
#elif CASE == 9
  trace.debug("%s", zem_util::CstStr("text"));
#elif CASE == 10
  messages.getFormattedMsg("MSG", name);
#endif
}
