// Platform layer, the running process: its executable and identifier, its environment, the error message a
// user sees, and the system's texts of error codes.
#pragma once

#include <string>

namespace zem_util::os {

// Between the entries of the PATH variable: "/usr/bin:/opt/x" on POSIX, "C:\bin;D:\tools" on Windows.
extern const char kPathListSeparator;

// The full path of the running executable: "/opt/app/bin/server", "C:\app\bin\server.exe". False when the
// system cannot tell.
bool getExecutablePath(std::string* path);

unsigned getCurrentProcessId();  // the system's identifier of this process

// Sets `name` to `value` in the process environment; a null value removes it. False when the system refuses.
// Windows changes the system's block only, which getenv does not see; POSIX has one environment, which getenv
// does see.
bool setEnvironmentVariable(const char* name, const char* value);

// Shows `text` under `title` and returns when the user has seen it. Windows: a system-modal box with an OK
// button and the stop icon, owned by no window. POSIX: "<title>: <text>" and a line end on standard error.
void showMessageBox(const char* title, const char* text);

// The system's own text for an error code (errno or a pthread result on POSIX, GetLastError() on Windows),
// exactly as the system gives it; false when it has none.
bool getSystemErrorText(unsigned code, std::string* text);

}  // namespace zem_util::os
