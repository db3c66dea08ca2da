// Whole-text wildcard matching in which the star is the only special character.
//
//   using zem_util::LetterCase;
//   zem_util::Regexp logs("trace_*_2009*.txt", LetterCase::kSensitive);
//   logs.match("trace_net_20091204.txt");     // true
//   logs.match("trace_net_2008.txt");         // false: the whole text must match
//
//   zem_util::Regexp errors("*ERROR*", LetterCase::kIgnored);
//   zem_util::ArrayPtr<zem_util::ArrayPtr<char>> found;
//   errors.match("disk error 5", found);       // true; found[0] is "error", a slice of the text at offset 5
//
// A star stands for any run of characters, the empty one included; every other character stands for itself.
// There is no escape: a pattern cannot ask for a literal star. "**" acts as "*", and the empty pattern matches
// only the empty text.
//
// The pattern is compiled once into its literal segments (the runs between stars); `match` then decides in one
// left-to-right pass, without backtracking, and reports where each segment stood in the text.
//
// Letter case: a pattern compiled with LetterCase::kIgnored is folded to lower case by the C runtime's `tolower`
// (the current locale decides which bytes fold beyond A-Z), and each text byte is folded the same way when
// compared.
//
// Threads: a `Regexp` takes no lock. `setPattern` and the one-argument `match` write into the object, and copies
// share their internal arrays, so a `Regexp` and its copies are used by one thread at a time for those. The
// two-argument `match` writes only into the caller's array: several threads may call it on one object at once,
// each with an array of its own, as long as nobody calls `setPattern`.
#pragma once

#include <cstdint>

#include "zem_util/core.h"
#include "zem_util/export.h"

namespace zem_util {

// Whether a pattern's letters must match the text's in case.
enum class LetterCase {
  kSensitive,  // characters are compared as they are
  kIgnored,    // letters are compared without regard to case
};

class ZEM_UTIL_EXPORT Regexp {
 public:
  // The empty pattern: matches only the empty text.
  Regexp();
  // Compile `pattern` as `setPattern` does; a null pointer or handle gives the empty pattern.
  Regexp(const char* pattern, LetterCase letterCase);
  Regexp(ArrayPtr<char> pattern, LetterCase letterCase);
  // The same by flag: true is LetterCase::kSensitive, false LetterCase::kIgnored.
  Regexp(const char* pattern, bool caseSensitive);
  Regexp(ArrayPtr<char> pattern, bool caseSensitive);

  // A copy shares the compiled segments and the internal capture array with its source (no characters are
  // copied); `setPattern` on either side installs new arrays and leaves the other untouched.
  Regexp(const Regexp& other);
  Regexp& operator=(const Regexp& other);
  ~Regexp();

  // Compiles `pattern`, replacing the previous one. Every text compiles. The pattern's characters are copied
  // (folded to lower case for LetterCase::kIgnored), so the caller may change `pattern` afterwards.
  // The empty pattern keeps the previous case mode, which it never consults.
  //   "a**b*" -> segments "a", "b"; anchored at the start, not at the end
  void setPattern(ArrayPtr<char> pattern, LetterCase letterCase);
  // The same by flag: true is LetterCase::kSensitive, false LetterCase::kIgnored.
  void setPattern(ArrayPtr<char> pattern, bool caseSensitive);

  // Whether the whole of `text` matches. `captures` gets one element per segment, in pattern order: after a true
  // result, element i is the slice of `text` (same block, the text's own case) where segment i stands, so its
  // `offset() - text.offset()` is the position in the text. An array that already has one element per segment
  // is overwritten in place (whoever shares it sees the new elements); one of any other size is replaced by a
  // new array, made null when the pattern has no segments. After a false result the elements mean nothing (some
  // may hold placements found before the mismatch).
  //   "a*b*c" on "aXbYbZc" -> true; "a" at 0, "b" at 2 (the leftmost), "c" at 6
  // Allocates nothing unless `captures` has the wrong size.
  bool match(const ArrayPtr<char>& text, ArrayPtr<ArrayPtr<char>>& captures);
  // The same on a const object, with the same result and captures: it reads the compiled pattern and writes
  // only `captures`. Any number of threads may call it on one object at once, each with an array of its own,
  // while nobody calls `setPattern` or assigns the object.
  bool match(const ArrayPtr<char>& text, ArrayPtr<ArrayPtr<char>>& captures) const;
  // The same, keeping the captures inside the object (they are not handed out).
  bool match(const ArrayPtr<char>& text);

  // A new list of the compiled literal segments, in pattern order, folded to lower case for LetterCase::kIgnored. Each
  // is a slice of one private copy of the pattern that this object and its copies share: read the characters, never
  // write them. Null for the empty pattern and for a pattern of stars only.
  //   "**Ab*c" (LetterCase::kIgnored) -> "ab", "c"
  ArrayPtr<ArrayPtr<char>> getSegments() const;

 private:
  bool caseSensitive = true;
  bool isEmpty = true;         // the empty pattern; nothing below is consulted while it is set
  std::int32_t minLength = 0;  // characters that are not stars: the least length of a matching text
  bool anchoredStart = false;  // no leading star: the first segment stands at the start of the text
  bool anchoredEnd = false;    // no trailing star: the last segment stands at the end of the text
  ArrayPtr<ArrayPtr<char>> segments;
  ArrayPtr<ArrayPtr<char>> lastCaptures;  // the one-argument `match` writes here
};

}  // namespace zem_util
