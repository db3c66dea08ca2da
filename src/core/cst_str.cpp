// Building, assigning, concatenating, flattening and releasing constant strings.
#include "zem_util/cst_str.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/cst_str_impl.h"

namespace zem_util {

static_assert(std::is_same_v<std::int32_t, int>, "internLen and internIdx hand out the fields as int");
static_assert(sizeof(CstStr) == 8 + sizeof(void*), "a length, an index and one pointer on every target");

namespace {
// What each building operation throws (as std::bad_array_new_length) for a text longer than an int can count.
constexpr const char* kConstructorTooLong = "zem_util::CstStr::CstStr: a text of more than 2147483647 characters";
constexpr const char* kAssignmentTooLong = "zem_util::CstStr::operator=: a text of more than 2147483647 characters";
constexpr const char* kCatTooLong = "zem_util::CstStr::cat: a text of more than 2147483647 characters";
constexpr const char* kAppendTooLong = "zem_util::CstStr::operator+=: a text of more than 2147483647 characters";

std::int32_t checkedLength(std::size_t length, const char* error) {
  if (length > static_cast<std::size_t>(INT32_MAX)) detail::throwLengthError(error);
  return static_cast<std::int32_t>(length);
}

std::int32_t checkedSum(std::int32_t a, std::int32_t b, const char* error) {
  if (b > INT32_MAX - a) detail::throwLengthError(error);
  return a + b;
}
}  // namespace

// ---- nodes ----------------------------------------------------------------------------------------------------

// A chain of appends allocates one node per piece and frees them all at once when it is flattened or released.
// The general allocator serves that slowly (freeing the large flat block makes it merge the small free blocks,
// which the next chain must split again), so each thread keeps the nodes it frees, up to kCachedNodes, for its
// next concatenations. A thread that ends gives its nodes back.
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCachedNodes = 0;  // every node back to the heap, so that AddressSanitizer sees one used after release
#else
constexpr int kCachedNodes = 1024;
#endif

struct FreeNode {
  FreeNode* next;
};

// Trivially destructible, so it stays usable to the thread's very end, after the drain below has run.
struct NodeCache {
  FreeNode* first = nullptr;
  int count = 0;
  bool draining = false;  // the drain is registered: the thread gives its nodes back when it ends
};
// One load from the thread pointer inside the shared library; the static library leaves the model to the linker,
// so that a plug-in linking it needs no room in the static TLS reserve (as the thread identifier does).
#if defined(__GNUC__) && defined(__ELF__) && !defined(ZEM_UTIL_STATIC)
__attribute__((tls_model("initial-exec")))
#endif
thread_local NodeCache nodeCache;

struct NodeCacheDrain {
  ~NodeCacheDrain() {
    while (FreeNode* node = nodeCache.first) {
      nodeCache.first = node->next;
      ::operator delete(node);
    }
    nodeCache.count = kCachedNodes;  // nodes freed later in this thread's life go straight back to the heap
  }
};
thread_local NodeCacheDrain nodeCacheDrain;

}  // namespace

void* CatStr::operator new(std::size_t size) {
  NodeCache& cache = nodeCache;
  if (FreeNode* node = cache.first) {
    cache.first = node->next;
    --cache.count;
#if defined(__GNUC__)
    __builtin_prefetch(cache.first, 1);  // the next node is likely cold: fetch it while this one is filled
#endif
    return node;
  }
  return ::operator new(size);
}

void CatStr::operator delete(void* node) noexcept {
  NodeCache& cache = nodeCache;
  if (cache.count >= kCachedNodes) {
    ::operator delete(node);
    return;
  }
  if (!cache.draining) {
    static_cast<void>(&nodeCacheDrain);  // the first use in this thread registers the drain
    cache.draining = true;
  }
  cache.first = new (node) FreeNode{cache.first};
  ++cache.count;
}

// ---- the representation ---------------------------------------------------------------------------------------

CstStr::Impl::Words CstStr::Impl::copyOf(const char* text, std::int32_t count) {
  if (count < kBigLen) return shortText(text, count);
  SharedArray<char>* block = newBlock(count);
  std::memcpy(data(block), text, static_cast<std::size_t>(count));
  return blockRef(block, 0, count);
}

CstStr::Impl::Words CstStr::Impl::fromHandle(const ArrayPtr<char>& text) {
  if (text.length() < kBigLen) return shortText(text.toPtr(), text.length());
  SharedArray<char>* block = Blocks::blockOf(text);
  detail::retainCount(Blocks::count(block));
  return blockRef(block, text.offset(), text.length());
}

CstStr CstStr::Impl::window(SharedArray<char>* block, std::int32_t index, std::int32_t length) {
  detail::retainCount(Blocks::count(block));
  return make(blockRef(block, index, length));
}

CstStr::Impl::Words CstStr::Impl::share(const CstStr& s, bool trustedPath) {
  Words w = rep(s);
  if (!isLong(w)) return w;
  if (isSole(w)) {
    w.ref.target &= ~kMarks;
    if (trustedPath) rep(s).ref.target &= ~kMarks;
  }
  detail::retainCount(countOf(w));
  return w;
}

// Returns the node when this was its last reference (its operands still held), after freeing a dead block.
CatStr* CstStr::Impl::drop(const Words& w, bool trusted) noexcept {
  if (!isLong(w)) return nullptr;
  if (!trusted && detail::releaseCount(countOf(w)) != 0) return nullptr;
  if (w.ref.index >= 0) {
    Blocks::destroy(block(w));
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
        rep(node->right).ref = {0, trusted ? 1 : 0, reinterpret_cast<std::uintptr_t>(waiting)};
        waiting = node;
        node = dead;
        trusted = rightTrusted;
        continue;
      }
    } else if (waiting) {
      node = waiting;
      trusted = rep(node->right).ref.index != 0;
      waiting = reinterpret_cast<CatStr*>(rep(node->right).ref.target);
      rep(node->right) = Words{};
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
    if (!isNode(rep(*at))) {
      std::memcpy(out, leafText(*at) + start, static_cast<std::size_t>(count));
      return;
    }
    const CatStr* n = node(rep(*at));
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

// Copies the text of `w` to `out` and drops the reference `w` holds. Down a chain of nodes that this reference
// alone holds, each right operand is released as soon as it is copied, while its block is still in the cache:
// releasing the chain after copying a long text would find every piece's count evicted by the copy.
void CstStr::Impl::moveText(Words w, char* out) {
  while (isSoleNode(w)) {
    CatStr* n = node(w);
    const Words right = take(n->right);
    w = take(n->left);
    delete n;
    char* at = out + w.ref.length;
    if (isLong(right) && right.ref.index >= 0) {  // a window on a block: the usual appended piece
      std::memcpy(at, data(block(right)) + right.ref.index, static_cast<std::size_t>(right.ref.length));
      drop(right, isSole(right));
    } else {
      const CstStr piece = make(right);
      copyRange(piece, 0, piece.length(), at);
    }
  }
  const CstStr rest = make(w);
  copyRange(rest, 0, rest.length(), out);
}

void CstStr::compact() const {
  Impl::Words& w = Impl::rep(*this);
  const std::int32_t n = w.ref.length;
  SharedArray<char>* block;
  if (Impl::isFillingTail(w)) {  // the tail block has room for the left text in front: take it over
    block = Impl::block(Impl::take(Impl::node(w)->right));
    Impl::capacity(block) = n;
    Impl::data(block)[n] = '\0';
  } else {
    block = Impl::newBlock(n);
  }
  Impl::moveText(w, Impl::data(block));
  w = Impl::blockRef(block, 0, n);
}

void CstStr::shareLong(const CstStr& other) { Impl::rep(*this) = Impl::share(other, true); }

void CstStr::releaseLong() noexcept { Impl::release(Impl::rep(*this), true); }

const int& CstStr::internLen() const noexcept { return Impl::rep(*this).ref.length; }

const int& CstStr::internIdx() const noexcept { return Impl::rep(*this).ref.index; }

// ---- construction and assignment ------------------------------------------------------------------------------

CstStr::CstStr(char c) noexcept : rep_{} { Impl::rep(*this) = Impl::shortText(&c, 1); }

CstStr::CstStr(const char* text) : rep_{} {
  Impl::rep(*this) = Impl::copyOf(text, text ? checkedLength(std::strlen(text), kConstructorTooLong) : 0);
}

CstStr::CstStr(std::string_view text) : rep_{} {
  Impl::rep(*this) = Impl::copyOf(text.data(), checkedLength(text.size(), kConstructorTooLong));
}

CstStr::CstStr(int count, const char* text) : rep_{} {
  Impl::rep(*this) = Impl::copyOf(text, text && count > 0 ? count : 0);
}

CstStr::CstStr(int count, char c) : rep_{} {
  if (count <= 0) return;
  Impl::Words& w = Impl::rep(*this);
  if (count < kBigLen) {
    w.chars.length = count;
    std::memset(w.chars.text, c, static_cast<std::size_t>(count));
    return;
  }
  SharedArray<char>* block = Impl::newBlock(count);
  std::memset(Impl::data(block), c, static_cast<std::size_t>(count));
  w = Impl::blockRef(block, 0, count);
}

CstStr::CstStr(const ArrayPtr<char>& text) : rep_{} { Impl::rep(*this) = Impl::fromHandle(text); }

CstStr& CstStr::operator=(const CstStr& other) {
  if (this == &other) return *this;
  Impl::Words& w = Impl::rep(*this);
  const Impl::Words& o = Impl::rep(other);
  if (isLong() && other.isLong() && Impl::sameTarget(w, o)) {
    w.ref.length = o.ref.length;
    w.ref.index = o.ref.index;
    return *this;
  }
  const Impl::Words old = w;
  w = Impl::share(other, true);
  Impl::release(old, true);
  return *this;
}

CstStr& CstStr::operator=(CstStr&& other) noexcept {
  if (this != &other) {
    Impl::Words& w = Impl::rep(*this);
    const Impl::Words old = w;
    w = Impl::take(other);
    Impl::release(old, true);
  }
  return *this;
}

CstStr& CstStr::operator=(const ArrayPtr<char>& text) {
  Impl::Words& w = Impl::rep(*this);
  if (text.length() >= kBigLen && isLong() && w.ref.index >= 0 && Impl::block(w) == Impl::Blocks::blockOf(text)) {
    w.ref.length = text.length();
    w.ref.index = text.offset();
    return *this;
  }
  const Impl::Words old = w;
  w = Impl::fromHandle(text);
  Impl::release(old, true);
  return *this;
}

CstStr& CstStr::operator=(const char* text) {
  Impl::Words& w = Impl::rep(*this);
  const Impl::Words old = w;
  // The text is read before the old one is released.
  w = Impl::copyOf(text, text ? checkedLength(std::strlen(text), kAssignmentTooLong) : 0);
  Impl::release(old, true);
  return *this;
}

// ---- concatenation --------------------------------------------------------------------------------------------

CstStr CstStr::cat(const CstStr& a, const CstStr& b) {
  const std::int32_t la = a.length();
  const std::int32_t lb = b.length();
  if (la == 0) return b;
  if (lb == 0) return a;
  const std::int32_t n = checkedSum(la, lb, kCatTooLong);
  Impl::Words& wa = Impl::rep(a);
  Impl::Words& wb = Impl::rep(b);
  if (n < kBigLen) return Impl::make(Impl::shortText(wa.chars.text, la, wb.chars.text, lb));
  CatStr* node = Impl::newNode();
  if (!a.isLong() && Impl::isNode(wb) && la + Impl::node(wb)->left.length() < kBigLen) {
    // "ab" + ("cd" + long) -> "abcd" + long
    const CatStr* bn = Impl::node(wb);
    Impl::rep(node->left) = Impl::shortText(wa.chars.text, la, Impl::rep(bn->left).chars.text, bn->left.length());
    Impl::rep(node->right) = Impl::share(bn->right, Impl::isSole(wb));
    if (Impl::isSole(wb)) wb.ref.target &= ~Impl::kTailMark;  // b's right operand is shared now: b stops filling it
  } else if (!b.isLong() && Impl::isNode(wa) && Impl::node(wa)->right.length() + lb < kBigLen) {
    // (long + "ab") + "cd" -> long + "abcd"
    const CatStr* an = Impl::node(wa);
    Impl::rep(node->left) = Impl::share(an->left, Impl::isSole(wa));
    Impl::rep(node->right) = Impl::shortText(Impl::rep(an->right).chars.text, an->right.length(), wb.chars.text, lb);
  } else {
    Impl::rep(node->left) = Impl::share(a, true);
    Impl::rep(node->right) = Impl::share(b, true);
  }
  return Impl::make(Impl::nodeRef(node, n));
}

// A value that alone holds its node grows in place: short pieces fill its short right operand as `cat` would;
// once that is full it moves into a tail block with room for as much again as the whole text, which later
// pieces fill. When the right operand is long and has no room, the value becomes node(value, piece), its own
// reference moving into the new node. No count lock is taken on any of these paths.
inline bool CstStr::Impl::appendInPlace(CstStr& s, const char* text, std::int32_t count) {
  Words& w = rep(s);
  const std::int32_t n = w.ref.length;
  char* at;
  if (n + count < kBigLen) {
    at = w.chars.text + n;
    w.chars.length = n + count;
  } else if (isSoleNode(w) && count <= INT32_MAX - n) {
    Words& right = rep(node(w)->right);
    if (!isLong(right) && right.chars.length + count < kBigLen) {
      at = right.chars.text + right.chars.length;
      right.chars.length += count;
    } else if (isFillingTail(w) && capacity(block(right)) - n >= count) {
      at = data(block(right)) + n;
      right.ref.length += count;
    } else {
      return false;
    }
    w.ref.length = n + count;
  } else {
    return false;
  }
  std::memmove(at, text, static_cast<std::size_t>(count));  // the text may lie inside this short value
  return true;
}

void CstStr::Impl::appendShort(CstStr& s, const char* text, std::int32_t count) {
  if (count <= 0 || appendInPlace(s, text, count)) return;
  Words& w = rep(s);
  const std::int32_t total = checkedSum(w.ref.length, count, kAppendTooLong);
  if (!isSoleNode(w)) {
    s = cat(s, make(shortText(text, count)));
    return;
  }
  Words& right = rep(node(w)->right);
  if (!isLong(right)) {
    right = newTail(total, right, text, count);
    w.ref.target |= kTailMark;
  } else {
    CatStr* fresh = newNode();
    rep(fresh->left) = asOperand(w);
    rep(fresh->right) = shortText(text, count);
    w = nodeRef(fresh, total);
    return;
  }
  w.ref.length = total;
}

// A marked tail block for a value of `total` characters that ends with the short text `head`, then `text`: room
// in front for the rest of the value, and behind for as much again as all of it, but never for a value beyond
// the longest length, so that filling a tail needs no length check.
CstStr::Impl::Words CstStr::Impl::newTail(std::int32_t total, const Words& head, const char* text, std::int32_t count) {
  constexpr std::int32_t kMinTail = 32;  // the least room given to a tail block
  const std::int32_t length = head.chars.length + count;
  const std::int32_t front = total - length;
  const std::int32_t room = std::min(std::max(kMinTail, total), INT32_MAX - total);
  SharedArray<char>* block = newBlock(total + room);
  std::memcpy(data(block) + front, head.chars.text, static_cast<std::size_t>(head.chars.length));
  std::memcpy(data(block) + front + head.chars.length, text, static_cast<std::size_t>(count));
  return blockRef(block, front, length, true);
}

void CstStr::Impl::append(CstStr& s, const CstStr& t) {
  const std::int32_t count = t.length();
  Words& w = rep(s);
  if (count < kBigLen) {
    appendShort(s, rep(t).chars.text, count);
    return;
  }
  const std::int32_t total = checkedSum(w.ref.length, count, kAppendTooLong);
  if (isSoleNode(w) && &t != &s) {
    CatStr* fresh = newNode();
    rep(fresh->right) = share(t, true);
    rep(fresh->left) = asOperand(w);
    w = nodeRef(fresh, total);
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
  const std::int32_t count = text ? checkedLength(std::strlen(text), kAppendTooLong) : 0;
  if (count < kBigLen) {
    Impl::appendShort(*this, text, count);
  } else {
    Impl::append(*this, CstStr(count, text));
  }
  return *this;
}

// The common cases first, without further calls: a value that alone holds its node and is filling a tail block
// of its own (both marks set) that has room left, and a short text with room. The tail's window ends where the
// value's text does, so the character goes to the value's length.
CstStr& CstStr::operator+=(char c) {
  Impl::Words& w = Impl::rep(*this);
  const std::int32_t n = w.ref.length;
  if (Impl::isFillingTail(w)) {
    Impl::Words& right = Impl::rep(Impl::node(w)->right);
    SharedArray<char>* tail = Impl::block(right);
    if (n < Impl::capacity(tail)) {
      Impl::data(tail)[n] = c;
      right.ref.length = n + 1 - right.ref.index;
      w.ref.length = n + 1;
      return *this;
    }
  } else if (n < kBigLen - 1) {
    w.chars.text[n] = c;
    w.chars.length = n + 1;
    return *this;
  }
  return Impl::appendChar(*this, c);
}

// Kept out of line: `operator+=(char)` handles its common cases itself and calls this for the others, which
// inlined there would make every append pay for their registers and stack.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
CstStr&
CstStr::Impl::appendChar(CstStr& s, char c) {
  appendShort(s, &c, 1);
  return s;
}

}  // namespace zem_util
