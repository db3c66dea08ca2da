// Differential fuzz target of the library's printf against the C library's vsnprintf. The input's bytes build a
// format (literal text, "%%", and up to four argument-taking conversions with random flags, widths, precisions
// and sizes, sometimes positional, sometimes unknown to either), the arguments that format reads, and a buffer
// size from 0 up; both must give the same result and leave the same bytes in the buffer, and the library's
// `format` must give the same text.
#include <zem_util/core.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "testing/test_access.h"

namespace {

// What each argument of a conversion is passed as. Integer sizes wider than int all travel as long long (the same
// slot in every calling convention this library has), pointers as texts, and floating point as it is.
enum class Kind { kInt, kLongLong, kText, kDouble, kLongDouble };

struct Argument {
  Kind kind;
  int i = 0;
  long long ll = 0;
  const char* text = nullptr;
  double d = 0;
  long double ld = 0;
};

constexpr std::size_t kBufferSize = 4096;
constexpr int kMostArguments = 4;

int ours(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = zem_util::test_access::formatText(buffer, size, format, args);
  va_end(args);
  return length;
}

int theirs(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return length;
}

// The two buffers, filled with a byte that shows anything written beyond what vsnprintf writes.
char expected[kBufferSize + 16];
char actual[kBufferSize + 16];

void checkSame(const std::string& format, std::size_t size, int want, int got) {
  if (want != got) std::fprintf(stderr, "format \"%s\", size %zu: %d, expected %d\n", format.c_str(), size, got, want);
  ZEM_FUZZ_CHECK(got == want);
  if (want >= 0) ZEM_FUZZ_CHECK(std::memcmp(expected, actual, sizeof expected) == 0);  // an error's leftovers are open
}

// Both printfs over the same arguments, and `format`, which goes through the library's printf too. The 0 after
// the values keeps the compiler from taking a format without arguments for an insecure one. The formats are made
// from the input at run time, which is the point, so the compiler cannot check them.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <class... Values>
void compareWith(const std::string& format, std::size_t size, Values... values) {
  std::memset(expected, 0x5A, sizeof expected);
  std::memset(actual, 0x5A, sizeof actual);
  const int want = theirs(expected, size, format.c_str(), values...);
  checkSame(format, size, want, ours(actual, size, format.c_str(), values...));
  if (want >= 0 && want <= 3000 && size == kBufferSize) {
    const zem_util::ArrayPtr<char> text = zem_util::format(format.c_str(), values..., 0);
    ZEM_FUZZ_CHECK(text.length() == want && std::memcmp(text.toPtr(), expected, static_cast<std::size_t>(want)) == 0);
  }
}

// Passes the arguments from `next` on, each as its own type, then compares.
template <class... Values>
void callWith(const std::string& format, std::size_t size, const std::vector<Argument>& args, std::size_t next,
              Values... values) {
  if constexpr (sizeof...(Values) < kMostArguments) {
    if (next < args.size()) {
      const Argument& a = args[next];
      switch (a.kind) {
        case Kind::kInt:
          return callWith(format, size, args, next + 1, values..., a.i);
        case Kind::kLongLong:
          return callWith(format, size, args, next + 1, values..., a.ll);
        case Kind::kText:
          return callWith(format, size, args, next + 1, values..., a.text);
        case Kind::kDouble:
          return callWith(format, size, args, next + 1, values..., a.d);
        case Kind::kLongDouble:
          return callWith(format, size, args, next + 1, values..., a.ld);
      }
    }
  }
  compareWith(format, size, values...);
}

// Builds the format and its arguments from the input.
class Generator {
 public:
  explicit Generator(zem_util::fuzz::Input& input) : input_(input) {}

  void build() {
    positional_ = input_.pick(8) == 0;
    const int pieces = 1 + input_.pick(8);
    for (int i = 0; i < pieces; ++i) {
      switch (input_.pick(5)) {
        case 0:
          literal();
          break;
        case 1:
          format += "%%";
          break;
        default:
          if (!conversion()) literal();
          break;
      }
    }
  }

  std::string format;
  std::vector<Argument> args;

 private:
  // A few bytes of text, '%' doubled and NUL left out.
  void literal() {
    for (char c : input_.takeText(static_cast<std::size_t>(input_.pick(12)))) {
      if (c == '%') format += '%';
      if (c != '\0') format += c;
    }
  }

  int smallOrLarge() {
    switch (input_.pick(8)) {
      case 0:
        return static_cast<int>(input_.takeWord() % 2000000);  // past the printf's own limit sometimes
      case 1:
        return 100 + input_.pick(5000);
      default:
        return input_.pick(40);
    }
  }

  // A `*` argument: usually small, sometimes negative (a '-' flag for a width, none for a precision).
  void star() {
    Argument a{Kind::kInt};
    a.i = input_.pick(4) == 0 ? -input_.pick(30) : input_.pick(4) == 0 ? smallOrLarge() : input_.pick(30);
    args.push_back(a);
    format += '*';
  }

  bool conversion() {
    static const char kConversions[] = "diuxXocspfeEgaA%yFG";
    static const char* const kSizes[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t", "L"};
    const char c = kConversions[input_.pick(static_cast<int>(sizeof kConversions - 1))];
    // "%5%", "%y" and the like read nothing, and what they print is the C library's alone.
    const bool readsNothing = c == '%' || c == 'y';
    std::size_t room = kMostArguments - args.size();
    if (room == 0 || (readsNothing && positional_)) return false;
    format += '%';
    if (positional_) format += std::to_string(args.size() + 1) + "$";
    for (const char flag : {'-', '+', ' ', '#', '0'}) {
      if (input_.pick(5) == 0) format += flag;
    }
    if (input_.pick(40) == 0) format += '\'';
    // A `*` needs an argument of its own besides the value's: no stars in positional formats or without room.
    const bool stars = !positional_ && !readsNothing;
    const int width = input_.pick(4);
    if (width == 1) format += std::to_string(smallOrLarge());
    if (width == 2 && stars && room >= 2) {
      star();
      --room;
    }
    const int precision = input_.pick(5);
    if (precision == 1) format += ".";
    if (precision == 2) format += "." + std::to_string(smallOrLarge());
    if (precision == 3 && stars && room >= 2) {
      format += '.';
      star();
    }
    std::string size = kSizes[input_.pick(static_cast<int>(sizeof kSizes / sizeof *kSizes))];
    Argument a{Kind::kInt};
    switch (c) {
      case '%':
      case 'y':
        size.clear();
        break;
      case 's':
      case 'p':
        size.clear();  // "%ls" is a wide text
        a.kind = Kind::kText;
        a.text = text();
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (size != "l" && size != "L") size.clear();
        a.kind = size == "L" ? Kind::kLongDouble : Kind::kDouble;
        a.d = real();
        a.ld = static_cast<long double>(a.d) * (input_.pick(2) ? 1.0L : 1.25L);
        break;
      default:  // integers and "%c" ("%lc" would be a wide character)
        if (c == 'c') size.clear();
        if (size == "" || size == "hh" || size == "h") {
          a.i = static_cast<int>(input_.takeWord());
        } else {
          a.kind = Kind::kLongLong;
          a.ll = static_cast<long long>(static_cast<std::uint64_t>(input_.takeWord()) << 32 | input_.takeWord());
        }
        break;
    }
    format += size;
    format += c;
    if (!readsNothing) args.push_back(a);
    return true;
  }

  const char* text() {
    static const std::string kLong(300, 'w');
    static const char* const kTexts[] = {"", "a", "hello world", "\xe9t\xe9", nullptr};
    const int choice = input_.pick(6);
    return choice == 5 ? kLong.c_str() : kTexts[choice];
  }

  double real() {
    static const double kReals[] = {
        0.0, -0.0, 1.5, -123.456, 1e300, 5e-324, 0.1, 2.5, std::numeric_limits<double>::infinity(), std::nan("")};
    const int choice = input_.pick(11);
    if (choice < 10) return kReals[choice];
    std::uint64_t bits = static_cast<std::uint64_t>(input_.takeWord()) << 32 | input_.takeWord();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  zem_util::fuzz::Input& input_;
  bool positional_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zem_util::fuzz::Input input(data, size);
  static const std::size_t kSizes[] = {0, 1, 2, 5, 16, kBufferSize};
  const std::size_t bufferSize = kSizes[input.pick(6)];
  Generator generator(input);
  generator.build();
  callWith(generator.format, bufferSize, generator.args, 0);
  return 0;
}
