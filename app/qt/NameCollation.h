#pragma once
// The ascending name order of the tree and grid: the user's collation through ICU, which needs
// no installed system locale. A C or POSIX locale would order by code point (every upper-case
// letter before any lower-case one), so there the program's own language, Japanese, collates.
#include <QCollator>
#include <QLocale>

namespace dvo::qt {

// The locale whose collation orders names for a user of `user`.
[[nodiscard]] QLocale NameCollationLocale(const QLocale& user);

class NameCollation {
public:
    explicit NameCollation(const QLocale& user = QLocale::system());
    // Two NUL-terminated UTF-8 names: negative, zero or positive.
    int operator()(const char* a, const char* b) const;
    [[nodiscard]] QLocale Locale() const { return m_collator.locale(); }

private:
    QCollator m_collator;
};

} // namespace dvo::qt
