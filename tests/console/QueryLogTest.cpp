// The query log's records, byte for byte, and what happens when the log cannot be written.
#include "console/QueryLog.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace console;

namespace {
LogEntry entry(const std::string& statement) {
    return LogEntry{"05/03/2024", "14:07:09", "14:07:01", "14:07:08", "/home/ana/data", statement};
}
} // namespace

TEST(QueryLog, RecordsAreAppendedByteForByte) {
    testsupport::TempDir dir;
    const auto log = dir / "sql.txt";
    const QString path = QString::fromStdString(log.string());

    EXPECT_FALSE(appendLogRecord(path, entry("  select * from t  ")));
    EXPECT_EQ(testsupport::readFile(log), "05/03/2024 14:07:09\r\n"
                                          "start : 14:07:01 -  end : 14:07:08\r\n"
                                          "/home/ana/data\r\n"
                                          "select * from t\r\n"
                                          "\r\n");

    // Line breaks inside and at the end of a statement stay; earlier records are untouched.
    EXPECT_FALSE(appendLogRecord(path, entry("delete from t\r\nwhere a=1\r\n")));
    EXPECT_EQ(testsupport::readFile(log), "05/03/2024 14:07:09\r\n"
                                          "start : 14:07:01 -  end : 14:07:08\r\n"
                                          "/home/ana/data\r\n"
                                          "select * from t\r\n"
                                          "\r\n"
                                          "05/03/2024 14:07:09\r\n"
                                          "start : 14:07:01 -  end : 14:07:08\r\n"
                                          "/home/ana/data\r\n"
                                          "delete from t\r\nwhere a=1\r\n\r\n"
                                          "\r\n");
}

TEST(QueryLog, UnwritableLogIsOneError) {
    testsupport::TempDir dir;
    const auto missing = QString::fromStdString((dir / "gone" / "sql.txt").string());
    const std::optional<engine::Error> error = appendLogRecord(missing, entry("select 1"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), engine::PathNotFound);
    EXPECT_NE(std::string(error->what()).find("sql.txt"), std::string::npos);

    // A folder in the log's place.
    std::filesystem::create_directory(dir / "sql.txt");
    const auto folder = QString::fromStdString((dir / "sql.txt").string());
    ASSERT_TRUE(appendLogRecord(folder, entry("select 1")));
}

TEST(QueryLog, DateHasFourDigitYearAndTimeHasSeconds) {
    const QDate date(2024, 3, 5);
    const QTime time(14, 7, 9);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(logDate(date, us), "3/5/2024");
    EXPECT_EQ(logTime(time, us).left(7), "2:07:09");
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(logDate(date, de), "05.03.2024");
    EXPECT_EQ(logTime(time, de), "14:07:09");
    const QLocale fi(QLocale::Finnish, QLocale::Finland);
    EXPECT_EQ(logTime(time, fi), "14.07.09");
}

// The statements of a log, newest first and each once, also one that holds empty lines and one that looks
// like the start of a record.
TEST(QueryLog, StatementsComeBackNewestFirst) {
    std::string log;
    for (const char* statement :
         {"select 1", "select\r\n\r\nfrom t", "start : x", "select 1", "update t set a = 2"})
        log += logRecord({"7.12.2026", "10:00:00", "10:00:00", "10:00:01", "/data", statement});
    EXPECT_EQ(loggedStatements(QString::fromStdString(log)),
              (QStringList{"update t set a = 2", "select 1", "start : x", "select\n\nfrom t"}));
    EXPECT_EQ(loggedStatements(QString()), QStringList{});
}
