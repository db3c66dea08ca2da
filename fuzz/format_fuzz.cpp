// Fuzz target of the three printf-style builders and their 3000-character limit: `format`, `CstStr::fromFormat`
// and `Translator::getFormattedMsg`. The input's first bytes choose a kind of format and a length, mostly within
// ten characters of the limit; the rest is the text to format. Each builder must return exactly the expected
// text when it has 3000 characters or fewer, and otherwise throw its own message as a `const char*`; none may
// write past its buffer on the way (AddressSanitizer watches the stack).
#include <zem_util/cst_str.h>
#include <zem_util/translator.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

using zem_util::CstStr;

constexpr std::size_t kLimit = 3000;

// A builder's text must be `expected` when that has 3000 characters or fewer; otherwise it throws its own message.
template <class Build>
void check(Build build, const std::string& expected, const char* limitMessage) {
  try {
    const zem_util::ArrayPtr<char> text = build();
    ZEM_FUZZ_CHECK(expected.size() <= kLimit && text.view() == expected);
  } catch (const char* message) {
    ZEM_FUZZ_CHECK(expected.size() > kLimit && std::strcmp(message, limitMessage) == 0);
  }
}

// Formats `fmt` over `args` with each builder; the translator's catalogue holds `fmt` as a text. The formats are
// made from the input at run time, which is the point, so the compiler cannot check them.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <class... Args>
void checkBuilders(const std::string& expected, const std::string& fmt, Args... args) {
  check([&] { return zem_util::format(fmt.c_str(), args...); }, expected,
        "'zem_util::format' cannot be used to format more than 3000 characters !");
  check([&] { return CstStr::fromFormat(fmt.c_str(), args...).toStr(); }, expected,
        "CstStr::fromFormat cannot be used to format more than 3000 characters !");
  zem_util::Translator catalogue;
  catalogue.addMsg("fmt", fmt.c_str());
  check([&] { return catalogue.getFormattedMsg("fmt", args...); }, expected,
        "Translator::getMsgWithArgs cannot be used to format more than 3000 characters !");
}

// `text` repeated to exactly `length` characters ("x" when it is empty), doubling rather than appending one
// copy at a time.
std::string repeat(const std::string& text, std::size_t length) {
  std::string result = text.empty() ? std::string("x") : text;
  while (result.size() < length) result += result;
  result.resize(length);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zem_util::fuzz::Input input(data, size);
  const int kind = input.pick(5);
  const std::size_t length =
      static_cast<std::size_t>(input.pick(4) != 0 ? kLimit - 10 + input.pick(21) : input.pick(6001));
  std::string text = input.takeText(size);
  for (char& c : text) c = c == '\0' ? '0' : c;  // "%s" would stop at a NUL
  const std::string body = repeat(text, length);
  const int width = static_cast<int>(length);
  switch (kind) {
    case 0:
      checkBuilders(body, "%s", body.c_str());
      break;
    case 1: {  // padded on the left to the width
      const std::string word = text.substr(0, 8);
      checkBuilders(std::string(length > word.size() ? length - word.size() : 0, ' ') + word, "%*s", width,
                    word.c_str());
      break;
    }
    case 2:  // a precision that cuts a longer text
      checkBuilders(body, "%.*s", width, (body + "tail").c_str());
      break;
    case 3: {  // an embedded NUL from %c counts as a character
      const std::size_t half = length / 2;
      const std::string left = body.substr(0, half);
      const std::string right = body.substr(half + (length > 0 ? 1 : 0));
      checkBuilders(left + '\0' + right, "%s%c%s", left.c_str(), 0, right.c_str());
      break;
    }
    default: {  // a long literal format, every '%' of the text written as "%%"
      std::string fmt;
      std::size_t start = 0;
      for (std::size_t percent; (percent = body.find('%', start)) != std::string::npos; start = percent + 1) {
        fmt.append(body, start, percent + 1 - start) += '%';
      }
      fmt.append(body, start, std::string::npos);
      checkBuilders(body, fmt, 0);
      break;
    }
  }
  return 0;
}
