// POSIX back end of locale.h: the LC_MESSAGES locale mapped to Windows locale identifiers by a table.
#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <iterator>
#include <string>

#include "os/locale.h"

namespace zem_util::os {

namespace {

struct LocaleId {
  const char* name;  // language_COUNTRY as POSIX spells it, with a modifier where it picks the identifier
  unsigned id;       // the standard Windows locale identifier
};

// Sorted by name (byte order) for the binary search below; a static_assert checks it.
constexpr LocaleId kLocaleIds[] = {
    {"af_ZA", 0x0436}, {"ar_AE", 0x3801},       {"ar_BH", 0x3C01}, {"ar_DZ", 0x1401}, {"ar_EG", 0x0C01},
    {"ar_IQ", 0x0801}, {"ar_JO", 0x2C01},       {"ar_KW", 0x3401}, {"ar_LB", 0x3001}, {"ar_LY", 0x1001},
    {"ar_MA", 0x1801}, {"ar_OM", 0x2001},       {"ar_QA", 0x4001}, {"ar_SA", 0x0401}, {"ar_SY", 0x2801},
    {"ar_TN", 0x1C01}, {"ar_YE", 0x2401},       {"be_BY", 0x0423}, {"bg_BG", 0x0402}, {"bs_BA", 0x141A},
    {"ca_ES", 0x0403}, {"cs_CZ", 0x0405},       {"cy_GB", 0x0452}, {"da_DK", 0x0406}, {"de_AT", 0x0C07},
    {"de_CH", 0x0807}, {"de_DE", 0x0407},       {"de_LI", 0x1407}, {"de_LU", 0x1007}, {"el_GR", 0x0408},
    {"en_AU", 0x0C09}, {"en_BZ", 0x2809},       {"en_CA", 0x1009}, {"en_GB", 0x0809}, {"en_IE", 0x1809},
    {"en_IN", 0x4009}, {"en_JM", 0x2009},       {"en_MY", 0x4409}, {"en_NZ", 0x1409}, {"en_PH", 0x3409},
    {"en_SG", 0x4809}, {"en_TT", 0x2C09},       {"en_US", 0x0409}, {"en_ZA", 0x1C09}, {"en_ZW", 0x3009},
    {"es_AR", 0x2C0A}, {"es_BO", 0x400A},       {"es_CL", 0x340A}, {"es_CO", 0x240A}, {"es_CR", 0x140A},
    {"es_DO", 0x1C0A}, {"es_EC", 0x300A},       {"es_ES", 0x0C0A}, {"es_GT", 0x100A}, {"es_HN", 0x480A},
    {"es_MX", 0x080A}, {"es_NI", 0x4C0A},       {"es_PA", 0x180A}, {"es_PE", 0x280A}, {"es_PR", 0x500A},
    {"es_PY", 0x3C0A}, {"es_SV", 0x440A},       {"es_US", 0x540A}, {"es_UY", 0x380A}, {"es_VE", 0x200A},
    {"et_EE", 0x0425}, {"eu_ES", 0x042D},       {"fa_IR", 0x0429}, {"fi_FI", 0x040B}, {"fo_FO", 0x0438},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},       {"fr_CH", 0x100C}, {"fr_FR", 0x040C}, {"fr_LU", 0x140C},
    {"fr_MC", 0x180C}, {"ga_IE", 0x083C},       {"gl_ES", 0x0456}, {"he_IL", 0x040D}, {"hi_IN", 0x0439},
    {"hr_HR", 0x041A}, {"hu_HU", 0x040E},       {"hy_AM", 0x042B}, {"id_ID", 0x0421}, {"is_IS", 0x040F},
    {"it_CH", 0x0810}, {"it_IT", 0x0410},       {"ja_JP", 0x0411}, {"ka_GE", 0x0437}, {"kk_KZ", 0x043F},
    {"ko_KR", 0x0412}, {"lt_LT", 0x0427},       {"lv_LV", 0x0426}, {"mk_MK", 0x042F}, {"ms_MY", 0x043E},
    {"mt_MT", 0x043A}, {"nb_NO", 0x0414},       {"nl_BE", 0x0813}, {"nl_NL", 0x0413}, {"nn_NO", 0x0814},
    {"no_NO", 0x0414}, {"pl_PL", 0x0415},       {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ro_RO", 0x0418},
    {"ru_RU", 0x0419}, {"sk_SK", 0x041B},       {"sl_SI", 0x0424}, {"sq_AL", 0x041C}, {"sr_ME", 0x301A},
    {"sr_RS", 0x281A}, {"sr_RS@latin", 0x241A}, {"sv_FI", 0x081D}, {"sv_SE", 0x041D}, {"sw_KE", 0x0441},
    {"th_TH", 0x041E}, {"tr_TR", 0x041F},       {"uk_UA", 0x0422}, {"ur_PK", 0x0420}, {"uz_UZ", 0x0443},
    {"vi_VN", 0x042A}, {"zh_CN", 0x0804},       {"zh_HK", 0x0C04}, {"zh_MO", 0x1404}, {"zh_SG", 0x1004},
    {"zh_TW", 0x0404},
};

constexpr int compareNames(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

constexpr bool isSortedByName() {
  for (std::size_t i = 1; i < std::size(kLocaleIds); ++i) {
    if (compareNames(kLocaleIds[i - 1].name, kLocaleIds[i].name) >= 0) return false;
  }
  return true;
}
static_assert(isSortedByName(), "kLocaleIds must stay sorted by name");

unsigned findLocaleId(const char* name) {
  std::size_t low = 0, high = std::size(kLocaleIds);
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    const int order = compareNames(kLocaleIds[middle].name, name);
    if (order == 0) return kLocaleIds[middle].id;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return 0;
}

// The name of the locale whose messages the calling thread uses: its own (uselocale) if it has one, else the
// process's (setlocale). "fr_FR.UTF-8", "C", ...
const char* getMessagesLocaleName() {
#if defined(__GLIBC__)
  return nl_langinfo(_NL_LOCALE_NAME(LC_MESSAGES));
#else
  return std::setlocale(LC_MESSAGES, nullptr);
#endif
}

// "fr_FR.UTF-8" -> "fr_FR", "de_DE@euro" -> "de_DE", "sr_RS.UTF-8@latin" -> "sr_RS@latin".
std::string toTableName(const char* localeName) {
  std::string name(localeName, std::strcspn(localeName, ".@"));
  const char* modifier = std::strchr(localeName, '@');
  if (modifier != nullptr && std::strcmp(modifier, "@latin") == 0) name += modifier;
  return name;
}

}  // namespace

unsigned getThreadLocaleId() {
  const char* name = getMessagesLocaleName();
  if (name == nullptr) return 0;
  return findLocaleId(toTableName(name).c_str());
}

}  // namespace zem_util::os
