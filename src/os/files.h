// Platform layer, files: paths as the system sees them, file status, directories, and append streams.
//
// Paths may use "/" or "\" on every platform (the POSIX back end reads "\" as "/"); `kNativeSeparator` is the
// one the library adds. No function limits the length of a path: a text the system cannot take simply fails.
//
//   os::makeDirectories("/var/log/app/");  // mkdir /var, /var/log, /var/log/app; failures ignored
//   if (os::AppendStream* log = os::openAppendStream("/var/log/app/server.log")) {
//     os::writeStream(log, "[up]\n", 5);     // getStreamSize(log) grows by 5, by 6 on Windows ("\r\n")
//     os::closeStream(log);
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zem_util::os {

extern const char kNativeSeparator;  // '/' on POSIX, '\\' on Windows

// ---- paths and status ------------------------------------------------------------------------------------

// The current directory, without a trailing separator except at a root ("/", "C:\"). False when the system
// cannot tell.
bool getCurrentDirectory(std::string* directory);

// The system's absolute form of `path`: "sub/../x" in /home/me -> "/home/me/x". False for an empty path.
// Windows: GetFullPathNameA. POSIX: the current directory joined lexically, "." and ".." resolved without
// looking at the disk, a trailing separator kept.
bool getFullPath(const char* path, std::string* full);

// An ordinary file the user may read: it exists, is not a directory, is not hidden (Windows: the hidden and
// offline attributes; POSIX: a name starting with "."), and on POSIX this process may read it. Not opened.
bool isFileReadable(const char* path);

bool pathExists(const char* path);  // the file status query succeeds: any kind of entry
bool removeFile(const char* path);  // true when a file was removed

// Makes every level of a directory path, ignoring failures (a level that exists, a drive prefix):
// "/a/b/c/" -> mkdir "/a", "/a/b", "/a/b/c"; "C:\logs\x" -> "C:", "C:\logs", "C:\logs\x". A leading
// separator and doubled separators make no call of their own.
void makeDirectories(const char* path);

// ---- append streams --------------------------------------------------------------------------------------

// A buffered stream that appends to a file, or the process's standard output or error. Bytes reach the system
// when the buffer fills, at flushStream, at closeStream and when the process exits normally. A file's stream is
// used by one thread at a time (the caller's to ensure) and buffers in front of the C library's stream, which
// it leaves unbuffered, so a write takes no lock and costs one copy; the standard streams, which the rest of the
// process writes too, are written through the C library's own buffer and lock. A caller that serialises its
// writes with a lock of its own can keep the system call out of it (writeStreamOrSetAside).
struct AppendStream;

// Opens `path` for appending (the C library's mode "a"), creating the file when it is missing: every write goes
// to its end, and the size starts at the file's size. Text mode on Windows: each "\n" is stored as "\r\n".
// Null when the system refuses (a missing directory, a directory of that name, no permission, ...).
AppendStream* openAppendStream(const char* path);

// The standard output and error as streams: always the same object, never closed, their size not tracked (0).
AppendStream* getStandardOutput();
AppendStream* getStandardError();

// The bytes the file holds by this stream's count: its size when opened plus every byte written since, each
// "\n" counted as the bytes it takes on disk. Bytes whose write failed (a full disk) count all the same.
std::int64_t getStreamSize(const AppendStream* stream);

// Appends `size` bytes as one piece, without allocating. A failure is not reported; the bytes are lost.
void writeStream(AppendStream* stream, const char* data, std::size_t size);

// writeStream, except that a buffer the bytes fill up is not handed to the system here but set aside, and the
// bytes go into a second buffer: true then, and the caller owes one call of writeSetAside, to be made once it has
// let go of the lock that keeps other threads off the stream. Until it does, other threads may go on writing
// (what they write stays behind the set-aside bytes), and a flush, a close or a further full buffer wait for it;
// the caller itself calls nothing else on the stream in between.
//
//   bool setAside;
//   { lock(); setAside = writeStreamOrSetAside(stream, record, size); unlock(); }
//   if (setAside) writeSetAside(stream);
bool writeStreamOrSetAside(AppendStream* stream, const char* data, std::size_t size);
void writeSetAside(AppendStream* stream);

// Hands the buffered bytes to the system. A failure is not reported.
void flushStream(AppendStream* stream);

// Flushes and closes a stream of openAppendStream and frees it; the standard streams stay as they are.
void closeStream(AppendStream* stream);

// Between files.cpp and the back ends; nothing above this layer uses it.
namespace backend {

void makeDirectory(const char* path);  // one level, failures ignored

// Opens `path` with mode "a" and stores the file's size; null when it cannot be opened.
std::FILE* openForAppend(const char* path, std::int64_t* size);

// The bytes `size` bytes of text take in a file: `size` on POSIX; one more for each "\n" on Windows.
std::int64_t storedSize(const char* data, std::size_t size);

// fwrite of `size` bytes to an unbuffered stream that only the calling thread uses at the moment: without the
// stream's lock where the C library has such a write.
void writeUnlocked(std::FILE* file, const char* data, std::size_t size);

// "logs\a.txt" -> "logs/a.txt": a path as a system that knows only "/" reads it.
inline std::string withSlashes(const char* path) {
  std::string slashed(path);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return slashed;
}

}  // namespace backend

}  // namespace zem_util::os
