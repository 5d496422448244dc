#include <gtest/gtest.h>

#include <iomanip>
#include <limits>
#include <vector>

#include "core/DateTime.h"

TEST(DateTime, EncodesDaysSince1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2004, 3, 5), 38051.0);
  TDateParts p = DecodeDateTime(EncodeDateTime(2004, 3, 5, 13, 7, 9));
  EXPECT_EQ(p.Year, 2004);
  EXPECT_EQ(p.Month, 3);
  EXPECT_EQ(p.Day, 5);
  EXPECT_EQ(p.Hour, 13);
  EXPECT_EQ(p.Minute, 7);
  EXPECT_EQ(p.Second, 9);
}

TEST(DateTime, Formats) {
  TDateTime t = EncodeDateTime(2006, 12, 31, 23, 59, 59);
  EXPECT_EQ(FormatDate(t), "2006/12/31");
  EXPECT_EQ(FormatTime(t), "23:59:59");
  EXPECT_EQ(FormatDateTime(t), "2006/12/31 23:59:59");
  std::string cell = "x";
  AppendDateTime(cell, t);
  AppendDateTime(cell, EncodeDateTime(1, 1, 2, 3, 4, 5));
  EXPECT_EQ(cell, "x2006/12/31 23:59:590001/01/02 03:04:05");
  EXPECT_EQ(FormatYmd(t), "20061231");
  EXPECT_EQ(FormatHms(t), "235959");
  EXPECT_EQ(FormatTime(0), "00:00:00");
  EXPECT_EQ(FormatDate(0), "1899/12/30");
}

// The fetch path's own spelling of the date-time layout gives what the
// general one gives: across the years 1 to 9999, around midnight and the
// millisecond rounding, and for values no date stands for.
TEST(DateTime, AppendedDateTimeMatchesTheLayout) {
  std::vector<TDateTime> values = {0, -0.5, 1e-9, 0.99999999, -693593, 2958465.99999, 2958466.5, 1e300,
                                   std::numeric_limits<double>::quiet_NaN(), EncodeTime(23, 59, 59, 999) + 40000};
  for (double v = -693594; v < 2958467; v += 997.123456789) values.push_back(v);
  for (TDateTime v : values) {
    std::string out;
    AppendDateTime(out, v);
    ASSERT_EQ(out, FormatDateTime(v)) << std::setprecision(17) << v;
  }
}

TEST(DateTime, MillisecondsRoundBeforeFormatting) {
  // 1000 ms as a fraction of a day is not exact in binary.
  EXPECT_EQ(FormatTime(MsToTime(1000)), "00:00:01");
  EXPECT_EQ(FormatTime(MsToTime(999)), "00:00:00");
  EXPECT_EQ(FormatTime(MsToTime(3 * 3600000 + 61000)), "03:01:01");
  EXPECT_EQ(FormatTime(MsToTime(25ull * 3600000)), "01:00:00");  // durations wrap at 24 h
  EXPECT_EQ(FormatTime(EncodeTime(23, 59, 59, 999)), "23:59:59");
}

TEST(DateTime, ParsesDatesAndTimes) {
  TDateTime d = -1;
  EXPECT_TRUE(TryParseDate("2001/04/03", d));
  EXPECT_EQ(d, EncodeDate(2001, 4, 3));
  EXPECT_TRUE(TryParseDate("2001/4/3", d));
  EXPECT_EQ(d, EncodeDate(2001, 4, 3));
  EXPECT_TRUE(TryParseTime("09:05:07", d));
  EXPECT_EQ(FormatTime(d), "09:05:07");
  EXPECT_TRUE(TryParseTime("9:5", d));
  EXPECT_EQ(FormatTime(d), "09:05:00");
  for (const char* bad : {"", "2001/13/01", "2001/02/30", "2001-04-03", "abc", "2001/04/03x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(TryParseDate(bad, d));
  }
  for (const char* bad : {"", "24:00:00", "12:60", "12", "1:2:3:4", "aa:bb"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(TryParseTime(bad, d));
  }
}
