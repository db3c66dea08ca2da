// The representation of `CstStr`, shared by its building and its reading halves.
//
// The value's words. The public class holds them as opaque bytes; here they are laid out as a length, then
// either the characters of a short text (under 8, NUL-padded: equal short texts have equal words) or, for a
// long text, an index and a tagged pointer:
//
//   "abc"         -> { 3 | 'a' 'b' 'c' 0 0 0 0 0 }
//   block window  -> { 10 | index 3 | block + marks }    the text is block.data[3] .. block.data[12]
//   node          -> { 16 | index -1 | node + marks }    the text is node.left's, then node.right's
//
// Ownership marks. A long reference whose bit 0 is set is known to be the only reference to its block or node
// (count 1). The mark is set only on references to things just allocated, and on references moved from one
// marked place to another; copying a reference clears the mark on its source. A mark is trusted only when every
// reference on the way to it from the value being worked on is marked too: a node reached through an unmarked
// reference may be shared, and its operands may have been copied without their marks being cleared (a shared
// node is never written). Behind a trusted path a value may change its node in place and release it without
// the count lock, which is what makes repeated appends cheap.
//
// Tail blocks. A value that alone holds its node appends short pieces into a block of its own, the node's right
// operand, which is allocated with room in front for the left operand's text and room behind for as much again
// as the whole value (its block length is its capacity):
//
//   value -(both marks)-> node{ left: "0123456789", right -(marked)-> [ 10 unwritten | "abcdefghij" | room ] }
//
// The window starts at the left operand's length, so the next character goes to the value's own length, and
// flattening only writes the left text in front and takes the block over. The value's second mark (bit 1) says
// that its right operand is such a tail; a marked block reached through a node is always one.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#include "core/block_access.h"
#include "zem_util/cst_str.h"

namespace zem_util {

// A concatenation node: the count of the values and nodes that hold it, then two operands, never empty.
struct CatStr {
  std::atomic<std::int32_t> count;
  CstStr left;
  CstStr right;

  // From a cache of free nodes kept by each thread (cst_str.cpp).
  static void* operator new(std::size_t size);
  static void operator delete(void* node) noexcept;
};

struct CstStr::Impl {
  // ---- the words ----------------------------------------------------------------------------------------------

  static constexpr std::uintptr_t kSoleMark = 1;  // the only reference to its block or node
  static constexpr std::uintptr_t kTailMark = 2;  // a value filling the tail block of its node
  static constexpr std::uintptr_t kMarks = kSoleMark | kTailMark;

  struct LongForm {
    std::int32_t length;
    std::int32_t index;  // >= 0 with a block, -1 with a node
    std::uintptr_t target;
  };
  struct ShortForm {
    std::int32_t length;
    char text[kBigLen];  // the characters, then NULs
  };
  union Words {
    LongForm ref;
    ShortForm chars;
  };
  static_assert(sizeof(Words) == sizeof(CstStr) && alignof(Words) == alignof(CstStr),
                "the words fill the value's representation exactly");
  static_assert(alignof(CatStr) >= 4 && alignof(SharedArray<char>) >= 4, "the marks use two low address bits");

  // The words of a value, laid over its opaque bytes.
  static Words& rep(const CstStr& s) noexcept { return *std::launder(reinterpret_cast<Words*>(s.rep_)); }
  // A value holding `words`, taking no reference of its own.
  static CstStr make(const Words& words) noexcept {
    CstStr s;
    rep(s) = words;
    return s;
  }

  static bool isLong(const Words& w) { return static_cast<std::uint32_t>(w.ref.length) >= kBigLen; }
  static bool isNode(const Words& w) { return isLong(w) && w.ref.index < 0; }
  static bool isSole(const Words& w) { return (w.ref.target & kSoleMark) != 0; }
  static bool isSoleNode(const Words& w) { return isNode(w) && isSole(w); }
  static bool isFillingTail(const Words& w) { return isLong(w) && (w.ref.target & kMarks) == kMarks; }
  static std::uintptr_t address(const Words& w) { return w.ref.target & ~kMarks; }
  static SharedArray<char>* block(const Words& w) { return reinterpret_cast<SharedArray<char>*>(address(w)); }
  static CatStr* node(const Words& w) { return reinterpret_cast<CatStr*>(address(w)); }
  static bool sameTarget(const Words& a, const Words& b) { return address(a) == address(b); }

  static Words blockRef(SharedArray<char>* block, std::int32_t index, std::int32_t length, bool sole = false) {
    Words w{};
    w.ref = {length, index, reinterpret_cast<std::uintptr_t>(block) | (sole ? kSoleMark : 0)};
    return w;
  }
  static Words nodeRef(CatStr* node, std::int32_t length) {
    Words w{};
    w.ref = {length, -1, reinterpret_cast<std::uintptr_t>(node) | kSoleMark};
    return w;
  }
  // A short text: a's characters, then b's, then NULs up to the end of the words. la + lb < kBigLen.
  static Words shortText(const char* a, std::int32_t la, const char* b = nullptr, std::int32_t lb = 0) {
    Words w{};
    w.chars.length = la + lb;
    if (la > 0) std::memcpy(w.chars.text, a, static_cast<std::size_t>(la));
    if (lb > 0) std::memcpy(w.chars.text + la, b, static_cast<std::size_t>(lb));
    return w;
  }
  // A value's reference moved into a node keeps its ownership mark but not the tail mark, which only values have.
  static Words asOperand(const Words& w) {
    Words operand{};
    operand.ref = {w.ref.length, w.ref.index, w.ref.target & ~kTailMark};  // field by field: no partial reload
    return operand;
  }
  static Words take(CstStr& s) {
    const Words w = rep(s);
    rep(s) = Words{};
    return w;
  }

  // ---- blocks -------------------------------------------------------------------------------------------------

  using Blocks = detail::BlockAccess;

  // A new block of `length` characters (and the NUL) with count 1, for the caller to fill.
  static SharedArray<char>* newBlock(std::int32_t length) {
    SharedArray<char>* block = Blocks::create<char>(length);
    Blocks::count(block) = 1;
    return block;
  }
  static char* data(SharedArray<char>* block) { return Blocks::data(block); }
  // A tail block's capacity; a flattened tail takes its text's length.
  static std::int32_t& capacity(SharedArray<char>* block) { return Blocks::length(block); }
  static std::atomic<std::int32_t>& countOf(const Words& w) {
    return w.ref.index < 0 ? node(w)->count : Blocks::count(block(w));
  }

  // ---- the operations ------------------------------------------------------------------------------------------

  // The text of a short value or of a block window, without flattening.
  static const char* leafText(const CstStr& s) {
    const Words& w = rep(s);
    return isLong(w) ? data(block(w)) + w.ref.index : w.chars.text;
  }
  // The text side by side, flattening a node first.
  static const char* text(const CstStr& s) {
    if (isNode(rep(s))) s.compact();
    return leafText(s);
  }

  // A text of `count` characters (short, or a new block of its own).
  static Words copyOf(const char* text, std::int32_t count);
  static Words fromHandle(const ArrayPtr<char>& text);
  // A value on `length` characters of `block` from `index`, taking a reference.
  static CstStr window(SharedArray<char>* block, std::int32_t index, std::int32_t length);

  // The words of a new reference to what `s` refers to (unmarked). When `s` sits on a trusted path its mark
  // is cleared, since it is no longer the only reference.
  static Words share(const CstStr& s, bool trustedPath);
  // Drops one reference; frees what it leads to when that was the last one, walking nodes without recursion.
  static void release(const Words& w, bool trustedPath) noexcept;
  // A node with count 1 and empty operands, for the caller to fill.
  static CatStr* newNode() { return new CatStr{1, CstStr(), CstStr()}; }

  // Copies `count` characters of `s` from `start` (both valid). Descends into the shorter operand of a node
  // by recursion and into the longer one by iteration, so the recursion is at most 31 deep.
  static void copyRange(const CstStr& s, std::int32_t start, std::int32_t count, char* out);
  // Copies the whole text of `w` to `out`, then `w` is released (consumed piece by piece where it alone holds it).
  static void moveText(Words w, char* out);

  // Writes a short piece into the value or its node where there is room already; false when that needs a new
  // block or node.
  static bool appendInPlace(CstStr& s, const char* text, std::int32_t count);
  // s += text for a short piece (count < kBigLen).
  static void appendShort(CstStr& s, const char* text, std::int32_t count);
  // s += t for any t.
  static void append(CstStr& s, const CstStr& t);
  // s += c where `operator+=(char)` found no room in place.
  static CstStr& appendChar(CstStr& s, char c);

  // The position of the first byte that differs, or n: eight bytes at a time, then four, then one.
  static std::int32_t firstDifference(const char* a, const char* b, std::int32_t n) {
    std::int32_t i = 0;
    while (n - i >= 8 && load<std::uint64_t>(a + i) == load<std::uint64_t>(b + i)) i += 8;
    if (n - i >= 4 && load<std::uint32_t>(a + i) == load<std::uint32_t>(b + i)) i += 4;
    while (i < n && a[i] == b[i]) ++i;
    return i;
  }
  template <class Word>
  static Word load(const char* p) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    return word;
  }

 private:
  static CatStr* drop(const Words& w, bool trusted) noexcept;
  static Words newTail(std::int32_t total, const Words& head, const char* text, std::int32_t count);
};

}  // namespace zem_util
