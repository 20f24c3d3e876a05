#include "app/qt/NameCollation.h"

#include <QString>

#include <cstring>

namespace dvo::qt {

QLocale NameCollationLocale(const QLocale& user) {
    if (user.language() == QLocale::C || user.language() == QLocale::AnyLanguage)
        return QLocale(QLocale::Japanese, QLocale::Japan);
    return user;
}

NameCollation::NameCollation(const QLocale& user) : m_collator(NameCollationLocale(user)) {}

int NameCollation::operator()(const char* a, const char* b) const {
    const int c = m_collator.compare(QString::fromUtf8(a), QString::fromUtf8(b));
    if (c != 0)
        return c;
    // Names the collation holds equal (say one with a byte that is not UTF-8) still get an order.
    return std::strcmp(a, b);
}

} // namespace dvo::qt
