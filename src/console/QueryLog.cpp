// Query log records: composed as text here, written by the platform's text file.
#include "console/QueryLog.h"

#include "platform/TextFile.h"

#include <QRegularExpression>

namespace console {

std::string logRecord(const LogEntry& entry) {
    // Only blanks are trimmed: a statement ending in line breaks keeps them in the log.
    const std::size_t b = entry.statement.find_first_not_of(' ');
    const std::string statement =
        b == std::string::npos ? std::string()
                               : entry.statement.substr(b, entry.statement.find_last_not_of(' ') - b + 1);
    const std::string crlf = "\r\n";
    return entry.date + " " + entry.time + crlf + "start : " + entry.startTime + " - " +
           " end : " + entry.endTime + crlf + entry.folder + crlf + statement + crlf + crlf;
}

std::optional<engine::Error> appendLogRecord(const QString& path, const LogEntry& entry) {
    try {
        platform::TextFile::append(path, QString::fromStdString(logRecord(entry)));
    } catch (const engine::Error& error) {
        return error;
    }
    return std::nullopt;
}

QString logDate(const QDate& date, const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // Short formats often give a two-digit year; a log outlives a century's guesswork.
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QRegularExpression(QStringLiteral("y+")), QStringLiteral("yyyy"));
    return locale.toString(date, format);
}

QString logTime(const QTime& time, const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        // Seconds follow the minutes with the locale's own separator ("H.mm" gives "H.mm.ss").
        const qsizetype first = format.indexOf(QLatin1Char('m'));
        if (first >= 0) {
            const QChar separator =
                first > 0 && !format[first - 1].isLetter() ? format[first - 1] : QChar(':');
            const qsizetype last = format.lastIndexOf(QLatin1Char('m'));
            format.insert(last + 1, separator + QStringLiteral("ss"));
        }
    }
    return locale.toString(time, format);
}

} // namespace console
