// The per-thread record of trace_record.h.
#include "trace/trace_record.h"

#include <cstring>

#include "core/format_text.h"

namespace zem_util::detail {

namespace {
// What a thread's buffer starts with, and the most it keeps after a larger record.
constexpr std::size_t kFirstCapacity = 1024;
constexpr std::size_t kKeptCapacity = 64 * 1024;

// The thread's record is reached through a pointer in the static TLS block: one load from the thread pointer,
// where a thread_local object of a shared library costs a call to __tls_get_addr at every use.
#if defined(__GNUC__) && defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local TraceRecord* threadRecord = nullptr;

// Owns the thread's record and frees it when the thread ends.
struct RecordOwner {
  std::unique_ptr<TraceRecord> record{new TraceRecord};
  RecordOwner() { threadRecord = record.get(); }
  ~RecordOwner() { threadRecord = nullptr; }
};

TraceRecord& firstUseOnThisThread() {
  thread_local RecordOwner owner;
  if (threadRecord) return *threadRecord;
  // Only a thread-local object destroyed after the owner, tracing from its destructor, gets here: the thread is
  // ending, and the record for the rest of it is never freed.
  threadRecord = new TraceRecord;
  return *threadRecord;
}
}  // namespace

TraceRecord& TraceRecord::ofThisThread() { return threadRecord ? *threadRecord : firstUseOnThisThread(); }

void TraceRecord::start(const char* header, std::size_t length) {
  if (capacity_ > kKeptCapacity) {
    buffer_.reset();
    capacity_ = 0;
  }
  size_ = 0;
  reserve(length + 2 + kTimeSize);
  char* p = buffer_.get();
  *p++ = '[';
  if (length > 0) std::memcpy(p, header, length);
  p[length] = ' ';
  size_ = textStart_ = textEnd_ = length + 2 + kTimeSize;
}

void TraceRecord::append(const char* text, std::size_t size) {
  reserve(size);
  if (size > 0) std::memcpy(buffer_.get() + size_, text, size);
  size_ = textEnd_ = size_ + size;
}

void TraceRecord::appendFormatted(const char* format, va_list args) {
  const std::size_t room = capacity_ - size_;
  va_list first;
  va_copy(first, args);
  const int length = formatText(buffer_.get() + size_, room, format, first);
  va_end(first);
  if (length < 0) return;
  const std::size_t size = static_cast<std::size_t>(length);
  if (size >= room) {  // did not fit with its NUL: again, with room for it
    reserve(size + 1);
    formatText(buffer_.get() + size_, capacity_ - size_, format, args);
  }
  size_ = textEnd_ = size_ + size;
}

void TraceRecord::grow(std::size_t more) {
  std::size_t capacity = capacity_ > 0 ? capacity_ : kFirstCapacity;
  while (capacity - size_ < more) capacity *= 2;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  if (size_ > 0) std::memcpy(buffer.get(), buffer_.get(), size_);
  buffer_ = std::move(buffer);
  capacity_ = capacity;
}

const std::string* TraceRecord::findHeader(std::uint64_t stamp) const {
  for (const Header& header : headers_) {
    if (header.stamp == stamp) return &header.text;
  }
  return nullptr;
}

const std::string& TraceRecord::keepHeader(std::uint64_t stamp, const char* text, std::size_t length) {
  Header& header = headers_[nextHeader_];
  nextHeader_ = (nextHeader_ + 1) % kHeaders;
  header.stamp = stamp;
  header.text.assign(text, length);
  return header.text;
}

}  // namespace zem_util::detail
