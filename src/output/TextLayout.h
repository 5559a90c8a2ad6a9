// The pieces of the fixed-width text export: pad widths from the user's answers, right-aligned
// texts, field texts and the percentage shown in the window title.
#pragma once

#include "engine/Values.h"

#include <QLocale>
#include <QString>
#include <cstdint>

namespace output {

// The widest pad width an answer gives; wider ones are taken as this, so that a mistyped answer
// cannot make every line of the file hundreds of megabytes long.
constexpr int MaxPadWidth = 32767;

// The pad width a width prompt's answer gives. The answer's leading number counts (blanks before
// it, a sign, a decimal part with '.' or the locale's separator; "12abc" gives 12); no number at
// all, or 0, gives 3; otherwise its whole part when it is 1 or more, else 0 (write unpadded).
int padWidth(const QString& answer, const QLocale& locale = QLocale());

// Characters of a text as the user counts them: a character outside the 16-bit range counts once.
int characterCount(const QString& text);

// `text` preceded by blanks up to `width` characters; a longer text, or a width of 0 or less,
// leaves it whole.
QString rightAligned(const QString& text, int width);
// Appends one blank and then the text right-aligned in the width, as rightAligned() gives it.
void appendRightAligned(QString& line, const QString& text, int width);

// A field as the export writes it: Null as one blank, any other value as the grid shows it.
QString fieldText(const engine::Value& value, const QLocale& locale = QLocale(), int decimals = -1);

// done * 100 / total in the "##.##" form, then " %": at most two decimals, no leading zero, the
// locale's decimal separator always written, trailing zeros dropped (0 gives ". %", 1 of 4 gives
// "25. %", 2 of 3 "66.67 %"). total must be above 0.
QString percentTitle(std::int64_t done, std::int64_t total, const QLocale& locale = QLocale());

} // namespace output
