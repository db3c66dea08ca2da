// Paths, the running process, the environment, dynamic libraries, languages and compact integer codes.
//
//   using zem_util::ArrayPtr;
//   ArrayPtr<char> log = zem_util::catenatePath(zem_util::getProcessDirectory(), "logs/../server.log");
//                                                  // "/opt/app/bin/server.log"
//   ArrayPtr<char> name = zem_util::getFileName(log);        // "server", a view on log's block
//   ArrayPtr<char> ext = zem_util::getFileExtension(log);    // ".log"
//
//   using Entry = Translator* (*)(const ArrayPtr<char>&, const ArrayPtr<char>&);
//   auto entry = reinterpret_cast<Entry>(zem_util::getFunctionPointer("getZemTranslator", "ZemMsg_fr_FR"));
//
//   char code[4];
//   zem_util::intToBase36(1295, code, 4);                    // "00ZZ" (no NUL written)
//   int back = zem_util::base36ToInt(code, 4);               // 1295
//
// Paths are texts in which both "/" and "\" separate components, mixed as they come; nothing converts one into
// the other. Where a function adds a separator it adds the platform's own ("/" on POSIX, "\" on Windows). A
// drive prefix is any character followed by a colon ("C:"). Functions that return a "view" hand back a window
// of the argument's block (no characters copied); every other text returned is new or a shared cache.
//
// Nothing here throws on its own account: failures give the plain results stated below (an empty text, a
// null pointer, false, "./" or ".\", "en_US"). Only building a new text can throw, as `ArrayPtr` does.
// Texts with an embedded NUL never reach the operating system: they give the failure result of the call.
#pragma once

#include "zem_util/core.h"
#include "zem_util/export.h"

namespace zem_util {

// ---- paths --------------------------------------------------------------------------------------------------
// Reentrant: no shared state. Views raise the block's count like any handle copy.

// True for an empty path, a path without a root ("a/b"), and a drive-relative path ("C:a"); false for
// "/a", "\a" and "C:\a".
ZEM_UTIL_EXPORT bool isRelativePath(const ArrayPtr<char>& path);

// View up to and including the last separator: "C:/app/bin/x.exe" -> "C:/app/bin/", "dir/" -> "dir/".
// Without a separator (or for an empty path) a new default directory: "./" on POSIX, ".\" on Windows.
ZEM_UTIL_EXPORT ArrayPtr<char> getDirectory(const ArrayPtr<char>& path);

// View of the last component without its last extension: "dir/archive.tar.gz" -> "archive.tar",
// "dir.d/file" -> "file", "dir/.profile" -> "" (all extension), "dir/" -> "".
ZEM_UTIL_EXPORT ArrayPtr<char> getFileName(const ArrayPtr<char>& path);

// View of the last extension, dot included: "a.tar.gz" -> ".gz", ".profile" -> ".profile", "name." -> ".",
// "a.." -> "."; empty (null) for "dir.d/file", "dir/.", "..", "dir/.." and any path of one character.
ZEM_UTIL_EXPORT ArrayPtr<char> getFileExtension(const ArrayPtr<char>& path);

// Removes redundant parts in place, in this order: a trailing "/." loses its dot; leading "./" are skipped
// (with the separators after them); inner "/./" and runs of separators shrink; "seg/../" cancels when "seg"
// has a separator before it and is not ".."; a trailing "seg/.." is cut after the separator before "seg".
// A relative path whose first segment is cancelled by "../" loses both: "abc/../def" -> "def",
// "abc/../" -> "./" (".\" on Windows), "x/../../y" -> "../y", "a/../b/../" -> "./".
//   "C:/a/b/c/../../../d" -> "C:/d"     "././/a" -> "a"     "C:/dir///file" -> "C:/dir/file"
//   "C:/a/b/.." -> "C:/a/"              "C:/a/../../b" -> "C:/../b"
//   unchanged: "abc/..", "C:/..", "C:/a/b/../", "a/./", "a//", any path of fewer than two characters.
// The window may start later and end sooner, and characters move down inside the block, which every other
// handle on the block sees: pass a path whose block you own. When the end moved back, a NUL is stored just
// after the new end; nothing is ever written outside the path's own window. Not thread-safe on one block.
ZEM_UTIL_EXPORT void compactPath(ArrayPtr<char>& path);

// A new path: `first`, a separator when neither side has one at the joint, and `second`, compacted as
// `compactPath` does. "C:/dir" + "file.txt" -> "C:/dir\file.txt" on Windows; "C:/dir/" + "/file.txt" ->
// "C:/dir/file.txt"; an empty side gives the other one compacted: "" + "./x" -> "x".
ZEM_UTIL_EXPORT ArrayPtr<char> catenatePath(const ArrayPtr<char>& first, const ArrayPtr<char>& second);

// A new text: the system's absolute form of the path, "." and ".." resolved (no compaction of its own).
// Windows asks GetFullPathNameA; POSIX joins the current directory and resolves the segments lexically
// (symbolic links are not followed), reading "\" as "/" and keeping a trailing separator. There is no
// length limit. Empty for an empty path or when the system fails.
ZEM_UTIL_EXPORT ArrayPtr<char> getFullPath(const ArrayPtr<char>& path);

// True for an existing ordinary file the user is meant to see: not a directory, not hidden (Windows: hidden or
// offline attribute; POSIX: a name starting with "."), and on POSIX readable by this process. The file is not
// opened. False for anything missing or unreadable.
ZEM_UTIL_EXPORT bool isFileReadable(const ArrayPtr<char>& path);

// A new text: the current directory, always ending with a separator ("/home/me/"). No length limit.
// "./" (".\" on Windows) when the system cannot tell.
ZEM_UTIL_EXPORT ArrayPtr<char> getCurrentDirectory();

// ---- the process and its environment -------------------------------------------------------------------------
// Computed on first use under the global mutex, then shared (not copied) with every caller. An empty result is
// not kept: the next call computes again.

// The executable's full path ("/opt/app/bin/server"). Thread-safe.
ZEM_UTIL_EXPORT ArrayPtr<char> getProcessPath();
// Makes `getFullPath(path)` the process path from now on. The process directory and name follow it only if
// they have not been asked for yet: once computed they never change. An empty path forgets the replacement,
// and the next `getProcessPath` asks the system again. Thread-safe.
ZEM_UTIL_EXPORT void setProcessPath(const ArrayPtr<char>& path);
// `getDirectory(getProcessPath())`: "/opt/app/bin/" with its final separator. Thread-safe.
ZEM_UTIL_EXPORT ArrayPtr<char> getProcessDirectory();
// `getFileName(getProcessPath())`: "server" for "C:\app\bin\server.exe". Thread-safe.
ZEM_UTIL_EXPORT ArrayPtr<char> getProcessName();

// Sets a variable of the process environment; a null value removes it. Failure (an empty name, a name with
// "=") is ignored. On Windows the system's block changes, which `getenv` does not see; on POSIX there is one
// environment, which `getenv` does see. Not safe while other threads read the environment.
ZEM_UTIL_EXPORT void setEnvironmentVariable(const ArrayPtr<char>& name, const ArrayPtr<char>& value);

// Where "CharConv.txt" is: the process directory first, then each PATH entry in order (as `getenv` sees PATH,
// split at ":" on POSIX and ";" on Windows, empty entries skipped), as "<entry>/CharConv.txt" (native
// separator). Any existing entry of that name counts. The text as built, shared; empty when none was found,
// and then the next call searches again. Thread-safe.
ZEM_UTIL_EXPORT ArrayPtr<char> getCharconvPath();

// Shows `message` to the user: on Windows a system-modal message box captioned "Error in <process name>"
// (returns when it is closed); on POSIX the line "Error in <process name>: <message>" on standard error.
ZEM_UTIL_EXPORT void showErrorMessage(const ArrayPtr<char>& message);

// ---- dynamic libraries ---------------------------------------------------------------------------------------
// Libraries are loaded by name ("ZemMsg_fr" -> ZemMsg_fr.dll / ZemMsg_fr.so, looked for beside the executable
// first) into a process-wide table, once per distinct spelling of the name (case-sensitive), and stay loaded
// until `freeAllLibraries`. Failed loads are not remembered: they are tried again at the next request. The
// table has a lock of its own, so these may be called from any thread; libraries are loaded and freed outside
// it, so a library's initialisation may itself call them.

// The full file name of the library (loading it if needed); empty when it cannot be loaded or the name is empty.
ZEM_UTIL_EXPORT ArrayPtr<char> getLibraryFileName(const ArrayPtr<char>& libraryName);

// The exported function `functionName` of the library (loaded if needed), or of the executable itself when
// `libraryName` is empty. Null when the library cannot be loaded or has no such export. On POSIX a lookup in
// the executable also sees the libraries it was started with.
ZEM_UTIL_EXPORT void* getFunctionPointer(const ArrayPtr<char>& functionName, ArrayPtr<char> libraryName);

// Releases every library of the table, empties it, and lets later requests load them anew. Function pointers
// fetched from them must not be used afterwards.
ZEM_UTIL_EXPORT void freeAllLibraries();

// ---- languages -----------------------------------------------------------------------------------------------
// Language codes of the form language_COUNTRY ("fr_FR"), paired with Windows locale identifiers (0x040C) in a
// fixed table of 105 rows. Some codes are the library's own ("cz_CZ" Czech, "ct_CT" Catalan, "no_NO_B"
// Norwegian Bokmal); "es_PA" stands for both 0x180A (Panama) and 0x3C0A (Paraguay).

// The code of the calling thread's locale, or "en_US" when it is not in the table. Windows reads the thread
// locale; POSIX the thread's LC_MESSAGES locale (uselocale, else the process's setlocale), so a program that
// never called setlocale runs in "C" and gets "en_US". Thread-safe; shared, not copied.
ZEM_UTIL_EXPORT ArrayPtr<char> getCurrentLanguage();
// The identifier of the first row with exactly this code (case-sensitive, whole text): "es_PA" -> 0x180A.
// 0 for an unknown, empty or null code, or one with an embedded NUL.
ZEM_UTIL_EXPORT unsigned int getLanguageCode(const ArrayPtr<char>& languageCode);
// A new text with the code of the first row with this identifier: 0x3C0A -> "es_PA". Null when unknown.
ZEM_UTIL_EXPORT ArrayPtr<char> getLanguageFromCode(unsigned int code);

// ---- base-36 and base-64 codes -------------------------------------------------------------------------------
// Base 36 writes "0"-"9", "A"-"Z" and reads both cases. Base 64 (the library's own alphabet, not RFC 4648's)
// is "0"-"9", "A"-"Z", "a"-"z", "_", "." and is case-sensitive. Thread-safe; nothing is allocated and no NUL is
// written.

// Writes exactly `width` digits, right-aligned with "0": (5, width 3) -> "005"; (35) -> "00Z"; base 64 (63,
// width 2) -> "0.". A value needing more digits loses its leading ones: (1296, width 2) -> "00". A negative
// value is written as its 32-bit two's-complement pattern, which `base36ToInt` reads back to the same value:
// (-1, width 7) -> "1Z141Z3". Nothing is written for a width below 1 or a null buffer.
ZEM_UTIL_EXPORT void intToBase36(int value, char* buffer, int width);
ZEM_UTIL_EXPORT void intToBase64(int value, char* buffer, int width);

// Reads digits from the start until a non-digit (a NUL included) or `length` characters; no sign. The value
// wraps in unsigned 32 bits and comes back as int: "ZZZZZZ" -> 2176782335 -> -2118184961. "1z-3" -> 71.
// 0 for a length below 1 or null digits. The `end` variants also store the index of the first non-digit, or
// `length` when all were digits ("1z-3" -> 2); a length below 1 is stored as it is, null digits store 0.
ZEM_UTIL_EXPORT int base36ToInt(const char* digits, int length);
ZEM_UTIL_EXPORT int base36ToInt(const char* digits, int length, int& end);
ZEM_UTIL_EXPORT int base64ToInt(const char* digits, int length);
ZEM_UTIL_EXPORT int base64ToInt(const char* digits, int length, int& end);

// Digits that the value's magnitude needs, at least 1: base 36: 0..35 -> 1, 36..1295 -> 2, INT_MAX -> 6;
// base 64: 0..63 -> 1, 64..4095 -> 2. Enough width for `intToBase36` / `intToBase64` of a value of 0 or more.
ZEM_UTIL_EXPORT unsigned int minLengthForBase36(int value);
ZEM_UTIL_EXPORT unsigned int minLengthForBase64(int value);

}  // namespace zem_util
