// The record of one run appended to the query log, and the texts of its date and times.
#pragma once

#include "engine/Error.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace console {

struct LogEntry {
    std::string date;      // when the record is written, four-digit year
    std::string time;      // when the record is written, with seconds
    std::string startTime; // before the parameter prompts
    std::string endTime;   // after the result was loaded
    std::string folder;    // the folder the statement ran against
    std::string statement; // the prepared statement
};

// Five lines, each ending in CR LF: date and time; "start : S -  end : E"; the folder; the
// statement without leading and trailing blanks (line breaks in and after it kept); empty.
std::string logRecord(const LogEntry& entry);

// Appends the record to the log file, creating it; one failure per call, nothing written then.
std::optional<engine::Error> appendLogRecord(const QString& path, const LogEntry& entry);

// The statements of a log's records, newest first, each once (the latest time it ran); line breaks
// inside a statement come back as LF.
QStringList loggedStatements(const QString& log);

// The locale's short date with the year in four digits, and its short time with seconds.
QString logDate(const QDate& date, const QLocale& locale = QLocale::system());
QString logTime(const QTime& time, const QLocale& locale = QLocale::system());

} // namespace console
