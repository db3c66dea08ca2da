// The message catalogue: a chained hash table that only grows, and `{N}` parameter expansion.
#include "zem_util/translator.h"

#include <cstring>
#include <utility>

#include "core/format_limit.h"

namespace zem_util {

struct Translator::MessageEntry {
  ArrayPtr<char> id;
  ArrayPtr<char> text;
  MessageEntry* next;
};

namespace {

constexpr std::uint32_t kPrimeSizes[] = {101, 1009, 10007, 100411, 1005409};
constexpr std::uint32_t kPrimeCount = sizeof kPrimeSizes / sizeof kPrimeSizes[0];

// Walks `text`, calling `literal(begin, length)` for runs of plain characters and `marker(n)` for each `{N}`;
// a marker callback returning false stops the walk.
// "a{0}b{x}" -> literal("a"), marker(0), literal("b{x}").
// N saturates, so a marker with a huge number still names a (missing) parameter rather than wrapping.
template <class Literal, class Marker>
void scanMarkers(const ArrayPtr<char>& text, Literal literal, Marker marker) {
  const char* const s = text.toPtr();
  const char* const end = s + text.length();
  const char* run = s;
  for (const char* open = s; open < end; ++open) {
    open = static_cast<const char*>(std::memchr(open, '{', static_cast<std::size_t>(end - open)));
    if (!open) break;
    const char* p = open + 1;
    std::uint32_t number = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
      number = number > 0x0FFFFFFF ? 0xFFFFFFFF : number * 10 + static_cast<std::uint32_t>(*p - '0');
    if (p == open + 1 || p == end || *p != '}') continue;  // not a marker: the '{' is plain text
    if (open > run) literal(run, static_cast<std::int32_t>(open - run));
    if (!marker(number)) return;
    run = p + 1;
    open = p;
  }
  if (end > run) literal(run, static_cast<std::int32_t>(end - run));
}

bool names(const ArrayPtr<ArrayPtr<char>>& params, std::uint32_t n) {
  return n < static_cast<std::uint32_t>(params.length());
}

bool hasParameters(const ArrayPtr<char>& text) {
  bool found = false;
  scanMarkers(
      text, [](const char*, std::int32_t) {}, [&found](std::uint32_t) { return !(found = true); });
  return found;
}

int computeLengthWithParameters(const ArrayPtr<char>& text, const ArrayPtr<ArrayPtr<char>>& params) {
  std::int64_t length = 0;
  scanMarkers(
      text, [&length](const char*, std::int32_t n) { length += n; },
      [&](std::uint32_t n) {
        if (names(params, n)) length += params[static_cast<std::int32_t>(n)].length();
        return true;
      });
  if (length > 0x7FFFFFFE)
    detail::throwLengthError("zem_util::Translator::getMsg: a text of more than 2147483646 characters");
  return static_cast<int>(length);
}

ArrayPtr<char> replaceParameters(const ArrayPtr<char>& text, const ArrayPtr<ArrayPtr<char>>& params) {
  ArrayPtr<char> result(computeLengthWithParameters(text, params));
  char* out = result.toPtr();
  auto append = [&out](const char* s, std::int32_t n) {
    if (n > 0) std::memcpy(out, s, static_cast<std::size_t>(n));
    out += n;
  };
  scanMarkers(text, append, [&](std::uint32_t n) {
    if (names(params, n))
      append(params[static_cast<std::int32_t>(n)].toPtr(), params[static_cast<std::int32_t>(n)].length());
    return true;
  });
  return result;
}

}  // namespace

Translator::Translator(const char** pairs) {
  for (; pairs && pairs[0]; pairs += 2) addMsg(ArrayPtr<char>(pairs[0]), ArrayPtr<char>(pairs[1]));
}

Translator::Translator(const Translator& other) { *this = other; }

Translator& Translator::operator=(const Translator& other) {
  if (this == &other) return *this;
  clear();
  if (other.table_) {
    table_ = new MessageEntry*[other.tableSize_]();
    for (std::uint32_t b = 0; b < other.tableSize_; ++b) {
      MessageEntry** tail = &table_[b];
      for (const MessageEntry* e = other.table_[b]; e; e = e->next) {
        *tail = new MessageEntry{e->id, e->text, nullptr};
        tail = &(*tail)->next;
      }
    }
  }
  messageCount_ = other.messageCount_;
  primeIndex_ = other.primeIndex_;
  maxCount_ = other.maxCount_;
  tableSize_ = other.tableSize_;
  return *this;
}

Translator::~Translator() { clear(); }

void Translator::clear() noexcept {
  for (std::uint32_t b = 0; b < tableSize_; ++b) {
    for (MessageEntry* e = table_[b]; e;) delete std::exchange(e, e->next);
  }
  delete[] table_;
  table_ = nullptr;
  messageCount_ = primeIndex_ = maxCount_ = tableSize_ = 0;
}

void Translator::addMsg(const ArrayPtr<char>& id, const ArrayPtr<char>& text) {
  // Grown before anything changes, so an allocation failure leaves the catalogue as it was.
  if (messageCount_ + 1 > maxCount_) {
    const bool prime = primeIndex_ < kPrimeCount;
    resizeTable(prime ? kPrimeSizes[primeIndex_] : tableSize_ * 11);
    if (prime) ++primeIndex_;
  }
  MessageEntry*& head = table_[hash(id) % tableSize_];
  head = new MessageEntry{id, text, head};
  ++messageCount_;
}

void Translator::resizeTable(std::uint32_t newSize) {
  auto** table = new MessageEntry*[newSize]();
  // Entries move to the front of their new bucket, so those that meet again come out reversed.
  for (std::uint32_t b = 0; b < tableSize_; ++b) {
    for (MessageEntry* e = table_[b]; e;) {
      MessageEntry* next = e->next;
      MessageEntry*& head = table[hash(e->id) % newSize];
      e->next = head;
      head = e;
      e = next;
    }
  }
  delete[] table_;
  table_ = table;
  tableSize_ = newSize;
  maxCount_ = 5 * newSize;
}

ArrayPtr<char> Translator::getMsg(const ArrayPtr<char>& id) const {
  if (!table_) return id;
  for (const MessageEntry* e = table_[hash(id) % tableSize_]; e; e = e->next) {
    if (e->id == id) return e->text;
  }
  return id;
}

ArrayPtr<char> Translator::getMsg(const ArrayPtr<char>& id, const ArrayPtr<ArrayPtr<char>>& params) const {
  ArrayPtr<char> text = getMsg(id);
  return hasParameters(text) ? replaceParameters(text, params) : text;
}

ArrayPtr<char> Translator::getFormattedMsg(ArrayPtr<char> id, ...) const {
  va_list args;
  va_start(args, id);
  struct End {
    va_list& args;
    ~End() { va_end(args); }
  } end{args};
  return getFormattedMsgArgs(id, args);
}

ArrayPtr<char> Translator::getFormattedMsgArgs(const ArrayPtr<char>& id, va_list args) const {
  ArrayPtr<char> text = getMsg(id);
  const char* format = text.toNullTerminatedPtr();
  if (!format) return ArrayPtr<char>("");
  // The caller's list stays usable: format over a copy of it.
  va_list copy;
  va_copy(copy, args);
  struct End {
    va_list& args;
    ~End() { va_end(args); }
  } end{copy};
  // The format is the catalogue's text, known only at run time: the compiler cannot check it (the header's
  // overload checks what it can, that every argument is something printf takes).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
  return detail::formatLimited("Translator::getMsgWithArgs cannot be used to format more than 3000 characters !",
                               format, copy);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace zem_util
