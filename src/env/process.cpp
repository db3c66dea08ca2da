// The running process: its path, directory and name, the environment, CharConv.txt and the error message.
#include "os/process.h"

#include <cstdlib>
#include <string>

#include "core/no_destructor.h"
#include "env/cached_text.h"
#include "env/system_text.h"
#include "os/files.h"
#include "zem_util/env.h"
#include "zem_util/system.h"

namespace zem_util {

namespace {

const char kCharconvFileName[] = "CharConv.txt";

// What this file computes once and then hands out shared.
struct ProcessTexts {
  // Unlike the others, setProcessPath may replace it at any time.
  ArrayPtr<char> path ZEM_UTIL_GUARDED_BY(getGlobalMutex());
  detail::CachedText directory;
  detail::CachedText name;
  detail::CachedText charconvPath;
};

ProcessTexts& processTexts() {
  static detail::NoDestructor<ProcessTexts> texts;
  return *texts;
}

// "/opt/app/bin/" -> "/opt/app/bin/CharConv.txt" when it exists there.
bool isCharconvCandidate(const std::string& candidate) { return os::pathExists(candidate.c_str()); }

// "/usr/bin:/opt/x" -> "/usr/bin/CharConv.txt", then "/opt/x/CharConv.txt" ("\" and ";" on Windows). A
// separator is always added, even after an entry that ends with one.
ArrayPtr<char> searchCharconvOnPath() {
  // The C runtime's copy of the environment, the same call on every platform: on Windows it does not see what
  // setEnvironmentVariable changed, as intended.
  const char* variable = std::getenv("PATH");
  if (variable == nullptr) return ArrayPtr<char>();
  const std::string path(variable);
  std::string::size_type begin = 0;
  while (begin <= path.size()) {
    std::string::size_type end = path.find(os::kPathListSeparator, begin);
    if (end == std::string::npos) end = path.size();
    if (end > begin) {
      std::string candidate = path.substr(begin, end - begin);
      candidate += os::kNativeSeparator;
      candidate += kCharconvFileName;
      if (isCharconvCandidate(candidate)) return detail::newText(candidate);
    }
    begin = end + 1;
  }
  return ArrayPtr<char>();
}

ArrayPtr<char> searchCharconv() {
  std::string besideExecutable;
  const ArrayPtr<char> directory = getProcessDirectory();
  // A directory with a NUL of its own cannot be asked about; PATH still can.
  if (detail::toSystemText(directory, &besideExecutable)) {
    besideExecutable += kCharconvFileName;
    if (isCharconvCandidate(besideExecutable)) return detail::newText(besideExecutable);
  }
  return searchCharconvOnPath();
}

}  // namespace

// Always under the global mutex: setProcessPath may replace the text while another thread copies it.
ArrayPtr<char> getProcessPath() {
  ProcessTexts& texts = processTexts();
  MutexLock guard(getGlobalMutex());
  if (texts.path.length() == 0) {
    std::string path;
    if (os::getExecutablePath(&path)) texts.path = detail::newText(path);
  }
  return texts.path;
}

void setProcessPath(const ArrayPtr<char>& path) {
  const ArrayPtr<char> full = getFullPath(path);
  ProcessTexts& texts = processTexts();
  MutexLock guard(getGlobalMutex());
  texts.path = full;
}

ArrayPtr<char> getProcessDirectory() {
  return processTexts().directory.get([] { return getDirectory(getProcessPath()); });
}

ArrayPtr<char> getProcessName() {
  return processTexts().name.get([] { return getFileName(getProcessPath()); });
}

void setEnvironmentVariable(const ArrayPtr<char>& name, const ArrayPtr<char>& value) {
  std::string nameText, valueText;
  if (!detail::toSystemText(name, &nameText) || nameText.empty()) return;
  if (value.isNull()) {
    os::setEnvironmentVariable(nameText.c_str(), nullptr);
  } else if (detail::toSystemText(value, &valueText)) {
    os::setEnvironmentVariable(nameText.c_str(), valueText.c_str());
  }
}

ArrayPtr<char> getCharconvPath() { return processTexts().charconvPath.get(searchCharconv); }

void showErrorMessage(const ArrayPtr<char>& message) {
  const ArrayPtr<char> name = getProcessName();
  std::string title = "Error in ";
  if (name.length() > 0) title.append(name.toPtr(), static_cast<std::size_t>(name.length()));
  // A NUL inside the message ends what the user sees, as it would in any C string.
  std::string text;
  if (message.length() > 0) text.assign(message.toPtr(), static_cast<std::size_t>(message.length()));
  os::showMessageBox(title.c_str(), text.c_str());
}

}  // namespace zem_util
