// The pieces of the fixed-width text export: pad widths from the user's answers, right-aligned
// texts, field texts and the percentage shown in the window title.
#include "output/TextLayout.h"

#include "datagrid/ValueText.h"

#include <algorithm>
#include <cmath>

namespace output {

int padWidth(const QString& answer, const QLocale& locale) {
    // The leading number as a classic Val() reads it: whatever follows it does not count.
    qsizetype i = 0;
    while (i < answer.size() && answer.at(i).isSpace())
        ++i;
    QString number;
    if (i < answer.size() && (answer.at(i) == QLatin1Char('-') || answer.at(i) == QLatin1Char('+')))
        number.append(answer.at(i++));
    bool digits = false;
    bool point = false;
    const QString separator = locale.decimalPoint();
    for (; i < answer.size(); ++i) {
        const QChar c = answer.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number.append(c);
            digits = true;
        } else if (!point && (c == QLatin1Char('.') || answer.mid(i, separator.size()) == separator)) {
            number.append(QLatin1Char('.'));
            point = true;
            if (c != QLatin1Char('.')) i += separator.size() - 1;
        } else {
            break;
        }
    }
    const double value = digits ? number.toDouble() : 0;
    if (value == 0) return 3;
    if (value < 1) return 0;
    return value >= MaxPadWidth ? MaxPadWidth : int(std::floor(value));
}

int characterCount(const QString& text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        ++count;
    }
    return count;
}

QString rightAligned(const QString& text, int width) {
    QString line;
    appendRightAligned(line, text, width);
    return line.mid(1);
}

void appendRightAligned(QString& line, const QString& text, int width) {
    const int missing = width - characterCount(text);
    line.resize(line.size() + 1 + std::max(missing, 0), QLatin1Char(' '));
    line += text;
}

QString fieldText(const engine::Value& value, const QLocale& locale, int decimals) {
    if (xbase::isNull(value)) return QStringLiteral(" ");
    return datagrid::displayText(value, locale, decimals);
}

QString percentTitle(std::int64_t done, std::int64_t total, const QLocale& locale) {
    // Hundredths of a percent, rounded half up, in whole numbers so that 0.125 % is not at the
    // mercy of binary fractions.
    const __int128 hundredths = (__int128(done) * 20000 + total) / (__int128(total) * 2);
    const std::int64_t whole = std::int64_t(hundredths / 100);
    const int fraction = int(hundredths % 100);
    QString text = whole == 0 ? QString() : QString::number(whole);
    text += locale.decimalPoint();
    if (fraction != 0) {
        QString decimals = QStringLiteral("%1").arg(fraction, 2, 10, QLatin1Char('0'));
        if (decimals.endsWith(QLatin1Char('0'))) decimals.chop(1);
        text += decimals;
    }
    return text + QStringLiteral(" %");
}

} // namespace output
