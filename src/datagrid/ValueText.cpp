// Cell texts of field values and back: the one place where the grid decides how a value looks.
#include "datagrid/ValueText.h"

#include "engine/Error.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace datagrid {

namespace {

const char* const TimeFormat = "HH:mm:ss";

QString plainDecimal(double value, const QLocale& locale, int decimals) {
    if (!std::isfinite(value)) return QString::number(value);
    if (decimals >= 0) {
        if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0; // not -0.00
        return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), locale.decimalPoint());
    }
    // A computed number shows at most 15 significant digits: a sum of 0.1s is 0.3, not 0.30000000000000004.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.15g", value);
    value = std::strtod(rounded, nullptr);
    // Shortest text that reads back as the same double, in fixed notation: 0.1 stays 0.1, 1e20 is
    // written out, as a classic grid shows numbers.
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    QString text = ec == std::errc() ? QString::fromLatin1(buffer, static_cast<int>(end - buffer))
                                     : QString::number(value, 'f');
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), locale.decimalPoint());
}

[[noreturn]] void mismatch(const QString& text, const engine::FieldInfo& field, const char* needs) {
    throw engine::Error(engine::DataTypeMismatch, "Data type mismatch: '" + text.toStdString() + "' is not " +
                                                      needs + ", which field " + field.name + " holds.");
}

// Numbers typed with either decimal point; group separators are not accepted, so 1.234 is never
// taken for 1234.
QString normalisedNumber(const QString& text, const QLocale& locale) {
    QString n = text.trimmed();
    if (locale.decimalPoint() != QLatin1String(".")) n.replace(locale.decimalPoint(), QStringLiteral("."));
    return n;
}

QDate parseDate(const QString& text, const QLocale& locale) {
    const QString t = text.trimmed();
    const QString format = shortDateFormat(locale);
    // Day and month may be typed with one digit or two whatever the locale's form pads them to.
    QString lenient = format;
    lenient.replace(QStringLiteral("dd"), QStringLiteral("d"))
        .replace(QStringLiteral("MM"), QStringLiteral("M"));
    for (const QString& f : {format, lenient, QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-M-d")}) {
        const QDate d = QDate::fromString(t, f);
        if (d.isValid()) return d;
    }
    return {};
}

} // namespace

QString shortDateFormat(const QLocale& locale) {
    // Asked for every date shown or written out: worked out once for the locale in use.
    static thread_local std::optional<std::pair<QLocale, QString>> last;
    if (!last || !(last->first == locale)) {
        QString format = locale.dateFormat(QLocale::ShortFormat);
        if (!format.contains(QStringLiteral("yyyy")))
            format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
        last.emplace(locale, format);
    }
    return last->second;
}

QString displayText(const engine::Value& value, const QLocale& locale, int decimals) {
    if (const auto* s = std::get_if<std::string>(&value)) return QString::fromStdString(*s);
    if (const auto* i = std::get_if<std::int64_t>(&value)) return QString::number(*i);
    if (const auto* d = std::get_if<double>(&value)) return plainDecimal(*d, locale, decimals);
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? QStringLiteral("True") : QStringLiteral("False");
    if (const auto* d = std::get_if<xbase::Date>(&value)) {
        const QDate date(d->year, d->month, d->day);
        return date.isValid() ? locale.toString(date, shortDateFormat(locale)) : QString();
    }
    if (const auto* t = std::get_if<xbase::DateTime>(&value)) {
        const QDate date(t->date.year, t->date.month, t->date.day);
        if (!date.isValid()) return {};
        const QString time =
            QTime::fromMSecsSinceStartOfDay(t->msecOfDay).toString(QLatin1String(TimeFormat));
        // Day zero, 30 December 1899, is no date: a time of day alone shows as the time.
        if (date == QDate(1899, 12, 30)) return time;
        return locale.toString(date, shortDateFormat(locale)) + QLatin1Char(' ') + time;
    }
    return {}; // Null, binary contents
}

engine::Value valueFromText(const QString& text, const engine::FieldInfo& field, const QLocale& locale) {
    using engine::FieldKind;
    if (field.kind == FieldKind::Text || field.kind == FieldKind::Memo) return text.toStdString();
    if (field.kind == FieldKind::Binary)
        throw engine::Error(engine::DataTypeMismatch,
                            "Field '" + field.name + "' holds binary contents, which cannot be typed in.");
    const QString t = text.trimmed();
    if (t.isEmpty()) return xbase::Null{};

    switch (field.kind) {
    case FieldKind::Integer:
    case FieldKind::Real: {
        const QString n = normalisedNumber(t, locale);
        bool ok = false;
        if (field.kind == FieldKind::Integer) {
            const qlonglong i = n.toLongLong(&ok);
            if (ok) return std::int64_t{i};
        }
        // A fraction typed into a whole-number field is the file layer's to round or refuse.
        const double d = n.toDouble(&ok);
        if (ok && std::isfinite(d)) return d;
        mismatch(t, field, "a number");
    }
    case FieldKind::Logical: {
        const QString l = t.toLower();
        for (const char* yes : {"true", "t", "yes", "y", ".t.", "-1", "1"})
            if (l == QLatin1String(yes)) return true;
        for (const char* no : {"false", "f", "no", "n", ".f.", "0"})
            if (l == QLatin1String(no)) return false;
        mismatch(t, field, "True or False");
    }
    case FieldKind::Date: {
        const QDate d = parseDate(t, locale);
        if (!d.isValid()) mismatch(t, field, "a date");
        return xbase::Date{d.year(), d.month(), d.day()};
    }
    case FieldKind::DateTime: {
        if (const QDate whole = parseDate(t, locale); whole.isValid())
            return xbase::DateTime{{whole.year(), whole.month(), whole.day()}, 0};
        // A date, then a time of day after the last blank (or after the 'T' of ISO text).
        const bool iso = t.size() > 10 && t[10] == QLatin1Char('T');
        const int split = iso ? 10 : static_cast<int>(t.lastIndexOf(QLatin1Char(' ')));
        const QDate d = split > 0 ? parseDate(t.left(split), locale) : QDate();
        const QString timePart = split > 0 ? t.mid(split + 1).trimmed() : QString();
        QTime time = QTime::fromString(timePart, QLatin1String(TimeFormat));
        if (!time.isValid()) time = QTime::fromString(timePart, QStringLiteral("H:mm"));
        if (!time.isValid()) time = QTime::fromString(timePart, Qt::ISODateWithMs);
        if (!d.isValid() || !time.isValid()) mismatch(t, field, "a date and time");
        return xbase::DateTime{{d.year(), d.month(), d.day()}, time.msecsSinceStartOfDay()};
    }
    default:
        break;
    }
    mismatch(t, field, "a value");
}

} // namespace datagrid
