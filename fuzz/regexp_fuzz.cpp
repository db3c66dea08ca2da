// Fuzz target of Regexp. The input is "<pattern>\n<text>" (no line feed: all pattern, empty text). Each input
// is matched in both case modes and checked against what must hold whatever the input:
//   - after a true result the captures spell the segments, in order, without overlap, anchored where the
//     pattern has no star at its ends, each middle one at its leftmost place;
//   - ignoring case is the same as matching the lower-case pattern on the lower-case text;
//   - for patterns of literals and stars, and texts without NUL, the answer is fnmatch's (flags 0).
#include <fnmatch.h>
#include <zem_util/regexp.h>

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "regexp/capture_rules.h"

namespace {

using test_support::findCaptureFault;
using test_support::isStarPattern;
using test_support::lower;
using zem_util::ArrayPtr;
using zem_util::LetterCase;
using zem_util::Regexp;
using zem_util::fuzz::toHandle;

void checkCaptures(const std::string& pattern, const ArrayPtr<char>& text, const ArrayPtr<ArrayPtr<char>>& captures,
                   bool caseSensitive) {
  const std::string fault = findCaptureFault(pattern, text, captures, caseSensitive);
  if (!fault.empty()) zem_util::fuzz::fail(__FILE__, __LINE__, fault.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [pattern, text] = zem_util::fuzz::splitAtLineFeed(data, size);
  // Both are slices of one block, as texts cut from a larger one often are.
  const ArrayPtr<char> whole = toHandle(pattern + '\n' + text);
  const ArrayPtr<char> patternHandle = whole.slice(0, static_cast<std::int32_t>(pattern.size()));
  const ArrayPtr<char> textHandle =
      whole.slice(whole.length() - static_cast<std::int32_t>(text.size()), static_cast<std::int32_t>(text.size()));

  ArrayPtr<ArrayPtr<char>> captures;
  Regexp exact(patternHandle, LetterCase::kSensitive);
  const bool exactResult = exact.match(textHandle, captures);
  if (exactResult) checkCaptures(pattern, textHandle, captures, true);
  ZEM_FUZZ_CHECK(exact.match(textHandle) == exactResult);

  Regexp noCase(patternHandle, LetterCase::kIgnored);
  const bool noCaseResult = noCase.match(textHandle, captures);
  if (noCaseResult) checkCaptures(pattern, textHandle, captures, false);
  ZEM_FUZZ_CHECK(Regexp(toHandle(lower(pattern)), LetterCase::kSensitive).match(toHandle(lower(text))) == noCaseResult);

  if (isStarPattern(pattern) && text.find('\0') == std::string::npos) {
    ZEM_FUZZ_CHECK(exactResult == (fnmatch(pattern.c_str(), text.c_str(), 0) == 0));
  }
  return 0;
}
