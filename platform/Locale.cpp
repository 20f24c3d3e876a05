#include "platform/Locale.h"

#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <mutex>
#include <string>

namespace platform {
namespace {

struct LocaleEntry {
    const char* name; // language, or language_TERRITORY
    unsigned id;
};

// Language-only entries give the language's main territory.
constexpr LocaleEntry kLocales[] = {
    {"ja_JP", 0x0411}, {"ja", 0x0411},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09},
    {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en", 0x0409},    {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh", 0x0804},    {"ko_KR", 0x0412},
    {"ko", 0x0412},    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de", 0x0407},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr", 0x040C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es", 0x0C0A},    {"it_IT", 0x0410}, {"it", 0x0410},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pt", 0x0416},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nl", 0x0413},    {"ru_RU", 0x0419}, {"ru", 0x0419},    {"pl_PL", 0x0415}, {"pl", 0x0415},
    {"sv_SE", 0x041D}, {"sv", 0x041D},    {"da_DK", 0x0406}, {"da", 0x0406},    {"fi_FI", 0x040B},
    {"fi", 0x040B},    {"nb_NO", 0x0414}, {"nb", 0x0414},    {"cs_CZ", 0x0405}, {"cs", 0x0405},
    {"hu_HU", 0x040E}, {"hu", 0x040E},    {"tr_TR", 0x041F}, {"tr", 0x041F},    {"el_GR", 0x0408},
    {"el", 0x0408},    {"th_TH", 0x041E}, {"th", 0x041E},    {"vi_VN", 0x042A}, {"vi", 0x042A},
    {"ar_SA", 0x0401}, {"ar", 0x0401},    {"he_IL", 0x040D}, {"he", 0x040D},    {"uk_UA", 0x0422},
    {"uk", 0x0422},
};

constexpr unsigned kDefaultLanguage = 0x0409;

unsigned Lookup(std::string_view key) {
    for (const auto& e : kLocales)
        if (key == e.name)
            return e.id;
    return 0;
}

// newlocale() once: strcoll_l needs no global setlocale, which a library must not change.
locale_t CollationLocale() {
    static locale_t loc = [] {
        locale_t l = ::newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
            l = ::newlocale(LC_COLLATE_MASK, "C", static_cast<locale_t>(0));
        return l;
    }();
    return loc;
}

} // namespace

unsigned LanguageIdForLocale(std::string_view locale) {
    // Strip ".codeset" and "@modifier".
    const auto cut = locale.find_first_of(".@");
    if (cut != std::string_view::npos)
        locale = locale.substr(0, cut);
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return kDefaultLanguage;
    if (const unsigned id = Lookup(locale))
        return id;
    const auto underscore = locale.find('_');
    if (underscore != std::string_view::npos)
        if (const unsigned id = Lookup(locale.substr(0, underscore)))
            return id;
    return kDefaultLanguage;
}

unsigned LanguageIdFromEnvironment() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && value[0] != '\0')
            return LanguageIdForLocale(value);
    }
    return kDefaultLanguage;
}

int CollateCompare(std::string_view a, std::string_view b) {
    const std::string sa(a);
    const std::string sb(b);
    return CollateCompare(sa.c_str(), sb.c_str());
}

int CollateCompare(const char* a, const char* b) {
    const locale_t loc = CollationLocale();
    if (loc == static_cast<locale_t>(0))
        return std::strcmp(a, b);
    return ::strcoll_l(a, b, loc);
}

} // namespace platform
