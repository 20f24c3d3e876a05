#pragma once
// Tooltips that show scanned names: Qt guesses rich text in a tooltip, so a name that looks
// like markup would be parsed. Escaped inside a paragraph that keeps blanks and does not wrap.
#include <QString>

namespace dvo::qt {

inline QString PlainTextToolTip(const QString& text) {
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace dvo::qt
