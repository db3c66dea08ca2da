// Fuzz target of the marker expansion of Translator::getMsg(id, params), and of the plug-in libraries the registry
// tries. The input is lines: the message text, then one parameter per line (any bytes but the line feed; a
// parameter may be empty). Looked up both as a catalogue entry and as an unknown identifier (its own text), the
// text must give the plain expansion below, written from the rules rather than from the library's code: "{N}"
// (one or more ASCII digits, leading zeros and any size allowed) becomes parameter N, or nothing when the list is
// shorter; everything else is copied. A text without markers comes back as the very same block.
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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string expand(std::string_view text, const std::vector<std::string_view>& params) {
  std::string out;
  for (std::size_t i = 0, open; i < text.size(); i = open + 1) {
    open = std::min(text.find('{', i), text.size());
    out += text.substr(i, open + 1 - i);      // up to the '{', which a marker takes back
    std::size_t close = open + 1, index = 0;  // capped just past the list: larger numbers name nothing as well
    for (; close < text.size() && isDigit(text[close]); ++close) {
      index = std::min(index * 10 + static_cast<std::size_t>(text[close] - '0'), params.size());
    }
    if (close == open + 1 || close >= text.size() || text[close] != '}') continue;
    out.pop_back();
    if (index < params.size()) out += params[index];
    open = close;
  }
  return out;
}

// How long a beginning of `library` stays a library name rather than a path: up to its first separator, drive or
// stream colon, control character, or the first dot of a "..". Every candidate is a beginning of the first one,
// so this one look tells them all apart.
std::size_t nameLength(std::string_view library) {
  for (std::size_t i = 0; i < library.size(); ++i) {
    const auto byte = static_cast<unsigned char>(library[i]);
    if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\' || byte == ':') return i;
    if (byte == '.' && i + 1 < library.size() && library[i + 1] == '.') return i;
  }
  return library.size();
}

// The candidates are name + "Msg_" + language, then each one before cut at its last underscore, down to
// name + "Msg"; only those that are names reach the loader, in that order.
void checkPluginLibraries(const ArrayPtr<char>& name, const ArrayPtr<char>& language) {
  const ArrayPtr<ArrayPtr<char>> tried = zem_util::test_access::getPluginLibraryNames(name, language);
  const std::string first = std::string(name.view()) + "Msg_" + std::string(language.view());
  const std::size_t shortest = static_cast<std::size_t>(name.length()) + 3;
  const std::size_t longestName = nameLength(first);
  std::int32_t next = 0;
  for (std::string_view candidate = first;; candidate = candidate.substr(0, candidate.rfind('_'))) {
    if (candidate.size() <= longestName) {
      ZEM_FUZZ_CHECK(next < tried.length() && tried[next].view() == candidate);
      ++next;
    }
    if (candidate.size() == shortest) break;
  }
  ZEM_FUZZ_CHECK(next == tried.length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = zem_util::fuzz::asText(data, size);
  std::vector<std::string_view> params;  // the text first, for now
  for (std::string_view rest = input;;) {
    const auto [line, next] = zem_util::fuzz::splitAtLineFeed(rest);
    params.push_back(line);
    if (line.size() == rest.size()) break;
    rest = next;
  }
  const std::string_view text = params.front();
  params.erase(params.begin());

  // The text and the parameters are windows of the input's block, none of them NUL-terminated but the last.
  const ArrayPtr<char> whole(input);
  const auto windowOf = [&](std::string_view part) {
    return whole.slice(static_cast<std::int32_t>(part.data() - input.data()), static_cast<std::int32_t>(part.size()));
  };
  ArrayPtr<ArrayPtr<char>> list(static_cast<std::int32_t>(params.size()));
  for (std::size_t i = 0; i < params.size(); ++i) list[static_cast<std::int32_t>(i)] = windowOf(params[i]);
  const ArrayPtr<char> textHandle = windowOf(text);
  const std::string expected = expand(text, params);
  const std::string bare = expand(text, {});  // without parameters every marker vanishes, and only markers do

  Translator catalogue;
  catalogue.addMsg("id", textHandle);
  const ArrayPtr<char> found = catalogue.getMsg("id", list);
  ZEM_FUZZ_CHECK(found.view() == expected);
  if (bare.size() == text.size()) ZEM_FUZZ_CHECK(found.sharesBlockWith(whole));
  ZEM_FUZZ_CHECK(Translator(catalogue).getMsg("id", list).view() == expected);

  const Translator empty;
  ZEM_FUZZ_CHECK(empty.getMsg(textHandle, list).view() == expected);
  ZEM_FUZZ_CHECK(empty.getMsg(textHandle, ArrayPtr<ArrayPtr<char>>()).view() == bare);

  checkPluginLibraries(params.empty() ? ArrayPtr<char>("Cfg") : list[0], textHandle);
  return 0;
}
