// Fuzz target of the path functions. The input is "<first>\n<second>" (no line feed: all first, empty second).
// Checked whatever the input:
//   - compactPath writes nothing outside its argument's window and reads nothing outside it either (the same
//     path between other neighbours compacts to the same text); the result is a window inside the old one, never
//     longer, NUL-terminated in place when its end moved back; compacting it again changes nothing, except that
//     the current directory "./" (or ".\") compacts to "";
//   - catenatePath leaves its arguments untouched and returns the compacted join, at most first + separator +
//     second characters long;
//   - getDirectory, getFileName and getFileExtension return views inside their argument's window (or a new "./",
//     or nothing) that take it apart as their names say;
//   - getFullPath is absolute, has no "." or ".." segment left, and is its own full path.
#include <zem_util/env.h>

#include <cstdint>
#include <string>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::fuzz::toHandle;

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Neighbours made of the characters compaction looks for, so that a read across an edge of the window would
// change the result.
const char* const kNeighbours[] = {"", "/../", "\\.\\", "..", "x/"};
constexpr int kNeighbourKinds = sizeof kNeighbours / sizeof kNeighbours[0];

const std::string& defaultDirectory() {
  static const std::string text = test_support::text(zem_util::getDirectory(""));
  return text;
}

// Whether `view` is a window of `whole`'s block inside `whole`'s window.
bool isInside(const ArrayPtr<char>& view, const ArrayPtr<char>& whole) {
  return view.sharesBlockWith(whole) && view.offset() >= whole.offset() &&
         view.offset() + view.length() <= whole.offset() + whole.length();
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
  const std::string now = test_support::text(block);
  ZEM_FUZZ_CHECK(now.compare(0, before.size(), before) == 0);
  ZEM_FUZZ_CHECK(now.compare(static_cast<std::size_t>(end), after.size(), after) == 0);
  const int newEnd = window.offset() + window.length();
  if (newEnd < end) ZEM_FUZZ_CHECK(block[newEnd] == '\0');
  return test_support::text(window);
}

std::string compact(const std::string& path) {
  ArrayPtr<char> text = toHandle(path);  // a block of its own: any overrun is AddressSanitizer's
  zem_util::compactPath(text);
  return test_support::text(text);
}

void checkCompactPath(const std::string& path) {
  const std::string result = compact(path);
  ZEM_FUZZ_CHECK(result.size() <= path.size());
  for (int i = 0; i < kNeighbourKinds; ++i) {
    ZEM_FUZZ_CHECK(compactBetween(path, kNeighbours[i], kNeighbours[(i + 2) % kNeighbourKinds]) == result);
  }
  const bool isCurrentDirectory = result.size() == 2 && result[0] == '.' && isSeparator(result[1]);
  ZEM_FUZZ_CHECK(compact(result) == (isCurrentDirectory ? std::string() : result));
}

// The two parts are windows of one block, neither of them NUL-terminated.
void checkCatenatePath(const std::string& first, const std::string& second) {
  const std::string both = first + second + '#';
  const ArrayPtr<char> block = toHandle(both);
  const ArrayPtr<char> firstPart = block.slice(0, static_cast<int>(first.size()));
  const ArrayPtr<char> secondPart = block.slice(static_cast<int>(first.size()), static_cast<int>(second.size()));
  const ArrayPtr<char> result = zem_util::catenatePath(firstPart, secondPart);
  ZEM_FUZZ_CHECK(test_support::text(block) == both);
  ZEM_FUZZ_CHECK(!result.sharesBlockWith(block));
  ZEM_FUZZ_CHECK(result.length() <= block.length());  // the '#' stands for the separator
  std::string joined = first + second;
  if (!first.empty() && !second.empty() && !isSeparator(first.back()) && !isSeparator(second[0])) {
    joined = first + defaultDirectory()[1] + second;
  }
  ZEM_FUZZ_CHECK(test_support::text(result) == compact(joined));
}

void checkViews(const std::string& path) {
  const ArrayPtr<char> whole = toHandle("<" + path + ".");  // a dot past the end must not count
  const ArrayPtr<char> text = whole.slice(1, static_cast<int>(path.size()));
  const std::size_t lastSeparator = path.find_last_of("/\\");
  const std::size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  const std::string component = path.substr(componentStart);

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
  ZEM_FUZZ_CHECK(component.compare(0, static_cast<std::size_t>(name.length()), test_support::text(name)) == 0);
  if (name.length() < static_cast<int>(component.size())) ZEM_FUZZ_CHECK(component[name.length()] == '.');

  const ArrayPtr<char> extension = zem_util::getFileExtension(text);
  if (extension.length() > 0) {
    ZEM_FUZZ_CHECK(isInside(extension, text) &&
                   extension.offset() + extension.length() == text.offset() + text.length());
    const std::string ext = test_support::text(extension);
    ZEM_FUZZ_CHECK(ext[0] == '.' && ext.find_first_of("/\\") == std::string::npos);
    ZEM_FUZZ_CHECK(ext.find('.', 1) == std::string::npos);
  }
}

bool hasDotSegment(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !isSeparator(path[i])) continue;
    const std::string segment = path.substr(start, i - start);
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
  ZEM_FUZZ_CHECK(!hasDotSegment(test_support::text(full)));
  ZEM_FUZZ_CHECK(zem_util::getFullPath(full) == full);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [first, second] = zem_util::fuzz::splitAtLineFeed(data, size);
  checkCompactPath(first);
  checkCompactPath(second);
  checkCatenatePath(first, second);
  checkViews(first);
  checkFullPath(first);
  return 0;
}
