#include "platform/MessageText.h"

#include <algorithm>

namespace kavum::platform {

QString PlainMessageText(const QString& text) {
    // About a screen: lines and characters beyond these are cut.
    constexpr int MaxLines = 40;
    constexpr int MaxLineLength = 300;
    constexpr int MaxLength = 4000;
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), MaxLength) + 8);
    int lines = 1;
    int column = 0;
    bool cut = false;
    for (const QChar c : text) {
        if (out.size() >= MaxLength) {
            cut = true;
            break;
        }
        const char16_t u = c.unicode();
        if (u == u'\n') {
            if (++lines > MaxLines) {
                cut = true;
                break;
            }
            out += c;
            column = 0;
            continue;
        }
        if (column >= MaxLineLength) {
            // Skip the rest of an overlong line; the next line still shows.
            if (column == MaxLineLength) out += QChar(0x2026);
            ++column;
            continue;
        }
        if (u < 0x20) {
            out += QChar(char16_t(0x2400 + u));
        } else if (u == 0x7F) {
            out += QChar(char16_t(0x2421));
        } else if (u >= 0xF780 && u <= 0xF7FF) {
            out += QStringLiteral("\\x") + QString::number(u - 0xF700, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        } else {
            out += c;
        }
        ++column;
    }
    if (cut) out += QChar(0x2026);
    return out;
}

}  // namespace kavum::platform
