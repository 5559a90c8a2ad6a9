// Field values as the grid shows them, and text typed into a cell turned back into a field's value.
#pragma once

#include "engine/Recordset.h"

#include <QLocale>
#include <QString>

namespace datagrid {

// The locale's short date form with the year always in four digits ("M/d/yy" becomes "M/d/yyyy").
QString shortDateFormat(const QLocale& locale = QLocale());

// A cell's text: numbers as plain decimals (no grouping, no exponent) with the locale's decimal point,
// as many decimals as the field stores (`decimals`), or for a computed number at most 15 significant
// digits; dates in shortDateFormat(), date-times with HH:mm:ss after the date, logical values "True" and
// "False" (the words a classic grid shows for a Boolean), Null and binary contents as empty text.
QString displayText(const engine::Value& value, const QLocale& locale = QLocale(), int decimals = -1);

// The value of a field of this kind that the text stands for. It reads what displayText() writes, and
// also ISO dates (2024-03-15), either decimal point, and for logical fields T/F, Y/N, Yes/No, .T./.F.,
// 1/0/-1, without regard to case. Blank text is Null, except for text fields, where it is empty text.
// Throws engine::Error(DataTypeMismatch) naming the field when the text is no such value.
engine::Value valueFromText(const QString& text, const engine::FieldInfo& field,
                            const QLocale& locale = QLocale());

} // namespace datagrid
