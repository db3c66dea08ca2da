// Fuzz target of the path functions. The input is "<first>\n<second>" (no line feed: all first, empty second).
//   - catenatePath leaves its arguments untouched and returns their compacted join, at most first + separator +
//     second long;
//   - compactPath writes and reads nothing outside its argument's window, leaves a window inside it, NUL-terminated
//     in place when its end moved back, and is idempotent but for the current directory "./" (or ".\"), which
//     compacts to "";
//   - getDirectory, getFileName and getFileExtension are views inside their argument's window (or a new "./")
//     that take it apart as their names say;
//   - getFullPath is absolute, has no "." or ".." segment left, and is its own full path.
#include <zem_util/env.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;

bool isSeparator(char c) { return c == '/' || c == '\\'; }

const std::string& defaultDirectory() {
  static const std::string text = zem_util::getDirectory("").str();
  return text;
}

// Whether `part` is a window of `whole`'s block inside `whole`'s window.
bool isInside(const ArrayPtr<char>& part, const ArrayPtr<char>& whole) {
  return part.sharesBlockWith(whole) && part.offset() >= whole.offset() &&
         part.offset() + part.length() <= whole.offset() + whole.length();
}

// Compacts `path` between the neighbours `before` and `after` of one block (a block of its own when both are
// empty, so that any overrun is AddressSanitizer's), checks that nothing outside the window changed, and
// returns the text.
std::string compact(const std::string& path, std::string_view before = "", std::string_view after = "") {
  const std::string whole = std::string(before) + path + std::string(after);
  const ArrayPtr<char> block(whole);
  const auto start = static_cast<std::int32_t>(before.size()), end = start + static_cast<std::int32_t>(path.size());
  ArrayPtr<char> window = block.slice(start, end - start);
  zem_util::compactPath(window);
  ZEM_FUZZ_CHECK(isInside(window, block.slice(start, end - start)));
  ZEM_FUZZ_CHECK(block.view().substr(0, before.size()) == before && block.view().substr(end) == after);
  if (window.offset() + window.length() < end) ZEM_FUZZ_CHECK(block[window.offset() + window.length()] == '\0');
  return window.str();
}

// The two parts are windows of one block, neither of them NUL-terminated. catenatePath compacts their join in a
// block of its own, and the same join compacted between neighbours must agree with it. The neighbours are made
// of what compaction looks for, so that a read across an edge of the window would change the result; compacting
// costs the same whatever lies around, so the path's length picks one pair: every pair is in use all the time.
void checkCatenateAndCompactPath(std::string_view first, std::string_view second) {
  static const std::string_view kNeighbours[] = {"", "/../", "\\.\\", "..", "x/"};
  const std::string both = std::string(first) + std::string(second) + '#';
  const ArrayPtr<char> block(both);
  const auto firstLength = static_cast<std::int32_t>(first.size());
  const ArrayPtr<char> result = zem_util::catenatePath(
      block.slice(0, firstLength), block.slice(firstLength, static_cast<std::int32_t>(second.size())));
  ZEM_FUZZ_CHECK(block.view() == both && !result.sharesBlockWith(block));
  std::string joined = both.substr(0, both.size() - 1);
  if (!first.empty() && !second.empty() && !isSeparator(first.back()) && !isSeparator(second[0])) {
    joined.insert(first.size(), 1, defaultDirectory()[1]);
  }
  const std::string compacted = result.str();
  ZEM_FUZZ_CHECK(compacted.size() <= joined.size());
  const std::size_t i = joined.size() % 5;
  ZEM_FUZZ_CHECK(compact(joined, kNeighbours[i], kNeighbours[(i + 2) % 5]) == compacted);
  if (compacted == joined) return;  // compacting it again would be the very same call
  const bool isCurrentDirectory = compacted.size() == 2 && compacted[0] == '.' && isSeparator(compacted[1]);
  ZEM_FUZZ_CHECK(compact(compacted) == (isCurrentDirectory ? std::string() : compacted));
}

void checkViews(std::string_view path) {
  const ArrayPtr<char> whole{"<" + std::string(path) + "."};  // a dot past the end must not count
  const ArrayPtr<char> text = whole.slice(1, static_cast<std::int32_t>(path.size()));
  const std::size_t lastSeparator = path.find_last_of("/\\");
  const std::size_t componentStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  const std::string_view component = path.substr(componentStart);
  const auto componentOffset = text.offset() + static_cast<std::int32_t>(componentStart);

  const ArrayPtr<char> directory = zem_util::getDirectory(text);
  if (lastSeparator == std::string::npos) {
    ZEM_FUZZ_CHECK(directory.view() == defaultDirectory());
  } else {
    ZEM_FUZZ_CHECK(isInside(directory, text) && directory.offset() == text.offset());
    ZEM_FUZZ_CHECK(directory.offset() + directory.length() == componentOffset);
  }

  const ArrayPtr<char> name = zem_util::getFileName(text);
  ZEM_FUZZ_CHECK(isInside(name, text) && name.offset() == componentOffset);
  ZEM_FUZZ_CHECK(component.substr(0, name.size()) == name.view());
  if (name.size() < component.size()) ZEM_FUZZ_CHECK(component[name.size()] == '.');

  const ArrayPtr<char> extension = zem_util::getFileExtension(text);
  if (extension.length() > 0) {
    ZEM_FUZZ_CHECK(isInside(extension, text) &&
                   extension.offset() + extension.length() == text.offset() + text.length());
    const std::string_view ext = extension.view();
    ZEM_FUZZ_CHECK(ext[0] == '.' && ext.find_first_of("/\\.", 1) == std::string_view::npos);
  }
}

bool hasDotSegment(std::string_view path) {
  for (std::size_t start = 0, end = 0; end < path.size(); start = end + 1) {
    end = std::min(path.find_first_of("/\\", start), path.size());
    if (path.substr(start, end - start) == "." || path.substr(start, end - start) == "..") return true;
  }
  return false;
}

void checkFullPath(std::string_view path) {
  const ArrayPtr<char> full = zem_util::getFullPath(ArrayPtr<char>(path));
  if (path.empty() || path.find('\0') != std::string::npos) {
    ZEM_FUZZ_CHECK(full.length() == 0);
    return;
  }
  if (full.length() == 0) return;  // the system could not tell
  ZEM_FUZZ_CHECK(!zem_util::isRelativePath(full));
  ZEM_FUZZ_CHECK(!hasDotSegment(full.view()));
  ZEM_FUZZ_CHECK(zem_util::getFullPath(full) == full);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [first, second] = zem_util::fuzz::splitAtLineFeed(zem_util::fuzz::asText(data, size));
  checkCatenateAndCompactPath(first, second);
  checkViews(first);
  checkFullPath(first);
  return 0;
}
