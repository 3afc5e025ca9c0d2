#include "ui/main_window/number_text.h"

#include <QLocale>

namespace velmora::ui {

namespace {

bool isSpaceLike(QChar c) {
    return c == QChar(' ') || c == QChar(0x00A0) || c == QChar(0x202F);
}

} // namespace

QString groupSeparator() {
    const QString sep = QLocale().groupSeparator();
    return sep.isEmpty() ? QStringLiteral(",") : sep;
}

QString formatPosition(int value, bool grouping) {
    const bool negative = value < 0;
    QString digits = QString::number(negative ? -static_cast<long long>(value) : value);
    if (grouping && digits.size() > 3) {
        const QString sep = groupSeparator();
        for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, sep);
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

std::optional<int> parsePosition(const QString& text, bool grouping, int min, int max) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    const QString sep = groupSeparator();
    // With a blank as the locale's separator, any of the blanks a user can type counts.
    const bool blankSeparator = sep.size() == 1 && isSpaceLike(sep.at(0));

    // A separator stands only between groups of three digits, so a decimal such as "10,5" or
    // "1.05" is refused instead of being read as 105.
    long long value = 0;
    int groupDigits = 0;
    bool separated = false;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            value = value * 10 + (c.unicode() - '0');
            // Every legal position is far below this, so a longer number is out of range.
            if (value > 1000000000LL) return std::nullopt;
            ++groupDigits;
            if (separated && groupDigits > 3) return std::nullopt;
            continue;
        }
        if (!grouping || groupDigits == 0 || (separated ? groupDigits != 3 : groupDigits > 3))
            return std::nullopt;
        const bool blank = blankSeparator && isSpaceLike(c);
        if (!blank && trimmed.mid(i, sep.size()) != sep) return std::nullopt;
        if (!blank) i += sep.size() - 1;
        separated = true;
        groupDigits = 0;
    }
    if (groupDigits == 0 || (separated && groupDigits != 3)) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return static_cast<int>(value);
}

} // namespace velmora::ui
