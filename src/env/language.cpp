// Language codes, their Windows locale identifiers, and the language of the calling thread.
#include <cstring>
#include <iterator>

#include "core/no_destructor.h"
#include "os/locale.h"
#include "zem_util/env.h"
#include "zem_util/system.h"

namespace zem_util {

namespace {

struct LanguageEntry {
  unsigned code;            // Windows locale identifier
  const char* language;     // language_COUNTRY, as plug-in library names spell it
  const char* displayName;  // carried for readers of the table; no operation returns it
};

// The vocabulary is fixed, unusual codes included ("ar_IR" is Iraq, "sl_SL" Slovak, "so_SO" Slovenian), and
// "es_PA" stands twice: lookups by code find the first row.
constexpr LanguageEntry languageTable[] = {
    {0x0401, "ar_SA", "Arabic (Saudi Arabia)"},
    {0x0801, "ar_IR", "Arabic (Iraq)"},
    {0x0C01, "ar_EG", "Arabic (Egypt)"},
    {0x1001, "ar_LI", "Arabic (Libya)"},
    {0x1401, "ar_AL", "Arabic (Algeria)"},
    {0x1801, "ar_MO", "Arabic (Morocco)"},
    {0x1C01, "ar_TU", "Arabic (Tunisia)"},
    {0x2001, "ar_OM", "Arabic (Oman)"},
    {0x2401, "ar_YE", "Arabic (Yemen)"},
    {0x2801, "ar_SY", "Arabic (Syria)"},
    {0x2C01, "ar_JO", "Arabic (Jordan)"},
    {0x3001, "ar_LE", "Arabic (Lebanon)"},
    {0x3401, "ar_KU", "Arabic (Kuwait)"},
    {0x3801, "ar_UA", "Arabic (U.A.E.)"},
    {0x3C01, "ar_BA", "Arabic (Bahrain)"},
    {0x4001, "ar_QA", "Arabic (Qatar)"},
    {0x0402, "bu_BU", "Bulgarian (Bulgaria)"},
    {0x0403, "ct_CT", "Catalan"},
    {0x0404, "zh_TW", "Chinese (Taiwan)"},
    {0x0804, "zh_CN", "Chinese (China)"},
    {0x0C04, "zh_HK", "Chinese (Hong Kong)"},
    {0x1004, "zh_SI", "Chinese (Singapore)"},
    {0x0405, "cz_CZ", "Czech"},
    {0x0406, "da_DK", "Danish (Denmark)"},
    {0x0407, "de_DE", "German (Germany)"},
    {0x0807, "de_CH", "German (Swiss)"},
    {0x0C07, "de_AT", "German (Austrian)"},
    {0x1007, "de_LU", "German (Luxembourg)"},
    {0x1407, "de_LI", "German (Liechtenstein)"},
    {0x0408, "el_GR", "Greek (Greece)"},
    {0x0409, "en_US", "English (United States)"},
    {0x0809, "en_GB", "English (United Kingdom)"},
    {0x0C09, "en_AU", "English (Australian)"},
    {0x1009, "en_CA", "English (Canadian)"},
    {0x1409, "en_NZ", "English (New Zealand)"},
    {0x1809, "en_IE", "English (Ireland)"},
    {0x1C09, "en_SA", "English (South Africa)"},
    {0x2009, "en_JA", "English (Jamaica)"},
    {0x2409, "en_CR", "English (Caribbean)"},
    {0x2809, "en_BE", "English (Belize)"},
    {0x2C09, "en_TR", "English (Trinidad)"},
    {0x040A, "es_TS", "Spanish (Traditional Sort)"},
    {0x080A, "es_ME", "Spanish (Mexican)"},
    {0x0C0A, "es_ES", "Spanish (Modern Sort)"},
    {0x100A, "es_GU", "Spanish (Guatemala)"},
    {0x140A, "es_CR", "Spanish (Costa Rica)"},
    {0x180A, "es_PA", "Spanish (Panama)"},
    {0x1C0A, "es_DR", "Spanish (Dominican Republic)"},
    {0x200A, "es_VE", "Spanish (Venezuela)"},
    {0x240A, "es_CO", "Spanish (Colombia)"},
    {0x280A, "es_PE", "Spanish (Peru)"},
    {0x2C0A, "es_AR", "Spanish (Argentina)"},
    {0x300A, "es_EC", "Spanish (Ecuador)"},
    {0x340A, "es_CL", "Spanish (Chile)"},
    {0x380A, "es_UR", "Spanish (Uruguay)"},
    {0x3C0A, "es_PA", "Spanish (Paraguay)"},
    {0x400A, "es_BO", "Spanish (Bolivia)"},
    {0x440A, "es_EL", "Spanish (El Salvador)"},
    {0x480A, "es_HO", "Spanish (Honduras)"},
    {0x4C0A, "es_NI", "Spanish (Nicaragua)"},
    {0x500A, "es_PR", "Spanish (Puerto Rico)"},
    {0x040B, "fi_FI", "Finnish (Finland)"},
    {0x040C, "fr_FR", "French (France)"},
    {0x080C, "fr_BE", "French (Belgian)"},
    {0x0C0C, "fr_CA", "French (Canadian)"},
    {0x100C, "fr_CH", "French (Swiss)"},
    {0x140C, "fr_LU", "French (Luxembourg)"},
    {0x040D, "he_HE", "Hebrew"},
    {0x040E, "hu_HU", "Hungarian (Hungria)"},
    {0x040F, "ic_IC", "Icelandic (Iceland)"},
    {0x0410, "it_IT", "Italian (Italy)"},
    {0x0810, "it_CH", "Italian (Swiss)"},
    {0x0411, "ja_JP", "Japanese (Japan)"},
    {0x0412, "ko_KR", "Korean (Korea)"},
    {0x0812, "ko_JO", "Korean (Johab)"},
    {0x0413, "nl_NL", "Dutch (Neederlands)"},
    {0x0813, "nl_BE", "Dutch (Belgian)"},
    {0x0414, "no_NO_B", "Norwegian (Bokmal)"},
    {0x0814, "no_NO", "Norwegian (Nynorsk)"},
    {0x0415, "po_PO", "Polish"},
    {0x0416, "pt_BR", "Portuguese (Brazilian)"},
    {0x0816, "pt_PT", "Portuguese (Portugal)"},
    {0x0418, "ro_RO", "Romania"},
    {0x0419, "ru_RU", "Russian"},
    {0x041A, "cr_CR", "Croatian"},
    {0x081A, "se_LA", "Serbian (Latin)"},
    {0x0C1A, "se_CY", "Serbian (Cyrillic)"},
    {0x041B, "sl_SL", "Slovak"},
    {0x041C, "al_AL", "Albanian"},
    {0x041D, "sv_SE", "Swedish"},
    {0x081D, "sv_FI", "Swedish (Finland)"},
    {0x041E, "th_TH", "Thai"},
    {0x041F, "tr_TR", "Turkish"},
    {0x0421, "in_IN", "Indonesian"},
    {0x0422, "uk_UK", "Ukrainian"},
    {0x0423, "be_BL", "Belarusian"},
    {0x0424, "so_SO", "Slovenian"},
    {0x0425, "et_ET", "Estonian"},
    {0x0426, "la_LA", "Latvian"},
    {0x0427, "li_LI", "Lithuanian"},
    {0x0429, "fa_FA", "Farsi"},
    {0x042A, "vi_VI", "Vietnamese"},
    {0x042D, "ba_BA", "Basque"},
    {0x0436, "af_AF", "Afrikaans"},
    {0x0438, "fe_FE", "Faeroese"},
};
static_assert(std::size(languageTable) == 105);

// The first row with this identifier, or null.
const LanguageEntry* findByCode(unsigned code) {
  for (const LanguageEntry& entry : languageTable) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

// The language last computed, for the thread locale it was computed for. Threads with different locales
// replace it in turn; each still gets its own answer.
struct CurrentLanguage {
  Mutex mutex{MutexKind::kKernelMutex};
  unsigned localeId ZEM_UTIL_GUARDED_BY(mutex) = 0;
  ArrayPtr<char> code ZEM_UTIL_GUARDED_BY(mutex);  // empty until computed
};

CurrentLanguage& currentLanguage() {
  static detail::NoDestructor<CurrentLanguage> cache;
  return *cache;
}

}  // namespace

ArrayPtr<char> getCurrentLanguage() {
  CurrentLanguage& cache = currentLanguage();
  MutexLock guard(cache.mutex);
  const unsigned locale = os::getThreadLocaleId();
  // The cache starts empty for identifier 0, which POSIX also reports for "C": only a filled cache answers.
  if (locale == cache.localeId && cache.code.length() != 0) return cache.code;
  const LanguageEntry* entry = findByCode(locale);
  if (entry == nullptr) return ArrayPtr<char>("en_US");
  cache.localeId = locale;
  cache.code = ArrayPtr<char>(entry->language);
  return cache.code;
}

unsigned int getLanguageCode(const ArrayPtr<char>& languageCode) {
  const std::size_t length = static_cast<std::size_t>(languageCode.length());
  if (length == 0) return 0;
  // The whole text must match: a NUL inside it ("en_US\0x") matches no row.
  for (const LanguageEntry& entry : languageTable) {
    if (std::strlen(entry.language) == length && std::memcmp(entry.language, languageCode.toPtr(), length) == 0) {
      return entry.code;
    }
  }
  return 0;
}

ArrayPtr<char> getLanguageFromCode(unsigned int code) {
  const LanguageEntry* entry = findByCode(code);
  return entry != nullptr ? ArrayPtr<char>(entry->language) : ArrayPtr<char>();
}

}  // namespace zem_util
