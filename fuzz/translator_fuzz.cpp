// Fuzz target of the marker expansion of Translator::getMsg(id, params). The input is lines: the message text,
// then one parameter per line (any bytes but the line feed, NUL included; a parameter may be empty). The text is
// looked up both as a catalogue entry and as an unknown identifier (which is its own text), and the result must
// be the one of the plain expansion below, written from the rules rather than from the library's code:
//   {N} with one or more ASCII digits names parameter N (leading zeros allowed, any size); it is replaced by
//   that parameter, or by nothing when the list is shorter; every other character, a '{' that opens no marker
//   included, is copied; parameter values are inserted as they are.
// A text without markers comes back as the very same block.
#include <zem_util/translator.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::Translator;
using zem_util::fuzz::toHandle;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string expand(const std::string& text, const std::vector<std::string>& params) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t close = i + 1;
    while (text[i] == '{' && close < text.size() && isDigit(text[close])) ++close;
    if (close == i + 1 || close == text.size() || text[close] != '}') {
      out += text[i++];
      continue;
    }
    std::size_t index = 0;  // capped just past the list: every larger number names nothing as well
    for (std::size_t d = i + 1; d < close; ++d) {
      index = index * 10 + static_cast<std::size_t>(text[d] - '0');
      if (index > params.size()) index = params.size();
    }
    if (index < params.size()) out += params[index];
    i = close + 1;
  }
  return out;
}

// Without parameters every marker vanishes, and only markers do.
bool hasMarker(const std::string& text) { return expand(text, {}).size() != text.size(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\n', start);
    lines.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::string text = lines[0];
  const std::vector<std::string> params(lines.begin() + 1, lines.end());

  // The parameters are windows of the input's block, none of them NUL-terminated but the last.
  const ArrayPtr<char> whole = toHandle(input);
  ArrayPtr<ArrayPtr<char>> list(static_cast<std::int32_t>(params.size()));
  std::int32_t offset = static_cast<std::int32_t>(text.size()) + 1;
  for (std::size_t i = 0; i < params.size(); ++i) {
    list[static_cast<std::int32_t>(i)] = whole.slice(offset, static_cast<std::int32_t>(params[i].size()));
    offset += static_cast<std::int32_t>(params[i].size()) + 1;
  }
  const ArrayPtr<char> textHandle = whole.slice(0, static_cast<std::int32_t>(text.size()));
  const std::string expected = expand(text, params);

  Translator catalogue;
  catalogue.addMsg("id", textHandle);
  const ArrayPtr<char> found = catalogue.getMsg("id", list);
  ZEM_FUZZ_CHECK(test_support::text(found) == expected);
  if (!hasMarker(text)) ZEM_FUZZ_CHECK(found.sharesBlockWith(whole));
  ZEM_FUZZ_CHECK(test_support::text(Translator(catalogue).getMsg("id", list)) == expected);

  const Translator empty;
  ZEM_FUZZ_CHECK(test_support::text(empty.getMsg(textHandle, list)) == expected);
  ZEM_FUZZ_CHECK(test_support::text(empty.getMsg(textHandle, ArrayPtr<ArrayPtr<char>>())) == expand(text, {}));
  return 0;
}
