// Platform layer, dynamic libraries: loading them by name, finding their exports, naming their files.
//
// A library is an opaque handle; null means none.
#pragma once

#include <string>

namespace zem_util::os {

// Loads a library, or counts one more use of it when it is loaded already; null when it cannot be loaded. The
// system's own rules complete the name: Windows adds ".dll" and looks beside the executable first; POSIX adds
// ".so" when the last component has no "." ("plugins/fr" -> "plugins/fr.so"), and looks for a name without a
// separator beside the executable first, then where the dynamic loader looks.
void* loadLibrary(const char* name);

// The executable itself, for finding its own exports. Never freed.
void* getMainModule();

// The address of the export `name` of `library`, or null when it has none. For the executable POSIX also
// searches the libraries loaded with it, where Windows searches the executable's own exports only.
void* findSymbol(void* library, const char* name);

// The full file name the library was loaded from; for the executable, its path. False when the system cannot
// tell.
bool getLibraryFileName(void* library, std::string* path);

// Counts one use less; the system unloads the library when none is left. Its addresses must not be used after.
void freeLibrary(void* library);

}  // namespace zem_util::os
