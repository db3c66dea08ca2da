// Reading constant strings: access, conversions, copying out, searching, substrings, comparison, hashing.
#include <cstdarg>
#include <cstring>
#include <ostream>
#include <vector>

#include "core/cst_str_impl.h"
#include "core/format_limit.h"
#include "zem_util/cst_str.h"

namespace zem_util {

// ---- access and conversions -----------------------------------------------------------------------------------

const char* CstStr::toPtr() const { return Impl::text(*this); }

char CstStr::getFirst() const { return length() == 0 ? '\0' : toPtr()[0]; }

char CstStr::getLast() const { return length() == 0 ? '\0' : toPtr()[length() - 1]; }

const char* CstStr::toNullTerminatedPtr() const {
  const char* text = Impl::text(*this);
  if (!isLong() || text[length()] == '\0') return text;
  Impl::Words& w = Impl::rep(*this);
  const Impl::Words old = w;
  w = Impl::copyOf(text, length());
  Impl::release(old, true);
  return Impl::leafText(*this);
}

ArrayPtr<char> CstStr::toStr() const {
  const Impl::Words& w = Impl::rep(*this);
  if (!isLong()) return ArrayPtr<char>(w.chars.text, 0, length());
  Impl::text(*this);  // flattens
  return Impl::Blocks::window(Impl::block(w), w.ref.index, w.ref.length);
}

void CstStr::copyTo(char* destination) const { Impl::copyRange(*this, 0, length(), destination); }

void CstStr::copySubstrTo(int start, int count, char* destination) const {
  if (count <= 0 || start < 0 || start >= length()) return;
  Impl::copyRange(*this, start, count < length() - start ? count : length() - start, destination);
}

namespace {
// Gathers the small pieces of a node into one buffer, so that the stream sees few writes.
class PieceWriter {
 public:
  explicit PieceWriter(std::ostream& out) : out_(out) {}
  ~PieceWriter() { flush(); }
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  void add(const char* text, std::int32_t count) {
    if (used_ + count > kSize) flush();
    if (count >= kSize) {
      out_.write(text, count);
    } else {
      std::memcpy(buffer_ + used_, text, static_cast<std::size_t>(count));
      used_ += count;
    }
  }
  void flush() {
    if (used_ > 0) out_.write(buffer_, used_);
    used_ = 0;
  }

 private:
  static constexpr std::int32_t kSize = 4096;
  std::ostream& out_;
  std::int32_t used_ = 0;
  char buffer_[kSize];
};
}  // namespace

// In order, left to right, with the right operands still to write kept on a heap stack: a tree can be as deep
// as it has nodes on either side.
void CstStr::write(std::ostream& out) const {
  if (!Impl::isNode(Impl::rep(*this))) {
    out.write(Impl::leafText(*this), length());
    return;
  }
  PieceWriter writer(out);
  std::vector<const CstStr*> rightOperands;
  const CstStr* at = this;
  for (;;) {
    while (Impl::isNode(Impl::rep(*at))) {
      const CatStr* node = Impl::node(Impl::rep(*at));
      rightOperands.push_back(&node->right);
      at = &node->left;
    }
    writer.add(Impl::leafText(*at), at->length());
    if (rightOperands.empty()) return;
    at = rightOperands.back();
    rightOperands.pop_back();
  }
}

int CstStr::hash() const {
  const std::uint32_t n = static_cast<std::uint32_t>(length());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(toPtr());
  const std::uint32_t step = n / 4 > 0 ? n / 4 : 1;
  std::uint32_t h = 0;
  for (std::uint32_t i = 0; i < n; i += step) h = (h << 8) + bytes[i];
  return static_cast<int>(n ^ h);
}

// ---- searching ------------------------------------------------------------------------------------------------

int CstStr::indexOf(char c) const { return indexOf(c, 0); }

int CstStr::indexOf(char c, int from) const {
  if (from < 0) from = 0;
  if (from >= length()) return -1;
  const char* text = toPtr();
  const void* hit = std::memchr(text + from, c, static_cast<std::size_t>(length() - from));
  return hit ? static_cast<int>(static_cast<const char*>(hit) - text) : -1;
}

int CstStr::lastIndexOf(char c) const { return lastIndexOf(c, length() - 1); }

int CstStr::lastIndexOf(char c, int from) const {
  if (from < 0) return -1;
  if (from >= length()) from = length() - 1;
  const char* text = toPtr();
  for (int i = from; i >= 0; --i) {
    if (text[i] == c) return i;
  }
  return -1;
}

int CstStr::indexOf(const CstStr& s) const { return indexOf(s, 0); }

namespace {
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

std::uint64_t broadcast(char c) { return kOnes * static_cast<unsigned char>(c); }

// Whether some byte of `word` is 0. Never misses one; may also flag a 0x01 byte above a 0 byte.
bool hasZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighBits) != 0; }
}  // namespace

// Eight positions at a time: a byte of (first eight characters XOR the pattern's first character) OR (the
// eight characters m - 1 further XOR its last one) is 0 only where both ends match, which random text does
// once in thousands of positions; only then are the eight positions compared in full, several bytes at a time.
int CstStr::indexOf(const CstStr& s, int from) const {
  const int m = s.length();
  if (m == 0) return from;
  if (m == 1) return indexOf(s.toPtr()[0], from);
  if (from < 0) from = 0;
  const int last = length() - m;  // the last position where s fits
  if (from > last) return -1;
  const char* text = toPtr();
  const char* pattern = s.toPtr();
  const std::uint64_t first = broadcast(pattern[0]);
  const std::uint64_t lastChar = broadcast(pattern[m - 1]);
  auto matchesAt = [&](int i) { return Impl::firstDifference(text + i, pattern, m) == m; };
  int i = from;
  for (; last - i >= 7; i += 8) {
    const std::uint64_t ends =
        (Impl::load<std::uint64_t>(text + i) ^ first) | (Impl::load<std::uint64_t>(text + i + m - 1) ^ lastChar);
    if (!hasZeroByte(ends)) continue;
    for (int j = i; j < i + 8; ++j) {
      if (matchesAt(j)) return j;
    }
  }
  for (; i <= last; ++i) {
    if (matchesAt(i)) return i;
  }
  return -1;
}

int CstStr::lastIndexOf(const CstStr& s) const { return lastIndexOf(s, length() - 1); }

int CstStr::lastIndexOf(const CstStr& s, int from) const {
  const int m = s.length();
  if (m == 0) return from;
  const int start = from < length() - m ? from : length() - m;
  if (start < 0) return -1;
  const char* text = toPtr();
  const char* pattern = s.toPtr();
  for (int i = start; i >= 0; --i) {
    if (text[i] == pattern[0] && Impl::firstDifference(text + i + 1, pattern + 1, m - 1) == m - 1) return i;
  }
  return -1;
}

int CstStr::indexOneOf(const CstStr& set) const { return indexOneOf(set, 0); }

int CstStr::indexOneOf(const CstStr& set, int from) const {
  const int m = set.length();
  if (m == 0) return from;
  if (m == 1) return indexOf(set.toPtr()[0], from);
  if (from < 0) from = 0;
  if (from >= length()) return -1;
  bool inSet[256] = {};
  const unsigned char* members = reinterpret_cast<const unsigned char*>(set.toPtr());
  for (int i = 0; i < m; ++i) inSet[members[i]] = true;
  const unsigned char* text = reinterpret_cast<const unsigned char*>(toPtr());
  for (int i = from; i < length(); ++i) {
    if (inSet[text[i]]) return i;
  }
  return -1;
}

// ---- substrings and comparison --------------------------------------------------------------------------------

CstStr CstStr::substr(int start, int count) const {
  if (count <= 0 || start < 0 || start >= length()) return CstStr();
  if (count > length() - start) count = length() - start;
  const char* text = toPtr();
  if (count < kBigLen) return Impl::make(Impl::shortText(text + start, count));
  const Impl::Words& w = Impl::rep(*this);
  return Impl::window(Impl::block(w), w.ref.index + start, count);
}

CstStr CstStr::substr(int start) const { return substr(start, length() - start); }

bool CstStr::equals(const CstStr& a, const CstStr& b) {
  if (&a == &b) return true;
  if (a.length() != b.length()) return false;
  const Impl::Words& wa = Impl::rep(a);
  const Impl::Words& wb = Impl::rep(b);
  if (!a.isLong()) return std::memcmp(wa.chars.text, wb.chars.text, kBigLen) == 0;  // NUL-padded
  if (Impl::sameTarget(wa, wb) && wa.ref.index == wb.ref.index) return true;
  const char* pa = a.toPtr();
  const char* pb = b.toPtr();
  return Impl::firstDifference(pa, pb, a.length()) == a.length();
}

bool CstStr::equalsText(const CstStr& a, const char* b) {
  const std::size_t n = b ? std::strlen(b) : 0;
  return n == static_cast<std::size_t>(a.length()) && std::memcmp(a.toPtr(), b ? b : "", n) == 0;
}

int CstStr::cmp(const CstStr& a, const CstStr& b) {
  if (&a == &b) return 0;
  const int la = a.length();
  const int lb = b.length();
  const Impl::Words& wa = Impl::rep(a);
  const Impl::Words& wb = Impl::rep(b);
  if (a.isLong() && b.isLong() && Impl::sameTarget(wa, wb) && wa.ref.index == wb.ref.index) return la - lb;
  const char* pa = a.toPtr();
  const char* pb = b.toPtr();
  const int common = la < lb ? la : lb;
  const int i = Impl::firstDifference(pa, pb, common);
  if (i < common) return static_cast<signed char>(pa[i]) - static_cast<signed char>(pb[i]);
  return la - lb;
}

// ---- formatting -----------------------------------------------------------------------------------------------

CstStr CstStr::fromFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  struct End {
    va_list& args;
    ~End() { va_end(args); }
  } end{args};
  // The formatted block holds exactly the text: a long result shares it rather than copying it again.
  return CstStr(
      detail::formatLimited("CstStr::fromFormat cannot be used to format more than 3000 characters !", format, args));
}

}  // namespace zem_util
