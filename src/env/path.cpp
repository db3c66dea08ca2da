// Taking paths apart, joining and compacting them, and the system's view of them.
#include <cstring>
#include <string>

#include "env/system_text.h"
#include "os/files.h"
#include "zem_util/env.h"

namespace zem_util {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// "./" on POSIX, ".\" on Windows.
ArrayPtr<char> newDefaultDirectory() {
  const char text[] = {'.', os::kNativeSeparator};
  return ArrayPtr<char>(text, 0, 2);
}

// The characters of a path being compacted: a window that may start later, end sooner, and close up gaps.
struct PathWindow {
  char* text;
  int length;

  bool isSeparatorAt(int i) const { return isSeparator(text[i]); }
  bool isDotAt(int i) const { return text[i] == '.'; }
  // Separator, two dots, separator at i: "/../".
  bool isParentAt(int i) const { return isSeparatorAt(i) && isDotAt(i + 1) && isDotAt(i + 2) && isSeparatorAt(i + 3); }
  // The characters from begin to end (exclusive) are "..".
  bool isDotDot(int begin, int end) const { return end - begin == 2 && isDotAt(begin) && isDotAt(begin + 1); }
  // Index of the nearest separator before i, or -1.
  int findSeparatorBefore(int i) const {
    while (--i >= 0 && !isSeparatorAt(i)) {
    }
    return i;
  }

  void skip(int count) {
    text += count;
    length -= count;
  }
};

// "a/." -> "a/"
void dropTrailingCurrentDirectory(PathWindow& path) {
  if (path.isSeparatorAt(path.length - 2) && path.isDotAt(path.length - 1)) --path.length;
}

// "././/a" -> "a", "./" -> "": only the start moves.
void skipLeadingCurrentDirectories(PathWindow& path) {
  while (path.length >= 2 && path.isDotAt(0) && path.isSeparatorAt(1)) {
    path.skip(2);
    while (path.length > 0 && path.isSeparatorAt(0)) path.skip(1);
  }
}

// The three passes below each make one sweep: `read` walks the path, kept characters are copied down to
// `write`, and what the pass removes is simply not copied. The path's first `write` characters are then the
// text the pass has produced so far, and the rest from `read` on is still to come.

// "a/././b" -> "a/b", "/./a" -> "/a"; a final "/./" stays: "a/./" is unchanged.
void removeInnerCurrentDirectories(PathWindow& path) {
  char* const text = path.text;
  const int length = path.length;
  int write = 0;
  for (int read = 0; read < length;) {
    const bool afterSeparator = write > 0 && isSeparator(text[write - 1]);
    if (afterSeparator && read + 2 < length && text[read] == '.' && isSeparator(text[read + 1])) {
      read += 2;
    } else {
      text[write++] = text[read++];
    }
  }
  path.length = write;
}

// "C:/dir///file" -> "C:/dir/file", "//a" -> "/a"; a run starting at the second-to-last character stays: "a//".
void collapseSeparatorRuns(PathWindow& path) {
  char* const text = path.text;
  const int length = path.length;
  int write = 0;
  for (int read = 0; read < length;) {
    const bool runMayShrink = isSeparator(text[read]) && read < length - 2;
    text[write++] = text[read++];
    if (runMayShrink) {
      while (read < length && isSeparator(text[read])) ++read;
    }
  }
  path.length = write;
}

// "C:/a/b/c/../../../d" -> "C:/d", "/abc/../def" -> "/def". A first segment without a separator before it
// ("abc/../def"), a ".." segment ("../../x") and a "/../" that ends the path stay. After a cancellation the
// separator before the cancelled segment is looked at again, so chains of ".." cancel one after the other.
void cancelInnerParentDirectories(PathWindow& path) {
  char* const text = path.text;
  const int length = path.length;
  int write = 0;
  for (int read = 0; read < length;) {
    const bool afterSeparator = write > 0 && isSeparator(text[write - 1]);
    if (afterSeparator && read + 3 < length && text[read] == '.' && text[read + 1] == '.' &&
        isSeparator(text[read + 2])) {
      const int before = path.findSeparatorBefore(write - 1);
      if (before >= 0 && !path.isDotDot(before + 1, write - 1)) {
        write = before + 1;
        read += 3;
        continue;
      }
    }
    text[write++] = text[read++];
  }
  path.length = write;
}

// "C:/a/b/.." -> "C:/a/", "a/b/.." -> "a/"; "C:/..", "abc/.." and "../.." stay.
void cutTrailingParentDirectory(PathWindow& path) {
  const int dots = path.length - 3;
  if (path.length <= 4 || !path.isSeparatorAt(dots) || !path.isDotAt(dots + 1) || !path.isDotAt(dots + 2)) return;
  const int before = path.findSeparatorBefore(dots);
  if (before >= 0 && !path.isDotDot(before + 1, dots)) path.length = before + 1;
}

// The first segment of a relative path, cancelled by the "../" right after it: "abc/../" -> "./" (the default
// directory), "abc/../def" -> "def", "x/../../y" -> "../y". Rooted paths ("/a", "C:/a") and a first segment
// ".." stay. What is left may start the same way again, with a "../" that the inner pass left alone because
// it ends the path: "a/../b/../" -> "b/../" -> "./".
void cancelFirstSegment(PathWindow& path) {
  while (path.length > 4 && !path.isSeparatorAt(0) && !(path.text[1] == ':' && path.isSeparatorAt(2))) {
    int first = 0;
    while (first < path.length && !path.isSeparatorAt(first)) ++first;
    if (first + 3 >= path.length || path.isDotDot(0, first) || !path.isParentAt(first)) return;
    if (first + 4 == path.length) {
      path.text[0] = '.';
      path.text[1] = os::kNativeSeparator;
      path.length = 2;
      return;
    }
    path.skip(first + 4);
  }
}

// A new text: a, then the separator when it is not NUL, then b.
ArrayPtr<char> join(const ArrayPtr<char>& a, char separator, const ArrayPtr<char>& b) {
  const int middle = separator != '\0' ? 1 : 0;
  ArrayPtr<char> result(a.length() + middle + b.length());
  std::memcpy(result.toPtr(), a.toPtr(), static_cast<std::size_t>(a.length()));
  if (middle != 0) result[a.length()] = separator;
  std::memcpy(result.toPtr() + a.length() + middle, b.toPtr(), static_cast<std::size_t>(b.length()));
  return result;
}

}  // namespace

bool isRelativePath(const ArrayPtr<char>& path) {
  const int n = path.length();
  if (n == 0) return true;
  if (isSeparator(path[0])) return false;
  if (n < 3 || path[1] != ':') return true;
  return !isSeparator(path[2]);
}

ArrayPtr<char> getDirectory(const ArrayPtr<char>& path) {
  for (int i = path.length() - 1; i >= 0; --i) {
    if (isSeparator(path[i])) return path.slice(0, i + 1);
  }
  return newDefaultDirectory();
}

ArrayPtr<char> getFileName(const ArrayPtr<char>& path) {
  int end = path.length();
  for (int i = path.length() - 1; i >= 0; --i) {
    if (isSeparator(path[i])) return path.slice(i + 1, end - (i + 1));
    if (path[i] == '.' && end == path.length()) end = i;
  }
  return path.slice(0, end);
}

ArrayPtr<char> getFileExtension(const ArrayPtr<char>& path) {
  const int n = path.length();
  if (n <= 1) return ArrayPtr<char>();
  int dot = n - 1;
  while (dot >= 0 && path[dot] != '.') {
    if (isSeparator(path[dot])) return ArrayPtr<char>();
    --dot;
  }
  if (dot < 0) return ArrayPtr<char>();
  if (dot < n - 1) return path.slice(dot, n - dot);
  // The path ends with a dot: "name." -> ".", "dir/." and ".." and "dir/.." -> nothing.
  const char before = path[n - 2];
  if (isSeparator(before)) return ArrayPtr<char>();
  if (before == '.' && (n == 2 || isSeparator(path[n - 3]))) return ArrayPtr<char>();
  return path.slice(n - 1, 1);
}

void compactPath(ArrayPtr<char>& path) {
  if (path.length() < 2) return;
  char* const start = path.toPtr();
  const char* const end = start + path.length();
  PathWindow window{start, path.length()};
  dropTrailingCurrentDirectory(window);
  skipLeadingCurrentDirectories(window);
  removeInnerCurrentDirectories(window);
  collapseSeparatorRuns(window);
  cancelInnerParentDirectories(window);
  cutTrailingParentDirectory(window);
  cancelFirstSegment(window);
  // Keeps the text NUL-terminated in place, writing only inside the window the caller handed in.
  if (window.text + window.length < end) window.text[window.length] = '\0';
  path = path.slice(static_cast<int>(window.text - start), window.length);
}

ArrayPtr<char> catenatePath(const ArrayPtr<char>& first, const ArrayPtr<char>& second) {
  ArrayPtr<char> result;
  if (first.length() == 0) {
    result = ArrayPtr<char>(second.toPtr(), 0, second.length());
  } else if (second.length() == 0) {
    result = ArrayPtr<char>(first.toPtr(), 0, first.length());
  } else if (!isSeparator(first[first.length() - 1]) && !isSeparator(second[0])) {
    result = join(first, os::kNativeSeparator, second);
  } else {
    result = join(first, '\0', second);
  }
  compactPath(result);
  return result;
}

ArrayPtr<char> getFullPath(const ArrayPtr<char>& path) {
  std::string text, full;
  if (!detail::toSystemText(path, &text) || !os::getFullPath(text.c_str(), &full)) return ArrayPtr<char>();
  return detail::newText(full);
}

bool isFileReadable(const ArrayPtr<char>& path) {
  std::string text;
  return path.length() > 0 && detail::toSystemText(path, &text) && os::isFileReadable(text.c_str());
}

ArrayPtr<char> getCurrentDirectory() {
  std::string directory;
  if (!os::getCurrentDirectory(&directory) || directory.empty()) return newDefaultDirectory();
  if (!isSeparator(directory.back())) directory.push_back(os::kNativeSeparator);
  return detail::newText(directory);
}

}  // namespace zem_util
