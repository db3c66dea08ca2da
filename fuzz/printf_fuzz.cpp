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
#include <variant>
#include <vector>

#include "fuzz_support.h"
#include "testing/test_access.h"

// The formats are made from the input at run time, which is the point, so the compiler cannot check them.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

// What each argument of a conversion is passed as. Integer sizes wider than int all travel as long long (the same
// slot in every calling convention this library has), pointers as texts, and floating point as it is.
using Argument = std::variant<int, long long, const char*, double, long double>;

constexpr std::size_t kBufferSize = 4096;
constexpr std::size_t kMostArguments = 4;

int ours(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = zem_util::test_access::formatText(buffer, size, format, args);
  va_end(args);
  return length;
}

// Both printfs over the same arguments, into buffers filled with a byte that shows anything written beyond what
// vsnprintf writes (an error's leftovers are open), and `format`, which goes through the library's printf too.
// The 0 after the values keeps the compiler from taking a format without arguments for an insecure one.
template <class... Values>
void compareWith(const std::string& format, std::size_t size, Values... values) {
  static char expected[kBufferSize + 16], actual[kBufferSize + 16];
  std::memset(expected, 0x5A, sizeof expected);
  std::memset(actual, 0x5A, sizeof actual);
  const int want = std::snprintf(expected, size, format.c_str(), values...);
  const int got = ours(actual, size, format.c_str(), values...);
  if (want != got) std::fprintf(stderr, "format \"%s\", size %zu: %d, expected %d\n", format.c_str(), size, got, want);
  ZEM_FUZZ_CHECK(got == want);
  if (want < 0) return;
  ZEM_FUZZ_CHECK(std::memcmp(expected, actual, sizeof expected) == 0);
  if (want <= 3000 && size == kBufferSize) {
    const zem_util::ArrayPtr<char> text = zem_util::format(format.c_str(), values..., 0);
    ZEM_FUZZ_CHECK(text.length() == want && std::memcmp(text.toPtr(), expected, static_cast<std::size_t>(want)) == 0);
  }
}

// Passes each argument as its own type, then compares.
template <class... Values>
void callWith(const std::string& format, std::size_t size, const std::vector<Argument>& args, Values... values) {
  if constexpr (sizeof...(Values) < kMostArguments) {
    if (sizeof...(Values) < args.size()) {
      return std::visit([&](auto value) { callWith(format, size, args, values..., value); }, args[sizeof...(Values)]);
    }
  }
  compareWith(format, size, values...);
}

// Builds the format and its arguments from the input.
class Generator {
 public:
  explicit Generator(zem_util::fuzz::Input& input) : input_(input) {
    positional_ = input_.pick(8) == 0;
    for (int pieces = 1 + input_.pick(8); pieces > 0; --pieces) {
      const int kind = input_.pick(5);
      if (kind == 1) format += "%%";
      if (kind == 0 || (kind > 1 && !conversion())) literal();
    }
  }

  std::string format;
  std::vector<Argument> args;

 private:
  int pick(int n) { return input_.pick(n); }
  std::uint32_t word() { return input_.takeWord(); }

  // A few bytes of text, '%' doubled and NUL left out.
  void literal() {
    for (char c : input_.takeText(static_cast<std::size_t>(pick(12)))) {
      if (c == '%') format += '%';
      if (c != '\0') format += c;
    }
  }

  // Mostly below 40; one in nine up to 240; one in 43 around the largest buffer and the printf's own limit, both
  // 4096 (past the limit the C library takes the whole format). Long texts are kept rare because the C library
  // pads them in pieces of 16 and a fuzzer minute has room for a million inputs. An input that has run out
  // picks 0s, hence small numbers there.
  int smallOrLarge() {
    const int choice = pick(512);
    if (choice >= 500) return 4000 + pick(200);
    return choice >= 448 ? 40 + pick(200) : pick(40);
  }

  // A `*` argument, when there is room for it besides the value's: usually small, sometimes negative (a '-' flag
  // for a width, none for a precision).
  void star(const char* prefix) {
    if (args.size() + 2 > kMostArguments) return;
    args.emplace_back(pick(4) == 0 ? -pick(30) : pick(4) == 0 ? smallOrLarge() : pick(30));
    format += prefix + std::string("*");
  }

  bool conversion() {
    static const char kConversions[] = "diuxXocspfeEgaA%yFG";
    static const char* const kSizes[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t", "L"};
    const char c = kConversions[pick(static_cast<int>(sizeof kConversions - 1))];
    // "%5%", "%y" and the like read nothing, and what they print is the C library's alone.
    const bool readsNothing = c == '%' || c == 'y';
    if (args.size() == kMostArguments || (readsNothing && positional_)) return false;
    format += '%';
    if (positional_) format += std::to_string(args.size() + 1) + "$";
    for (const char flag : {'-', '+', ' ', '#', '0'}) format.append(pick(5) == 0 ? 1 : 0, flag);
    if (pick(40) == 0) format += '\'';
    const bool stars = !positional_ && !readsNothing;  // positional formats would need to number them
    const int width = pick(4);
    if (width == 1) format += std::to_string(smallOrLarge());
    if (width == 2 && stars) star("");
    const int precision = pick(5);
    if (precision == 1) format += ".";
    if (precision == 2) format += "." + std::to_string(smallOrLarge());
    if (precision == 3 && stars) star(".");
    std::string size = kSizes[pick(static_cast<int>(sizeof kSizes / sizeof *kSizes))];
    if (readsNothing || c == 's' || c == 'p' || c == 'c') size.clear();  // "%ls" and "%lc" are wide
    if (c == 's' || c == 'p') {
      args.emplace_back(text());
    } else if (std::strchr("fFeEgGaA", c)) {
      if (size != "l" && size != "L") size.clear();
      const double d = real();
      const long double ld = static_cast<long double>(d) * (pick(2) ? 1.0L : 1.25L);
      args.push_back(size == "L" ? Argument(ld) : Argument(d));
    } else if (readsNothing) {
    } else if (size == "" || size == "hh" || size == "h") {
      args.emplace_back(static_cast<int>(word()));
    } else {
      args.emplace_back(static_cast<long long>(static_cast<std::uint64_t>(word()) << 32 | word()));
    }
    format += size + c;
    return true;
  }

  const char* text() {
    static const std::string kLong(300, 'w');
    static const char* const kTexts[] = {"", "a", "hello world", "\xe9t\xe9", nullptr};
    const int choice = pick(6);
    return choice == 5 ? kLong.c_str() : kTexts[choice];
  }

  double real() {
    static const double kReals[] = {
        0.0, -0.0, 1.5, -123.456, 1e300, 5e-324, 0.1, 2.5, std::numeric_limits<double>::infinity(), std::nan("")};
    const int choice = pick(11);
    if (choice < 10) return kReals[choice];
    const std::uint64_t bits = static_cast<std::uint64_t>(word()) << 32 | word();
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
  const Generator generator(input);
  callWith(generator.format, bufferSize, generator.args);
  return 0;
}
