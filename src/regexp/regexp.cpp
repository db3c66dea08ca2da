// Compilation of star patterns into literal segments, and the one-pass whole-text match.
#include "zem_util/regexp.h"

#include <cctype>
#include <cstring>
#include <utility>

namespace zem_util {

namespace {
using Segments = ArrayPtr<ArrayPtr<char>>;

constexpr char kStar = '*';

// The runtime's tolower on a byte: the cast keeps bytes above 0x7F out of the negative (undefined) range.
inline char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The runtime's tolower, asked once per distinct byte: a scan over a long text folds the same few bytes over and
// over, and each call goes through the runtime's locale. Lives for one search, so a locale change between two
// matches is seen.
class FoldCache {
 public:
  char operator()(char c) {
    const auto byte = static_cast<unsigned char>(c);
    std::uint64_t& word = known_[byte >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (byte & 63);
    if (!(word & bit)) {
      folded_[byte] = fold(c);
      word |= bit;
    }
    return folded_[byte];
  }

 private:
  std::uint64_t known_[4] = {};
  char folded_[256];
};

// Segments are mostly a few characters long: a loop beats a call to memcmp until they are not.
inline bool equalBytes(const char* a, const char* b, std::int32_t length) {
  if (length > 16) return std::memcmp(a, b, static_cast<std::size_t>(length)) == 0;
  for (std::int32_t i = 0; i < length; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The case-sensitive search of a segment whose first character is literal[0] and whose other `rest` follow it.
// Short gaps between candidates are stepped over here; longer ones go to memchr, which skips them many bytes at
// a time.
std::int32_t findExact(const char* text, std::int32_t from, std::int32_t lastStart, const char* literal,
                       std::int32_t rest) {
  const char first = literal[0];
  const char* const end = text + lastStart + 1;
  for (const char* p = text + from; p < end; ++p) {
    if (*p != first) {
      if (end - p <= 16) continue;
      p = static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(end - p)));
      if (!p) return -1;
    }
    if (equalBytes(p + 1, literal + 1, rest)) return static_cast<std::int32_t>(p - text);
  }
  return -1;
}

// A new array of `count` null texts; no array at all for none.
Segments newList(std::int32_t count) { return count > 0 ? Segments(count) : Segments(); }

// Whether tolower(text[i]) == pattern[i] for each i < length; `pattern` is already folded.
inline bool eqNoCase(const char* text, const char* pattern, std::int32_t length) {
  for (std::int32_t i = 0; i < length; ++i) {
    if (fold(text[i]) != pattern[i]) return false;
  }
  return true;
}

inline bool equals(bool caseSensitive, const char* text, const char* segment, std::int32_t length) {
  return caseSensitive ? equalBytes(text, segment, length) : eqNoCase(text, segment, length);
}

// The leftmost start in [from, lastStart] of `segment` in `text`, or -1. Each position is taken once as a
// candidate; the rest of the segment is compared only where the first character agrees.
inline std::int32_t findSegment(bool caseSensitive, const char* text, std::int32_t from, std::int32_t lastStart,
                                const ArrayPtr<char>& segment) {
  const char* literal = segment.toPtr();
  const std::int32_t rest = segment.length() - 1;
  if (caseSensitive) return findExact(text, from, lastStart, literal, rest);
  FoldCache folded;
  for (std::int32_t i = from; i <= lastStart; ++i) {
    if (folded(text[i]) == literal[0] && eqNoCase(text + i + 1, literal + 1, rest)) return i;
  }
  return -1;
}

// The middle segments, from `first` on, each at its leftmost place in [pos, last]:
// "*b*d*" on "abcbd", from 0 to 4 -> "b" at 1, then "d" at 4. `remaining` counts the characters of the middle
// segments still to place; a segment that starts after `last - remaining + 1` would leave too little room for
// them, so its search stops there.
inline bool matchMiddle(const Segments& segments, std::int32_t first, bool caseSensitive, const ArrayPtr<char>& text,
                        std::int32_t pos, std::int32_t last, std::int32_t remaining, Segments& captures) {
  for (std::int32_t index = first;; ++index) {
    const ArrayPtr<char>& segment = segments[index];
    const std::int32_t start = findSegment(caseSensitive, text.toPtr(), pos, last - remaining + 1, segment);
    if (start < 0) return false;
    captures[index].setSlice(text, start, segment.length());
    remaining -= segment.length();
    if (remaining == 0) return true;
    pos = start + segment.length();
  }
}
}  // namespace

Regexp::Regexp() = default;

Regexp::Regexp(const char* pattern, LetterCase letterCase) : Regexp(ArrayPtr<char>(pattern), letterCase) {}

Regexp::Regexp(ArrayPtr<char> pattern, LetterCase letterCase) { setPattern(pattern, letterCase); }

Regexp::Regexp(const char* pattern, bool caseSensitive) : Regexp(ArrayPtr<char>(pattern), caseSensitive) {}

Regexp::Regexp(ArrayPtr<char> pattern, bool caseSensitive) { setPattern(pattern, caseSensitive); }

Regexp::Regexp(const Regexp& other) = default;
Regexp& Regexp::operator=(const Regexp& other) = default;
Regexp::~Regexp() = default;

// "Ab**c*" (LetterCase::kIgnored) -> private copy "ab**c*", segments "ab" at 0 and "c" at 4, minLength 3,
// anchored at the start only. The new form is built aside and installed at the end, so a failed allocation
// leaves the previous pattern in place.
void Regexp::setPattern(ArrayPtr<char> pattern, bool caseSensitive) {
  setPattern(pattern, caseSensitive ? LetterCase::kSensitive : LetterCase::kIgnored);
}

void Regexp::setPattern(ArrayPtr<char> pattern, LetterCase letterCase) {
  const bool caseSensitive = letterCase == LetterCase::kSensitive;
  const std::int32_t n = pattern.length();
  if (n == 0) {
    isEmpty = true;
    segments = Segments();
    return;
  }
  const char* source = pattern.toPtr();
  ArrayPtr<char> copy(n);
  char* folded = copy.toPtr();
  std::int32_t stars = 0;
  std::int32_t count = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    if (source[i] == kStar) {
      folded[i] = kStar;
      ++stars;
    } else {
      folded[i] = caseSensitive ? source[i] : fold(source[i]);
      if (i == 0 || source[i - 1] == kStar) ++count;
    }
  }

  Segments compiled = newList(count);
  std::int32_t index = 0;
  for (std::int32_t i = 0; i < n;) {
    if (folded[i] == kStar) {
      ++i;
      continue;
    }
    std::int32_t end = i + 1;
    while (end < n && folded[end] != kStar) ++end;
    compiled[index++].setSlice(copy, i, end - i);
    i = end;
  }

  this->caseSensitive = caseSensitive;
  isEmpty = false;
  minLength = n - stars;
  anchoredStart = folded[0] != kStar;
  anchoredEnd = folded[n - 1] != kStar;
  segments = compiled;
  lastCaptures = Segments();
}

// A list of its own, so that no caller can overwrite the compiled segments by passing the list to `match`.
ArrayPtr<ArrayPtr<char>> Regexp::getSegments() const {
  Segments list = newList(segments.length());
  for (std::int32_t i = 0; i < segments.length(); ++i) list[i] = segments[i];
  return list;
}

bool Regexp::match(const ArrayPtr<char>& text) { return match(text, lastCaptures); }

bool Regexp::match(const ArrayPtr<char>& text, ArrayPtr<ArrayPtr<char>>& captures) {
  return std::as_const(*this).match(text, captures);
}

// The anchored segments are checked first, at their fixed places; the middle segments then go, in order, to
// their leftmost occurrence in what is left between them. For star patterns that is enough: if any placement
// of the middle segments works, the leftmost one does too, as it leaves the most room to the segments after it.
bool Regexp::match(const ArrayPtr<char>& text, ArrayPtr<ArrayPtr<char>>& captures) const {
  const std::int32_t segmentCount = segments.length();
  if (captures.length() != segmentCount) captures = newList(segmentCount);
  const std::int32_t n = text.length();
  if (isEmpty) return n == 0;
  if (minLength == 0) return true;  // stars only
  if (n < minLength) return false;  // also keeps the two anchored segments from overlapping

  const char* chars = text.toPtr();
  std::int32_t pos = 0;       // next text position open to a segment
  std::int32_t last = n - 1;  // last text position open to the middle segments
  std::int32_t remaining = minLength;
  if (anchoredStart) {
    const ArrayPtr<char>& first = segments[0];
    const std::int32_t length = first.length();
    if (!equals(caseSensitive, chars, first.toPtr(), length)) return false;
    captures[0].setSlice(text, 0, length);
    if (anchoredEnd && segmentCount == 1) return n == length;  // no star at all
    pos = length;
    remaining -= length;
  }
  if (anchoredEnd) {
    const ArrayPtr<char>& tail = segments[segmentCount - 1];
    const std::int32_t length = tail.length();
    if (!equals(caseSensitive, chars + n - length, tail.toPtr(), length)) return false;
    captures[segmentCount - 1].setSlice(text, n - length, length);
    last = n - length - 1;
    remaining -= length;
  }
  if (remaining == 0) return true;
  return matchMiddle(segments, anchoredStart ? 1 : 0, caseSensitive, text, pos, last, remaining, captures);
}

}  // namespace zem_util
