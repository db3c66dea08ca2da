// Helpers of the trace-file tests: a file with chosen parameters, one record, and the records as read back.
#pragma once

#include <zem_util/trace.h>

#include <cstdint>
#include <string>

namespace test_support {

using zem_util::ArrayPtr;
using zem_util::Ptr;
using zem_util::TraceFile;
using zem_util::TraceParameters;

// Records as stored on disk, with the line ends of every platform read as "\n" (Windows text mode writes CR LF).
inline std::string lines(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

// Gives `file` these parameters, and no translator.
inline void configure(TraceFile& file, std::int32_t maxFileSize, std::uint32_t maxOldFiles, std::int32_t flushMode) {
  TraceParameters parameters = file.getParameters();
  parameters.maxFileSize = maxFileSize;
  parameters.maxOldFiles = maxOldFiles;
  parameters.flushMode = flushMode;
  parameters.translator = nullptr;
  file.setParameters(parameters);
}

// A trace file of its own (not registered with the manager) at `path`.
inline Ptr<TraceFile> fileAt(const std::string& path, std::int32_t maxFileSize = 100000000,
                             std::uint32_t maxOldFiles = 3, std::int32_t flushMode = 2) {
  Ptr<TraceFile> file(new TraceFile(path.c_str()));
  configure(*file, maxFileSize, maxOldFiles, flushMode);
  return file;
}

// One record: `text` under `header`.
inline void record(TraceFile& file, const char* header, const char* text) {
  file.begin(ArrayPtr<char>(header));
  file.print(text);
  file.end();
}

}  // namespace test_support
