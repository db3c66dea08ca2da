// A trace record as the writing thread assembles it, before it takes the file's lock:
//
//   "[" header " " <time> text "]\n"        "[net 14:03:27.05 connected to db1:5432]\n"
//
// The 12 bytes of the time ("14:03:27.05 ") are left open and filled in under the file's lock, so that records
// stand in the file in the order of their times. One record per thread, reused: once its buffer has grown to the
// thread's usual records, assembling one allocates nothing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace zem_util::detail {

class TraceRecord {
 public:
  static constexpr std::size_t kTimeSize = 12;

  // The calling thread's record. Whatever it held is given up by the next `start`.
  static TraceRecord& ofThisThread();

  TraceRecord() = default;
  TraceRecord(const TraceRecord&) = delete;
  TraceRecord& operator=(const TraceRecord&) = delete;

  // Starts a record headed by these bytes: "[" header " " and the room for the time.
  void start(const char* header, std::size_t length);
  // Adds to the text.
  void append(const char* text, std::size_t size);
  // Adds printf's text of `format` and `args` (nothing when the C library reports an error).
  void appendFormatted(const char* format, va_list args);
  // Closes the record with "]\n".
  void finish() {
    reserve(2);
    buffer_[size_] = ']';
    buffer_[size_ + 1] = '\n';
    size_ += 2;
  }

  char* data() { return buffer_.get(); }
  std::size_t size() const { return size_; }
  char* time() { return buffer_.get() + textStart_ - kTimeSize; }
  // The text alone, without the prefix and, once finished, the closing bracket.
  const char* text() const { return buffer_.get() + textStart_; }
  std::size_t textSize() const { return textEnd_ - textStart_; }

  // The bytes of a header that a record shows: those before its first NUL. 0 for a null header.
  static std::size_t headerLength(const char* header, std::int32_t length) {
    const void* nul = length > 0 ? std::memchr(header, '\0', static_cast<std::size_t>(length)) : nullptr;
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - header)
               : static_cast<std::size_t>(length > 0 ? length : 0);
  }

  // Headers of the traces this thread wrote to lately, by stamp (see Trace): the header of a record is copied
  // from here, without asking its trace, as long as the trace's stamp has not changed.
  const std::string* findHeader(std::uint64_t stamp) const;
  const std::string& keepHeader(std::uint64_t stamp, const char* header, std::size_t length);

 private:
  void reserve(std::size_t more) {
    if (capacity_ - size_ < more) grow(more);
  }
  void grow(std::size_t more);

  static constexpr int kHeaders = 4;
  struct Header {
    std::uint64_t stamp = 0;  // 0: none
    std::string text;
  };

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  std::size_t textStart_ = 0;
  std::size_t textEnd_ = 0;
  Header headers_[kHeaders];
  int nextHeader_ = 0;  // the slot the next new header takes
};

}  // namespace zem_util::detail
