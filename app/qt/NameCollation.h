#pragma once
// The ascending name order of the tree and grid: the user's collation through ICU, which needs
// no installed system locale. A C or POSIX locale would order by code point (every upper-case
// letter before any lower-case one), so there the program's own language, Japanese, collates.
#include <QCollator>
#include <QLocale>

#include <memory>

struct UCollator;

namespace dvo::qt {

// The locale whose collation orders names for a user of `user`.
[[nodiscard]] QLocale NameCollationLocale(const QLocale& user);

// QCollator's order, read from the UTF-8 names themselves: sorting a million names compares
// them tens of millions of times, and converting both to UTF-16 each time cost more than the
// comparison. Copies share one collator (comparing through it is thread-safe).
class NameCollation {
public:
    explicit NameCollation(const QLocale& user = QLocale::system());
    // Two NUL-terminated UTF-8 names: negative, zero or positive.
    int operator()(const char* a, const char* b) const;
    [[nodiscard]] QLocale Locale() const { return m_collator.locale(); }
    // Whether several threads may compare at once: ICU's collator allows it, QCollator (the
    // fallback, which sets itself up on first use) does not.
    [[nodiscard]] bool Concurrent() const { return m_utf8 != nullptr; }

private:
    QCollator m_collator;              // where ICU cannot open the locale
    std::shared_ptr<UCollator> m_utf8; // QCollator's settings, on UTF-8
};

} // namespace dvo::qt
