#include "app/qt/NameCollation.h"

#include <QString>

#include <unicode/ucol.h>

#include <cstring>

namespace dvo::qt {

QLocale NameCollationLocale(const QLocale& user) {
    if (user.language() == QLocale::C || user.language() == QLocale::AnyLanguage)
        return QLocale(QLocale::Japanese, QLocale::Japan);
    return user;
}

NameCollation::NameCollation(const QLocale& user) : m_collator(NameCollationLocale(user)) {
    // The attributes QCollator gives its ICU collator by default: normalised, the locale's own
    // strength, digits as characters, punctuation not ignored.
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray name = m_collator.locale().bcp47Name().replace('-', '_').toLatin1();
    UCollator* collator = ucol_open(name.constData(), &status);
    if (U_FAILURE(status) || collator == nullptr)
        return;
    m_utf8.reset(collator, ucol_close);
    const std::pair<UColAttribute, UColAttributeValue> attributes[] = {
        {UCOL_NORMALIZATION_MODE, UCOL_ON},
        {UCOL_STRENGTH, UCOL_DEFAULT_STRENGTH},
        {UCOL_NUMERIC_COLLATION, UCOL_OFF},
        {UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE},
    };
    for (const auto& [attribute, value] : attributes) {
        status = U_ZERO_ERROR;
        ucol_setAttribute(collator, attribute, value, &status);
    }
}

int NameCollation::operator()(const char* a, const char* b) const {
    int c = 0;
    UErrorCode status = U_ZERO_ERROR;
    if (m_utf8 != nullptr)
        c = ucol_strcollUTF8(m_utf8.get(), a, -1, b, -1, &status);
    if (m_utf8 == nullptr || U_FAILURE(status))
        c = m_collator.compare(QString::fromUtf8(a), QString::fromUtf8(b));
    if (c != 0)
        return c;
    // Names the collation holds equal (say one with a byte that is not UTF-8) still get an order.
    return std::strcmp(a, b);
}

} // namespace dvo::qt
