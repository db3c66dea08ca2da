// Platform layer, locale: the calling thread's locale as a Windows locale identifier.
#pragma once

namespace zem_util::os {

// 0x040C for French (France), 0x0409 for English (United States), ...; 0 when the locale has no identifier.
// Windows: the thread locale. POSIX: the thread's LC_MESSAGES locale (its own, else the process's), its
// language_COUNTRY part looked up in a table of the standard identifiers; "C", "POSIX" and names the table
// lacks give 0.
unsigned getThreadLocaleId();

}  // namespace zem_util::os
