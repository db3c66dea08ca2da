// What the captures of a successful match must satisfy, whatever the pattern and text: shared by the tests
// against fnmatch and the fuzz target.
#pragma once

#include <zem_util/regexp.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace test_support {

inline std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Whether fnmatch reads `pattern` as literals and stars only: it gives '?', '[' and '\\' meanings of their
// own, and stops at a NUL.
inline bool isStarPattern(const std::string& pattern) {
  return pattern.find_first_of(std::string("?[\\\0", 4)) == std::string::npos;
}

// After a true result of `match`, the captures spell the segments of `pattern`, in order, without overlap, at the
// ends of the text where the pattern has no star, and each middle segment at its leftmost place after the one
// before. Returns what is wrong, or an empty text.
//   "a*b*c", "aXbYbZc", captures at 0, 2, 6 -> ""
inline std::string findCaptureFault(const std::string& pattern, const zem_util::ArrayPtr<char>& text,
                                    const zem_util::ArrayPtr<zem_util::ArrayPtr<char>>& captures, bool caseSensitive) {
  const std::string_view original(text.toPtr() ? text.toPtr() : "", static_cast<std::size_t>(text.length()));
  const std::string loweredPattern = caseSensitive ? std::string() : lower(pattern);
  const std::string loweredText = caseSensitive ? std::string() : lower(std::string(original));
  const std::string_view folded = caseSensitive ? std::string_view(pattern) : loweredPattern;
  const std::string_view foldedText = caseSensitive ? original : loweredText;
  std::size_t next = 0;
  std::int32_t index = 0;
  for (std::size_t p = 0; p < folded.size();) {
    if (folded[p] == '*') {
      ++p;
      continue;
    }
    const std::size_t end = std::min(folded.find('*', p), folded.size());
    const std::string_view segment = folded.substr(p, end - p);
    const auto fault = [&](const char* what) {
      return "segment " + std::to_string(index) + " '" + std::string(segment) + "': " + what;
    };
    if (index >= captures.length()) return fault("no capture");
    const zem_util::ArrayPtr<char>& capture = captures[index];
    if (!capture.sharesBlockWith(text)) return fault("not a slice of the text");
    const std::size_t at = static_cast<std::size_t>(capture.offset() - text.offset());
    if (capture.length() != static_cast<std::int32_t>(segment.size())) return fault("wrong length");
    if (at < next) return fault("overlaps the segment before");
    if (foldedText.compare(at, segment.size(), segment) != 0) return fault("wrong characters");
    if (p == 0 && at != 0) return fault("not at the start");
    if (end == folded.size() && at + segment.size() != foldedText.size()) return fault("not at the end");
    if (p != 0 && end != folded.size() && foldedText.find(segment, next) != at) return fault("not leftmost");
    ++index;
    next = at + segment.size();
    p = end;
  }
  return index == captures.length() ? std::string() : "more captures than segments";
}

}  // namespace test_support
