#include <gtest/gtest.h>

#include "gnss/gnss_logs_format.h"
#include "gnss/gnss_texts.h"
#include "platform/text_codec.h"

using platform::CivilTime;

TEST(GnssLogNames, DayRunAndEventFiles) {
    EXPECT_EQ(DayLogFileName(CivilTime{2026, 1, 1, 5}), "gps260105.log");
    EXPECT_EQ(RunLogFileName(CivilTime{2026, 12, 1, 7, 9, 5, 3, 999}), "261207090503gps.log");
    EXPECT_EQ(kEventLogFileName, "gnssLog.log");
}

TEST(GnssLogNames, RunLogPathInTheClientsFolder) {
    const CivilTime t{2018, 12, 4, 27, 13, 45, 1, 0};
    EXPECT_EQ(RunLogPath("D:\\data", t), "D:\\data\\181227134501gps.log");
    EXPECT_EQ(RunLogPath("D:\\data\\", t), "D:\\data\\181227134501gps.log");
    EXPECT_FALSE(RunLogPath(std::string(250, 'a'), t).has_value());
    EXPECT_EQ(RunLogPath(std::string(239, 'a'), t).value_or("").size(), 259u);
}

TEST(GnssFixLine, SentenceStepStampAndXor) {
    const std::string sentence =
        "$GPGGA,132820.60,4134.49821229,N,09345.03351845,W,2,09,1.0,278.020,M,-31.442,M,7.6,0133*"
        "7E";
    const std::string line = FormatFixLogLine(sentence, 11.134, "181227");
    const std::string body = sentence + ",11.13,181227";
    unsigned x = 0;
    for (unsigned char c : body)
        x ^= c;
    EXPECT_EQ(line, body + "," + std::to_string(x) + "\n");
    EXPECT_EQ(FormatFixLogLine("$GPGGA,1*00", 0.005, "181227"), "$GPGGA,1*00,0.01,181227,85\n");
}

TEST(GnssFixLine, TooLongForTheBufferIsNotWrittenCut) {
    char buffer[40];
    EXPECT_EQ(FormatFixLogLine(std::string(60, 'A'), 1.0, "181227", buffer, sizeof buffer), 0u);
    EXPECT_GT(FormatFixLogLine("$" + std::string(598, 'A'), 1e7, "181227").size(), 600u);
}

TEST(GnssEventLines, GapClockChangedAndAgreed) {
    const CivilTime t{2026, 3, 0, 8, 4, 5, 6, 0};
    EXPECT_EQ(FormatDataGapLine(t),
              platform::Utf8ToCp1251("26-03-08 04:05:06 UTC Нет данных > 30c, путь обнулен\n"));
    EXPECT_EQ(
        FormatClockChangedLine(t, "Время изменено на 3с. Новое 04:05:09 UTC"),
        platform::Utf8ToCp1251("26-03-08 04:05:06  Время изменено на 3с. Новое 04:05:09 UTC\n"));
    EXPECT_EQ(FormatClockAgreedLine(t, "Синхронность проверена 04:05:06 UTC"),
              platform::Utf8ToCp1251("260308 Синхронность проверена 04:05:06 UTC\n"));
    EXPECT_EQ(FormatReceiverEventLine(t, gnss_text::ReceiverBackText(5, 9)),
              platform::Utf8ToCp1251(
                  "26-03-08 04:05:06 UTC GPS-приёмник снова на связи (COM5), перерыв 9 с\n"));
    // Single-byte text: one byte per Cyrillic letter.
    EXPECT_EQ(FormatClockAgreedLine(t, "Дата").size(), 12u);
}
