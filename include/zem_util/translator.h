// Message catalogues: identifiers to texts with numbered parameters.
//
//   const char* pairs[] = {"greeting", "Hello {0}, you have {1} messages", "bye", "Goodbye %s", nullptr};
//   zem_util::Translator catalogue(pairs);
//
//   zem_util::ArrayPtr<char> params[] = {"Ann", "3", ""};     // a list ends at its first empty text
//   zem_util::ArrayPtr<zem_util::ArrayPtr<char>> list;
//   list = params;
//   catalogue.getMsg("greeting", list);      // "Hello Ann, you have 3 messages"
//   catalogue.getFormattedMsg("bye", "Ann"); // "Goodbye Ann"
//   catalogue.getMsg("unknown");             // "unknown": an identifier without a text is its own text
//
// Markers are `{N}` with one or more decimal digits (leading zeros allowed) naming a zero-based parameter;
// markers naming a missing parameter vanish, anything else (`{}`, `{x}`, `{ 1}`) is plain text, and parameter
// values are inserted as they are. Every operation reads texts through the virtual `getMsg(id)`, so a derived
// catalogue that overrides it changes them all.
//
// Thread safety: fill a catalogue first (`addMsg` takes no lock), then share it; lookups may run on any number of
// threads at once.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "zem_util/core.h"
#include "zem_util/export.h"

namespace zem_util {

namespace detail {
// What printf's variable arguments can be: arithmetic values, enumerations, pointers (arrays decay to them) and
// nullptr.
template <class T, class D = std::decay_t<T>>
constexpr bool kPrintfArgument =
    std::is_arithmetic_v<D> || std::is_enum_v<D> || std::is_pointer_v<D> || std::is_same_v<D, std::nullptr_t>;
}  // namespace detail

class ZEM_UTIL_EXPORT Translator {
 public:
  // An empty catalogue; no table is allocated until the first `addMsg`.
  Translator() = default;
  // Adds identifier/text pairs from an array laid out id, text, id, text, ... up to the first null identifier.
  // A null text gives an empty (null) text.
  explicit Translator(const char** pairs);
  // Copies are deep: each catalogue owns its own table, with the same entries in the same order (the texts
  // themselves are shared, not copied).
  Translator(const Translator& other);
  Translator& operator=(const Translator& other);
  virtual ~Translator();

  // The text of `id` with its `{N}` markers replaced from `params`. Allocates only when the text has markers.
  virtual ArrayPtr<char> getMsg(const ArrayPtr<char>& id, const ArrayPtr<ArrayPtr<char>>& params) const;
  // The text added for `id` (the most recent one nearest its bucket's head), or `id` itself when there is none.
  virtual ArrayPtr<char> getMsg(const ArrayPtr<char>& id) const;
  // The text of `id` used as a printf format. Results over 3000 characters throw the `const char*`
  // "Translator::getMsgWithArgs cannot be used to format more than 3000 characters !".
  virtual ArrayPtr<char> getFormattedMsg(ArrayPtr<char> id, ...) const;
  // What a call with arguments reaches. The format is the catalogue's text, known only at run time, so no
  // compiler can match it with the arguments; what is checked, at compile time, is that each argument is
  // something printf can take at all: a number, an enumeration, a pointer (a C string) or nullptr. A class such
  // as an `ArrayPtr<char>` or a std::string fails to compile; pass `toNullTerminatedPtr()` or `c_str()`.
  //   catalogue.getFormattedMsg("bye", name.toNullTerminatedPtr());  // compiles
  //   catalogue.getFormattedMsg("bye", name);                        // error: not a printf argument
  // The call then goes to the virtual operation above, so a derived catalogue's override still decides. A
  // class that overrides it hides this check for calls through its own type unless it also says
  // `using Translator::getFormattedMsg;`.
  template <class... Args>
  ArrayPtr<char> getFormattedMsg(ArrayPtr<char> id, const Args&... args) const {
    static_assert((detail::kPrintfArgument<Args> && ...),
                  "getFormattedMsg: every argument must be a number, an enumeration or a pointer (a C string)");
    ArrayPtr<char> (Translator::*const formatted)(ArrayPtr<char>, ...) const = &Translator::getFormattedMsg;
    return (this->*formatted)(id, args...);  // through the pointer: a virtual call, not this template again
  }
  // The same over a started argument list, which is left for the caller to end.
  virtual ArrayPtr<char> getFormattedMsgArgs(const ArrayPtr<char>& id, va_list args) const;
  // Adds an entry sharing `id` and `text`. Never replaces: an identifier added twice has two entries.
  virtual void addMsg(const ArrayPtr<char>& id, const ArrayPtr<char>& text);

  std::uint32_t getMessageCount() const { return messageCount_; }  // `addMsg` calls so far

 private:
  struct MessageEntry;

  void resizeTable(std::uint32_t newSize);
  void clear() noexcept;

  std::uint32_t messageCount_ = 0;
  std::uint32_t primeIndex_ = 0;
  std::uint32_t maxCount_ = 0;
  std::uint32_t tableSize_ = 0;
  MessageEntry** table_ = nullptr;
};

// ---- the registry ---------------------------------------------------------------------------------------------
//
//   zem_util::Translator* messages = zem_util::getTranslator("Cfg", "fr_FR");
//   messages->getMsg("CFG_OPEN_FAILED", params);
//
// The first request for a pair tries the plug-in libraries CfgMsg_fr_FR, CfgMsg_fr and CfgMsg in that order
// (names without extension, found beside the executable first) and asks each for its catalogue through its
// `getZemTranslator` entry point (see translator_plugin.h). The answer, or else a shared empty default catalogue
// that returns every identifier unchanged, is remembered: later requests never search again. Never null.
// Languages often come from users, so the loader is only ever given names: a candidate holding "/", "\", ":",
// "..", a NUL or another control character counts as a library that cannot be loaded, and the shorter ones are
// still tried (`getTranslator("Cfg", "x/../../evil")` tries CfgMsg alone). "fr_FR.UTF-8" and "sr_RS@latin" are
// names.
//
// Thread safety: every registry function may be called from any thread (the registry has a lock of its own).
// Ownership: the registry never deletes a catalogue. One given to `setTranslator` stays the caller's and must
// outlive its use; one from a plug-in belongs to the plug-in and is valid while the plug-in stays loaded
// (`freeAllLibraries` unloads it without telling the registry).

// Registers `translator` for the pair, replacing what was registered or found before. Null is ignored.
ZEM_UTIL_EXPORT void setTranslator(const ArrayPtr<char>& name, const ArrayPtr<char>& language, Translator* translator);
// The same for the calling thread's current language.
ZEM_UTIL_EXPORT void setTranslator(const ArrayPtr<char>& name, Translator* translator);
// The same for the process name and the current language.
ZEM_UTIL_EXPORT void setTranslator(Translator* translator);

// The catalogue of component `name` in `language` ("fr_FR"); names and languages are case-sensitive.
ZEM_UTIL_EXPORT Translator* getTranslator(const ArrayPtr<char>& name, const ArrayPtr<char>& language);
// The same in the calling thread's current language.
ZEM_UTIL_EXPORT Translator* getTranslator(const ArrayPtr<char>& name);
// The catalogue of the process itself (its executable's name) in the current language.
ZEM_UTIL_EXPORT Translator* getTranslator();

}  // namespace zem_util
