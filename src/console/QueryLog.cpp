// Query log records: composed as text here, written by the platform's text file.
#include "console/QueryLog.h"

#include "platform/TextFile.h"

#include <QRegularExpression>
#include <vector>

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

QStringList loggedStatements(const QString& log) {
    QStringList lines = log.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    // A record begins with its date line, followed by the "start : " line and the folder; its statement
    // runs up to the empty line before the next record (a statement may hold empty lines of its own).
    std::vector<qsizetype> starts;
    for (qsizetype i = 0; i + 2 < lines.size(); ++i)
        if (lines[i + 1].startsWith(QLatin1String("start : ")) && !lines[i].isEmpty() &&
            (i == 0 || lines[i - 1].isEmpty()))
            starts.push_back(i);
    QStringList statements;
    for (std::size_t k = starts.size(); k-- > 0;) {
        const qsizetype end = k + 1 < starts.size() ? starts[k + 1] - 1 : lines.size();
        QStringList body = lines.mid(starts[k] + 3, end - (starts[k] + 3));
        while (!body.isEmpty() && body.last().isEmpty())
            body.removeLast();
        const QString statement = body.join(QLatin1Char('\n'));
        if (!statement.trimmed().isEmpty() && !statements.contains(statement)) statements.append(statement);
    }
    return statements;
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
