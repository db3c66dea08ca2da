// Fuzz target of Regexp. The input is "<pattern>\n<text>" (no line feed: all pattern, empty text). Each input
// is matched in both case modes and checked against what must hold whatever the input:
//   - after a true result the captures spell the segments, in order, without overlap, anchored where the
//     pattern has no star at its ends, each middle one at its leftmost place;
//   - ignoring case is the same as matching the lower-case pattern on the lower-case text;
//   - for patterns of literals and stars, and texts without NUL, the answer is fnmatch's (flags 0).
#include <fnmatch.h>
#include <zem_util/regexp.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::LetterCase;
using zem_util::Regexp;

// After a true result: the captures are slices of `handle`, whose characters `text` holds (folded when case is
// ignored, like `pattern`), and spell the segments as the file's comment says.
//   "a*b*c", "aXbYbZc" -> captures at 0, 2, 6
void checkCaptures(std::string_view pattern, std::string_view text, const ArrayPtr<char>& handle,
                   const ArrayPtr<ArrayPtr<char>>& captures) {
  std::size_t next = 0;
  std::int32_t index = 0;
  for (std::size_t p = 0; p < pattern.size();) {
    if (pattern[p] == '*') {
      ++p;
      continue;
    }
    const std::size_t end = std::min(pattern.find('*', p), pattern.size());
    const std::string_view segment = pattern.substr(p, end - p);
    ZEM_FUZZ_CHECK(index < captures.length());
    const ArrayPtr<char>& capture = captures[index++];
    ZEM_FUZZ_CHECK(capture.sharesBlockWith(handle) && capture.size() == segment.size());
    const auto at = static_cast<std::size_t>(capture.offset() - handle.offset());
    ZEM_FUZZ_CHECK(at >= next && at + segment.size() <= text.size() && text.substr(at, segment.size()) == segment);
    ZEM_FUZZ_CHECK(p != 0 || at == 0);
    ZEM_FUZZ_CHECK(end != pattern.size() || at + segment.size() == text.size());
    ZEM_FUZZ_CHECK(p == 0 || end == pattern.size() || text.find(segment, next) == at);
    next = at + segment.size();
    p = end;
  }
  ZEM_FUZZ_CHECK(index == captures.length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = zem_util::fuzz::asText(data, size);
  const auto [pattern, text] = zem_util::fuzz::splitAtLineFeed(input);
  std::string lower(input);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Pattern and text are slices of one block, as texts cut from a larger one often are; so are their lower-case
  // forms.
  const ArrayPtr<char> whole(input), lowerWhole{std::string_view(lower)};
  const auto at = static_cast<std::int32_t>(text.data() - input.data());
  const auto patternLength = static_cast<std::int32_t>(pattern.size()),
             textLength = static_cast<std::int32_t>(text.size());
  const ArrayPtr<char> textHandle = whole.slice(at, textLength), lowerPattern = lowerWhole.slice(0, patternLength);

  ArrayPtr<ArrayPtr<char>> captures;
  Regexp exact(whole.slice(0, patternLength), LetterCase::kSensitive);
  const bool exactResult = exact.match(textHandle, captures);
  if (exactResult) checkCaptures(pattern, text, textHandle, captures);
  ZEM_FUZZ_CHECK(exact.match(textHandle) == exactResult);

  const bool noCaseResult = Regexp(whole.slice(0, patternLength), LetterCase::kIgnored).match(textHandle, captures);
  if (noCaseResult) checkCaptures(lowerPattern.view(), std::string_view(lower).substr(at), textHandle, captures);
  ZEM_FUZZ_CHECK(Regexp(lowerPattern, LetterCase::kSensitive).match(lowerWhole.slice(at, textLength)) == noCaseResult);

  // fnmatch gives '?', '[' and '\\' meanings of their own, and stops at a NUL.
  if (pattern.find_first_of(std::string_view("?[\\\0", 4)) == std::string_view::npos &&
      text.find('\0') == std::string_view::npos) {
    std::string terminated(input);  // pattern and text, each followed by a NUL
    terminated[pattern.size()] = '\0';
    ZEM_FUZZ_CHECK(exactResult == (fnmatch(terminated.c_str(), terminated.c_str() + at, 0) == 0));
  }
  return 0;
}
