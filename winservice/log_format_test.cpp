#include "winservice/log_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

namespace {

std::tm localTime(int year, int month, int day, int hour, int minute, int second, int weekday) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_wday = weekday;
  return t;
}

TEST(LogFormat, FileNamesByKind) {
  EXPECT_EQ(zaq::logFilePath("zaqservice", zaq::LOG_KIND_TRACE),
            "C:\\Program Files\\qzr\\vandel\\common\\WUX\\ffdc\\traceWUX_zaqservice.log");
  EXPECT_EQ(zaq::logFilePath("zaqservice", zaq::LOG_KIND_MESSAGE),
            "C:\\Program Files\\qzr\\vandel\\common\\WUX\\logs\\msgWUX_zaqservice.log");
  EXPECT_EQ(zaq::logFilePath("C:\\x\\a.exe", static_cast<zaq::LogKind>(7)),
            "C:\\Program Files\\qzr\\vandel\\common\\WUX\\logs\\msgWUX_C:\\x\\a.exe.log");
}

TEST(LogFormat, CalendarStampHas24Characters) {
  struct Case {
    std::tm time;
    const char* stamp;
  } cases[] = {
      {localTime(2026, 12, 7, 23, 5, 9, 1), "Mon Dec 07 23:05:09 2026"},
      {localTime(1999, 1, 31, 0, 0, 0, 0), "Sun Jan 31 00:00:00 1999"},
  };
  for (const Case& c : cases) {
    char stamp[32];
    zaq::formatCalendarStamp(c.time, stamp, sizeof stamp);
    EXPECT_STREQ(stamp, c.stamp);
    EXPECT_EQ(std::strlen(stamp), 24u);
  }
}

TEST(LogFormat, RecordLayoutKeepsPercentSigns) {
  char record[zaq::LOG_RECORD_SIZE];
  zaq::formatLogRecord(record, sizeof record, "VQM Client", "Mon Dec 07 23:05:09 2026", "service", 42,
                       "ServiceStart", "100% done %s %n");
  EXPECT_STREQ(record,
               "VQM Client Mon Dec 07 23:05:09 2026 service Line: 42, ServiceStart, 100% done %s %n\n");
  zaq::formatLogRecord(record, sizeof record, nullptr, "stamp", nullptr, -1, nullptr, nullptr);
  EXPECT_STREQ(record, " stamp  Line: -1, , \n");
}

TEST(LogFormat, LongTextsAreCutAndStillEndTheLine) {
  std::string huge(10000, 'x');
  char record[zaq::LOG_RECORD_SIZE];
  zaq::formatLogRecord(record, sizeof record, "n", "s", "f", 1, "g", huge.c_str());
  EXPECT_EQ(std::strlen(record), zaq::LOG_RECORD_SIZE - 1);
  EXPECT_EQ(record[zaq::LOG_RECORD_SIZE - 2], '\n');
  char line[zaq::DEBUG_LINE_SIZE];
  zaq::formatDebugLine(line, sizeof line, localTime(2026, 1, 6, 5, 9, 28, 2), 45, huge.c_str());
  EXPECT_EQ(std::strlen(line), zaq::DEBUG_LINE_SIZE - 1);
  EXPECT_EQ(line[zaq::DEBUG_LINE_SIZE - 2], '\n');
}

TEST(LogFormat, DebugLine) {
  char line[zaq::DEBUG_LINE_SIZE];
  zaq::formatDebugLine(line, sizeof line, localTime(2026, 1, 6, 5, 9, 28, 2), 45, "Starting application");
  EXPECT_STREQ(line, "[m06 05:09:28.045] Starting application\n");
  zaq::formatDebugLine(line, sizeof line, localTime(2026, 1, 16, 23, 59, 59, 2), 999, "%s");
  EXPECT_STREQ(line, "[m16 23:59:59.999] %s\n");
}

}  // namespace
