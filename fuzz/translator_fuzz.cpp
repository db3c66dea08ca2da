// Fuzz target of the marker expansion of Translator::getMsg(id, params), and of the plug-in libraries the registry
// tries. The input is lines: the message text, then one parameter per line (any bytes but the line feed, NUL
// included; a parameter may be empty). The text is looked up both as a catalogue entry and as an unknown
// identifier (which is its own text), and the result must be the one of the plain expansion below, written from
// the rules rather than from the library's code:
//   {N} with one or more ASCII digits names parameter N (leading zeros allowed, any size); it is replaced by
//   that parameter, or by nothing when the list is shorter; every other character, a '{' that opens no marker
//   included, is copied; parameter values are inserted as they are.
// A text without markers comes back as the very same block.
// The text is also a language, and the first parameter (or Cfg) a component name: the libraries the registry
// would hand the loader for them are the candidates of the rule below that are names rather than paths.
#include <zem_util/translator.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "testing/test_access.h"

namespace {

using zem_util::ArrayPtr;
using zem_util::Translator;
using zem_util::fuzz::toHandle;
using zem_util::fuzz::view;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string expand(std::string_view text, const std::vector<std::string_view>& params) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t open = std::min(text.find('{', i), text.size());
    out += text.substr(i, open - i);
    std::size_t close = open + 1;
    while (close < text.size() && isDigit(text[close])) ++close;
    if (close == open + 1 || close >= text.size() || text[close] != '}') {
      if (open < text.size()) out += '{';
      i = open + 1;
      continue;
    }
    std::size_t index = 0;  // capped just past the list: every larger number names nothing as well
    for (std::size_t d = open + 1; d < close; ++d) {
      index = index * 10 + static_cast<std::size_t>(text[d] - '0');
      if (index > params.size()) index = params.size();
    }
    if (index < params.size()) out += params[index];
    i = close + 1;
  }
  return out;
}

// A library name rather than a path: no separator, no drive or stream colon, no "..", no control character.
bool isLibraryName(std::string_view library) {
  if (library.find("..") != std::string_view::npos) return false;
  for (const char c : library) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

// The candidates are name + "Msg_" + language, then each one before cut at its last underscore, down to
// name + "Msg"; only those that are names reach the loader, in that order.
void checkPluginLibraries(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  const ArrayPtr<ArrayPtr<char>> tried = zem_util::test_access::getPluginLibraryNames(name, language);
  const std::string first = std::string(view(name)) + "Msg_" + std::string(view(language));
  const std::size_t shortest = static_cast<std::size_t>(name.length()) + 3;
  std::int32_t next = 0;
  for (std::string_view candidate = first;; candidate = candidate.substr(0, candidate.rfind('_'))) {
    if (isLibraryName(candidate)) {
      ZEM_FUZZ_CHECK(next < tried.length() && view(tried[next]) == candidate);
      ++next;
    }
    if (candidate.size() == shortest) break;
  }
  ZEM_FUZZ_CHECK(next == tried.length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\n', start);
    lines.push_back(input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const std::string_view text = lines[0];
  const std::vector<std::string_view> params(lines.begin() + 1, lines.end());

  // The text and the parameters are windows of the input's block, none of them NUL-terminated but the last.
  const ArrayPtr<char> whole = toHandle(input);
  ArrayPtr<ArrayPtr<char>> list(static_cast<std::int32_t>(params.size()));
  std::int32_t offset = static_cast<std::int32_t>(text.size()) + 1;
  for (std::size_t i = 0; i < params.size(); ++i) {
    list[static_cast<std::int32_t>(i)] = whole.slice(offset, static_cast<std::int32_t>(params[i].size()));
    offset += static_cast<std::int32_t>(params[i].size()) + 1;
  }
  const ArrayPtr<char> textHandle = whole.slice(0, static_cast<std::int32_t>(text.size()));
  const std::string expected = expand(text, params);
  const std::string bare = expand(text, {});  // without parameters every marker vanishes, and only markers do

  Translator catalogue;
  catalogue.addMsg("id", textHandle);
  const ArrayPtr<char> found = catalogue.getMsg("id", list);
  ZEM_FUZZ_CHECK(view(found) == expected);
  if (bare.size() == text.size()) ZEM_FUZZ_CHECK(found.sharesBlockWith(whole));
  ZEM_FUZZ_CHECK(view(Translator(catalogue).getMsg("id", list)) == expected);

  const Translator empty;
  ZEM_FUZZ_CHECK(view(empty.getMsg(textHandle, list)) == expected);
  ZEM_FUZZ_CHECK(view(empty.getMsg(textHandle, ArrayPtr<ArrayPtr<char>>())) == bare);

  checkPluginLibraries(params.empty() ? ArrayPtr<char>("Cfg") : list[0], textHandle);
  return 0;
}
