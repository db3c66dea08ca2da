// Fuzz target of the path functions. The input is "<first>\n<second>" (no line feed: all first, empty second).
// Checked whatever the input:
//   - catenatePath leaves its arguments untouched and returns the compacted join, at most first + separator +
//     second characters long;
//   - compactPath, on that join (the first part itself when there is no second), writes nothing outside its
//     argument's window and reads nothing outside it either (the join compacted between neighbours gives the
//     same text as in a block of its own); the result is a window inside the old one, never longer,
//     NUL-terminated in place when its end moved back; compacting it again changes nothing, except that the
//     current directory "./" (or ".\") compacts to "";
//   - getDirectory, getFileName and getFileExtension return views inside their argument's window (or a new "./",
//     or nothing) that take it apart as their names say;
//   - getFullPath is absolute, has no "." or ".." segment left, and is its own full path.
#include <zem_util/env.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::fuzz::toHandle;
using zem_util::fuzz::view;

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Neighbours made of the characters compaction looks for, so that a read across an edge of the window would
// change the result.
const char* const kNeighbours[] = {"", "/../", "\\.\\", "..", "x/"};
constexpr std::size_t kNeighbourKinds = sizeof kNeighbours / sizeof kNeighbours[0];

const std::string& defaultDirectory() {
  static const std::string text = test_support::text(zem_util::getDirectory(""));
  return text;
}

// Whether `part` is a window of `whole`'s block inside `whole`'s window.
bool isInside(const ArrayPtr<char>& part, const ArrayPtr<char>& whole) {
  return part.sharesBlockWith(whole) && part.offset() >= whole.offset() &&
         part.offset() + part.length() <= whole.offset() + whole.length();
}

// Compacts `path` between the neighbours `before` and `after` of one block, and returns the text.
std::string compactBetween(const std::string& path, const std::string& before, const std::string& after) {
  const std::string whole = before + path + after;
  const ArrayPtr<char> block = toHandle(whole);
  const int start = static_cast<int>(before.size());
  const int end = start + static_cast<int>(path.size());
  ArrayPtr<char> window = block.slice(start, static_cast<int>(path.size()));
  zem_util::compactPath(window);
  ZEM_FUZZ_CHECK(isInside(window, block.slice(start, static_cast<int>(path.size()))));
  const std::string_view now = view(block);
  ZEM_FUZZ_CHECK(now.compare(0, before.size(), before) == 0);
  ZEM_FUZZ_CHECK(now.compare(static_cast<std::size_t>(end), after.size(), after) == 0);
  const int newEnd = window.offset() + window.length();
  if (newEnd < end) ZEM_FUZZ_CHECK(block[newEnd] == '\0');
  return std::string(view(window));
}

std::string compact(const std::string& path) {
  ArrayPtr<char> text = toHandle(path);  // a block of its own: any overrun is AddressSanitizer's
  zem_util::compactPath(text);
  return std::string(view(text));
}

// Compacting costs the same whatever lies around the path, so each input compacts between one pair of
// neighbours, chosen by the path's length: every pair is in use all the time, at a fifth of the cost.
std::string compactBetweenNeighbours(const std::string& path) {
  const std::size_t i = path.size() % kNeighbourKinds;
  return compactBetween(path, kNeighbours[i], kNeighbours[(i + 2) % kNeighbourKinds]);
}

// The two parts are windows of one block, neither of them NUL-terminated. catenatePath compacts their join in a
// block of its own, and the same join compacted between neighbours must agree with it.
void checkCatenateAndCompactPath(const std::string& first, const std::string& second) {
  const std::string both = first + second + '#';
  const ArrayPtr<char> block = toHandle(both);
  const ArrayPtr<char> firstPart = block.slice(0, static_cast<int>(first.size()));
  const ArrayPtr<char> secondPart = block.slice(static_cast<int>(first.size()), static_cast<int>(second.size()));
  const ArrayPtr<char> result = zem_util::catenatePath(firstPart, secondPart);
  ZEM_FUZZ_CHECK(test_support::text(block) == both);
  ZEM_FUZZ_CHECK(!result.sharesBlockWith(block));
  std::string joined = first + second;
  if (!first.empty() && !second.empty() && !isSeparator(first.back()) && !isSeparator(second[0])) {
    joined = first + defaultDirectory()[1] + second;
  }
  const std::string compacted(view(result));
  ZEM_FUZZ_CHECK(compacted.size() <= joined.size());
  ZEM_FUZZ_CHECK(compactBetweenNeighbours(joined) == compacted);
  if (compacted == joined) return;  // compacting it again would be the very same call
  const bool isCurrentDirectory = compacted.size() == 2 && compacted[0] == '.' && isSeparator(compacted[1]);
  ZEM_FUZZ_CHECK(compact(compacted) == (isCurrentDirectory ? std::string() : compacted));
}

void checkViews(const std::string& path) {
  const ArrayPtr<char> whole = toHandle("<" + path + ".");  // a dot past the end must not count
  const ArrayPtr<char> text = whole.slice(1, static_cast<int>(path.size()));
  const std::size_t lastSeparator = path.find_last_of("/\\");
  const std::size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  const std::string_view component = std::string_view(path).substr(componentStart);

  const ArrayPtr<char> directory = zem_util::getDirectory(text);
  if (lastSeparator == std::string::npos) {
    ZEM_FUZZ_CHECK(test_support::text(directory) == defaultDirectory());
  } else {
    ZEM_FUZZ_CHECK(isInside(directory, text) && directory.offset() == text.offset());
    ZEM_FUZZ_CHECK(directory.length() == static_cast<int>(componentStart));
  }

  const ArrayPtr<char> name = zem_util::getFileName(text);
  ZEM_FUZZ_CHECK(isInside(name, text));
  ZEM_FUZZ_CHECK(name.offset() == text.offset() + static_cast<int>(componentStart));
  ZEM_FUZZ_CHECK(component.compare(0, static_cast<std::size_t>(name.length()), view(name)) == 0);
  if (name.length() < static_cast<int>(component.size())) ZEM_FUZZ_CHECK(component[name.length()] == '.');

  const ArrayPtr<char> extension = zem_util::getFileExtension(text);
  if (extension.length() > 0) {
    ZEM_FUZZ_CHECK(isInside(extension, text) &&
                   extension.offset() + extension.length() == text.offset() + text.length());
    const std::string_view ext = view(extension);
    ZEM_FUZZ_CHECK(ext[0] == '.' && ext.find_first_of("/\\") == std::string_view::npos);
    ZEM_FUZZ_CHECK(ext.find('.', 1) == std::string_view::npos);
  }
}

bool hasDotSegment(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i])) continue;
    const std::string_view segment = path.substr(start, i - start);
    if (segment == "." || segment == "..") return true;
    start = i + 1;
  }
  return false;
}

void checkFullPath(const std::string& path) {
  const ArrayPtr<char> full = zem_util::getFullPath(toHandle(path));
  if (path.empty() || path.find('\0') != std::string::npos) {
    ZEM_FUZZ_CHECK(full.length() == 0);
    return;
  }
  if (full.length() == 0) return;  // the system could not tell
  ZEM_FUZZ_CHECK(!zem_util::isRelativePath(full));
  ZEM_FUZZ_CHECK(!hasDotSegment(view(full)));
  ZEM_FUZZ_CHECK(zem_util::getFullPath(full) == full);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [first, second] = zem_util::fuzz::splitAtLineFeed(data, size);
  checkCatenateAndCompactPath(first, second);
  checkViews(first);
  checkFullPath(first);
  return 0;
}
