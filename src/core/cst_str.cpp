// Building, assigning, concatenating, flattening and releasing constant strings.
#include "zem_util/cst_str.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/cst_str_impl.h"

namespace zem_util {

static_assert(std::is_same_v<std::int32_t, int>, "internLen and internIdx hand out the fields as int");
static_assert(sizeof(CstStr) == 8 + sizeof(void*), "a length, an index and one pointer on every target");
static_assert(alignof(CatStr) >= 4 && alignof(SharedArray<char>) >= 4, "the marks use two low address bits");

namespace {
std::int32_t checkedLength(std::size_t length) {
  if (length > static_cast<std::size_t>(INT32_MAX)) throw std::bad_array_new_length();
  return static_cast<std::int32_t>(length);
}

std::int32_t checkedSum(std::int32_t a, std::int32_t b) {
  if (b > INT32_MAX - a) throw std::bad_array_new_length();
  return a + b;
}
}  // namespace

// ---- the representation ---------------------------------------------------------------------------------------

CstStr::Words CstStr::Impl::copyOf(const char* text, std::int32_t count) {
  if (count < kBigLen) return shortText(text, count);
  SharedArray<char>* block = SharedArray<char>::create(count);
  std::memcpy(block->data, text, static_cast<std::size_t>(count));
  block->count = 1;
  return blockRef(block, 0, count);
}

CstStr::Words CstStr::Impl::fromHandle(const ArrayPtr<char>& text) {
  if (text.length() < kBigLen) return shortText(text.toPtr(), text.length());
  detail::retainCount(text.getBlock()->count);
  return blockRef(text.getBlock(), text.offset(), text.length());
}

CstStr::Words CstStr::Impl::share(const CstStr& s, bool trustedPath) {
  Words w = s.w_;
  if (!isLong(w)) return w;
  if (isSole(w)) {
    w.ref.target &= ~kMarks;
    if (trustedPath) s.w_.ref.target &= ~kMarks;
  }
  detail::retainCount(countOf(w));
  return w;
}

// Returns the node when this was its last reference (its operands still held), after freeing a dead block.
CatStr* CstStr::Impl::drop(const Words& w, bool trusted) noexcept {
  if (!isLong(w)) return nullptr;
  if (!trusted && detail::releaseCount(countOf(w)) != 0) return nullptr;
  if (w.ref.index >= 0) {
    SharedArray<char>::destroy(block(w));
    return nullptr;
  }
  return node(w);
}

// A chain of appends is as deep as it has nodes, in either direction, so the walk keeps its own list instead of
// recursing: each dead node releases its right operand, then its left one, and is freed. When the right operand
// leads to another dead node, the node waits on a list (threaded through its emptied right operand) until that
// subtree is gone.
void CstStr::Impl::release(const Words& w, bool trustedPath) noexcept {
  bool trusted = trustedPath && isSole(w);
  CatStr* node = drop(w, trusted);
  CatStr* waiting = nullptr;
  for (;;) {
    if (node) {
      const Words right = take(node->right);
      const bool rightTrusted = trusted && isSole(right);
      if (CatStr* dead = drop(right, rightTrusted)) {
        node->right.w_.ref = {0, trusted ? 1 : 0, reinterpret_cast<std::uintptr_t>(waiting)};
        waiting = node;
        node = dead;
        trusted = rightTrusted;
        continue;
      }
    } else if (waiting) {
      node = waiting;
      trusted = node->right.w_.ref.index != 0;
      waiting = reinterpret_cast<CatStr*>(node->right.w_.ref.target);
      node->right.w_ = Words{};
    } else {
      return;
    }
    const Words left = take(node->left);
    trusted = trusted && isSole(left);
    delete node;
    node = drop(left, trusted);
  }
}

void CstStr::Impl::copyRange(const CstStr& s, std::int32_t start, std::int32_t count, char* out) {
  const CstStr* at = &s;
  while (count > 0) {
    if (!isNode(at->w_)) {
      std::memcpy(out, leafText(*at) + start, static_cast<std::size_t>(count));
      return;
    }
    const CatStr* n = node(at->w_);
    const std::int32_t leftLength = n->left.length();
    if (start >= leftLength) {
      at = &n->right;
      start -= leftLength;
    } else if (count <= leftLength - start) {
      at = &n->left;
    } else {
      const std::int32_t fromLeft = leftLength - start;
      if (leftLength <= n->right.length()) {
        copyRange(n->left, start, fromLeft, out);
        at = &n->right;
        start = 0;
        out += fromLeft;
        count -= fromLeft;
      } else {
        copyRange(n->right, 0, count - fromLeft, out + fromLeft);
        at = &n->left;
        count = fromLeft;
      }
    }
  }
}

void CstStr::compact() const {
  const std::int32_t n = w_.ref.length;
  const Words old = w_;
  if (Impl::isFillingTail(old)) {  // the tail block has room for the left text in front: take it over
    CatStr* node = Impl::node(old);
    SharedArray<char>* tail = Impl::block(Impl::take(node->right));
    Impl::copyRange(node->left, 0, node->left.length(), tail->data);
    tail->length = n;
    tail->data[n] = '\0';
    w_ = Impl::blockRef(tail, 0, n);
  } else {
    SharedArray<char>* block = SharedArray<char>::create(n);
    Impl::copyRange(*this, 0, n, block->data);
    block->count = 1;
    w_ = Impl::blockRef(block, 0, n);
  }
  Impl::release(old, true);
}

void CstStr::shareLong(const CstStr& other) { w_ = Impl::share(other, true); }

void CstStr::releaseLong() noexcept { Impl::release(w_, true); }

// ---- construction and assignment ------------------------------------------------------------------------------

CstStr::CstStr(const char* text) : w_(Impl::copyOf(text, text ? checkedLength(std::strlen(text)) : 0)) {}

CstStr::CstStr(int count, const char* text) : w_(Impl::copyOf(text, text && count > 0 ? count : 0)) {}

CstStr::CstStr(int count, char c) : w_{} {
  if (count <= 0) return;
  if (count < kBigLen) {
    w_.chars.length = count;
    std::memset(w_.chars.text, c, static_cast<std::size_t>(count));
    return;
  }
  SharedArray<char>* block = SharedArray<char>::create(count);
  std::memset(block->data, c, static_cast<std::size_t>(count));
  block->count = 1;
  w_ = Impl::blockRef(block, 0, count);
}

CstStr::CstStr(const ArrayPtr<char>& text) : w_(Impl::fromHandle(text)) {}

CstStr::CstStr(int index, int length, SharedArray<char>* block) : w_(Impl::blockRef(block, index, length)) {
  detail::retainCount(block->count);
}

CstStr& CstStr::operator=(const CstStr& other) {
  if (this == &other) return *this;
  if (isLong() && other.isLong() && Impl::sameTarget(w_, other.w_)) {
    w_.ref.length = other.w_.ref.length;
    w_.ref.index = other.w_.ref.index;
    return *this;
  }
  const Words old = w_;
  w_ = Impl::share(other, true);
  Impl::release(old, true);
  return *this;
}

CstStr& CstStr::operator=(CstStr&& other) noexcept {
  if (this != &other) {
    const Words old = w_;
    w_ = Impl::take(other);
    Impl::release(old, true);
  }
  return *this;
}

CstStr& CstStr::operator=(const ArrayPtr<char>& text) {
  if (text.length() >= kBigLen && isLong() && w_.ref.index >= 0 &&
      Impl::address(w_) == reinterpret_cast<std::uintptr_t>(text.getBlock())) {
    w_.ref.length = text.length();
    w_.ref.index = text.offset();
    return *this;
  }
  const Words old = w_;
  w_ = Impl::fromHandle(text);
  Impl::release(old, true);
  return *this;
}

CstStr& CstStr::operator=(const char* text) {
  const Words old = w_;
  w_ = Impl::copyOf(text, text ? checkedLength(std::strlen(text)) : 0);  // reads the text before releasing
  Impl::release(old, true);
  return *this;
}

// ---- concatenation --------------------------------------------------------------------------------------------

CstStr CstStr::cat(const CstStr& a, const CstStr& b) {
  const std::int32_t la = a.length();
  const std::int32_t lb = b.length();
  if (la == 0) return b;
  if (lb == 0) return a;
  const std::int32_t n = checkedSum(la, lb);
  if (n < kBigLen) return CstStr(Impl::shortText(a.w_.chars.text, la, b.w_.chars.text, lb));
  CatStr* node = Impl::newNode();
  if (!a.isLong() && Impl::isNode(b.w_) && la + Impl::node(b.w_)->left.length() < kBigLen) {
    // "ab" + ("cd" + long) -> "abcd" + long
    const CatStr* bn = Impl::node(b.w_);
    node->left.w_ = Impl::shortText(a.w_.chars.text, la, bn->left.w_.chars.text, bn->left.length());
    node->right.w_ = Impl::share(bn->right, Impl::isSole(b.w_));
    if (Impl::isSole(b.w_)) b.w_.ref.target &= ~kTailMark;  // b's right operand is shared now: b stops filling it
  } else if (!b.isLong() && Impl::isNode(a.w_) && Impl::node(a.w_)->right.length() + lb < kBigLen) {
    // (long + "ab") + "cd" -> long + "abcd"
    const CatStr* an = Impl::node(a.w_);
    node->left.w_ = Impl::share(an->left, Impl::isSole(a.w_));
    node->right.w_ = Impl::shortText(an->right.w_.chars.text, an->right.length(), b.w_.chars.text, lb);
  } else {
    node->left.w_ = Impl::share(a, true);
    node->right.w_ = Impl::share(b, true);
  }
  return CstStr(Impl::nodeRef(node, n));
}

// A value that alone holds its node grows in place: short pieces fill its short right operand as `cat` would;
// once that is full it moves into a tail block with room for as much again as the whole text, which later
// pieces fill. When the right operand is long and has no room, the value becomes node(value, piece), its own
// reference moving into the new node. No count lock is taken on any of these paths. (operator+=(char) in the
// header repeats the most common of them, filling a tail, without a call.)
inline bool CstStr::Impl::appendInPlace(CstStr& s, const char* text, std::int32_t count) {
  const std::int32_t n = s.w_.ref.length;
  char* at;
  if (n + count < kBigLen) {
    at = s.w_.chars.text + n;
    s.w_.chars.length = n + count;
  } else if (isSoleNode(s.w_) && count <= INT32_MAX - n) {
    Words& right = node(s.w_)->right.w_;
    if (!isLong(right) && right.chars.length + count < kBigLen) {
      at = right.chars.text + right.chars.length;
      right.chars.length += count;
    } else if (isFillingTail(s.w_) && block(right)->length - n >= count) {
      at = block(right)->data + n;
      right.ref.length += count;
    } else {
      return false;
    }
    s.w_.ref.length = n + count;
  } else {
    return false;
  }
  std::memmove(at, text, static_cast<std::size_t>(count));  // the text may lie inside this short value
  return true;
}

void CstStr::Impl::appendShort(CstStr& s, const char* text, std::int32_t count) {
  if (count <= 0 || appendInPlace(s, text, count)) return;
  if (!isSoleNode(s.w_)) {
    s = cat(s, CstStr(shortText(text, count)));
    return;
  }
  const std::int32_t total = checkedSum(s.w_.ref.length, count);
  Words& right = node(s.w_)->right.w_;
  if (!isLong(right)) {
    right = newTail(total, right, text, count);
    s.w_.ref.target |= kTailMark;
  } else {
    CatStr* fresh = newNode();
    fresh->left.w_ = asOperand(s.w_);
    fresh->right.w_ = shortText(text, count);
    s.w_ = nodeRef(fresh, total);
    return;
  }
  s.w_.ref.length = total;
}

// A marked tail block for a value of `total` characters that ends with the short text `head`, then `text`: room
// in front for the rest of the value, and behind for as much again as all of it, but never for a value beyond
// the longest length, so that filling a tail needs no length check.
CstStr::Words CstStr::Impl::newTail(std::int32_t total, const Words& head, const char* text, std::int32_t count) {
  const std::int32_t length = head.chars.length + count;
  const std::int32_t front = total - length;
  const std::int32_t room = std::min(std::max(kMinTail, total), INT32_MAX - total);
  SharedArray<char>* block = SharedArray<char>::create(total + room);
  std::memcpy(block->data + front, head.chars.text, static_cast<std::size_t>(head.chars.length));
  std::memcpy(block->data + front + head.chars.length, text, static_cast<std::size_t>(count));
  block->count = 1;
  return blockRef(block, front, length, true);
}

void CstStr::Impl::append(CstStr& s, const CstStr& t) {
  const std::int32_t count = t.length();
  if (count < kBigLen) {
    appendShort(s, t.w_.chars.text, count);
  } else if (isSoleNode(s.w_) && &t != &s) {
    const std::int32_t total = checkedSum(s.w_.ref.length, count);
    CatStr* fresh = newNode();
    fresh->right.w_ = share(t, true);
    fresh->left.w_ = asOperand(s.w_);
    s.w_ = nodeRef(fresh, total);
  } else {
    s = cat(s, t);
  }
}

CstStr& CstStr::operator+=(const CstStr& text) {
  Impl::append(*this, text);
  return *this;
}

CstStr& CstStr::operator+=(const ArrayPtr<char>& text) {
  if (text.length() < kBigLen) {
    Impl::appendShort(*this, text.toPtr(), text.length());
  } else {
    Impl::append(*this, CstStr(text));
  }
  return *this;
}

CstStr& CstStr::operator+=(const char* text) {
  const std::int32_t count = text ? checkedLength(std::strlen(text)) : 0;
  if (count < kBigLen) {
    Impl::appendShort(*this, text, count);
  } else {
    Impl::append(*this, CstStr(count, text));
  }
  return *this;
}

CstStr& CstStr::appendChar(char c) {
  Impl::appendShort(*this, &c, 1);
  return *this;
}

}  // namespace zem_util
