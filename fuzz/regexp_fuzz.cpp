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
using zem_util::fuzz::toHandle;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// After a true result of `match`, the captures spell the segments of `pattern`, in order, without overlap, at the
// ends of the text where the pattern has no star, and each middle segment at its leftmost place after the one
// before. Returns what is wrong, or nothing.
//   "a*b*c", "aXbYbZc", captures at 0, 2, 6 -> ""
std::string findCaptureFault(const std::string& pattern, const ArrayPtr<char>& text,
                             const ArrayPtr<ArrayPtr<char>>& captures, bool caseSensitive) {
  const std::string folded = caseSensitive ? pattern : lower(pattern);
  const std::string original = test_support::text(text);
  const std::string foldedText = caseSensitive ? original : lower(original);
  std::size_t next = 0;
  std::int32_t index = 0;
  for (std::size_t p = 0; p < folded.size();) {
    if (folded[p] == '*') {
      ++p;
      continue;
    }
    const std::size_t end = std::min(folded.find('*', p), folded.size());
    const std::string segment = folded.substr(p, end - p);
    if (index >= captures.length()) return "a segment without capture";
    const ArrayPtr<char>& capture = captures[index++];
    if (!capture.sharesBlockWith(text)) return "a capture that is not a slice of the text";
    const std::size_t at = static_cast<std::size_t>(capture.offset() - text.offset());
    if (capture.length() != static_cast<std::int32_t>(segment.size())) return "a capture of the wrong length";
    if (at < next) return "a capture that overlaps the one before";
    if (foldedText.compare(at, segment.size(), segment) != 0) return "a capture of the wrong characters";
    if (p == 0 && at != 0) return "a first segment not at the start";
    if (end == folded.size() && at + segment.size() != foldedText.size()) return "a last segment not at the end";
    if (p != 0 && end != folded.size() && foldedText.find(segment, next) != at) return "a segment not leftmost";
    next = at + segment.size();
    p = end;
  }
  return index == captures.length() ? std::string() : "more captures than segments";
}

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

  // fnmatch gives '?', '[' and '\\' meanings of their own, and stops at a NUL.
  const bool isStarPattern = pattern.find_first_of(std::string("?[\\\0", 4)) == std::string::npos;
  if (isStarPattern && text.find('\0') == std::string::npos) {
    ZEM_FUZZ_CHECK(exactResult == (fnmatch(pattern.c_str(), text.c_str(), 0) == 0));
  }
  return 0;
}
