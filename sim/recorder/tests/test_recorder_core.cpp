// The recorder's command texts, answers and file kinds.
#include <gtest/gtest.h>

#include "sim/recorder/recorder_core.h"

namespace recorder {
namespace {

TEST(RecorderTexts, CommandsAreTheTextsTheServicesRead) {
    EXPECT_EQ(ScannerStart("C:\\run 1"), "1\nC:\\run 1");  // the folder from the third character
    EXPECT_EQ(ScannerStop(), "0");
    EXPECT_EQ(ScannerLog(), "2");
    EXPECT_EQ(ScannerLog("55.1", "37.2", "3.5"), "2 55.1 37.2 3.5");
    EXPECT_EQ(SensorsStart("C:\\run 1"), "1\nC:\\run 1");
    EXPECT_EQ(SensorsStop(), "0\n");
    EXPECT_EQ(GnssStart("D:\\data"), "1 D:\\data");
    EXPECT_EQ(GnssStop(), "1");
    EXPECT_EQ(GnssContinue(), "2");
    EXPECT_EQ(MaxText(kScannerCommand.size), 261u);
    EXPECT_EQ(MaxText(kSensorWriteState.size), 261u);
    EXPECT_EQ(kGnssCommandMax, 259u);
}

TEST(RecorderTexts, ScannerAnswers) {
    EXPECT_EQ(ReadAnswer("1\nC:\\r", "1\nC:\\r"), Answer::Pending);
    EXPECT_EQ(ReadAnswer("1\nC:\\r", "3\n"), Answer::Done);
    EXPECT_EQ(ReadAnswer("2 1 2 3", "-1\n"), Answer::ScanFailed);
    EXPECT_EQ(ReadAnswer("2", "0\n"), Answer::Other);  // the scanner shut down
    EXPECT_EQ(ReadAnswer("2", ""), Answer::Other);
    EXPECT_STREQ(AnswerName(Answer::ScanFailed), "scan-failed");
}

TEST(RecorderTexts, PrintingAndArgumentEscapes) {
    EXPECT_EQ(Printable("1\nC:\\new\r\n"), "1\\nC:\\new\\r\\n");
    EXPECT_EQ(Unescape("1\\nC:\\data\\x41\\\\z\\t"), "1\nC:\\dataA\\z\t");
    EXPECT_EQ(Unescape("end\\"), "end\\");
    EXPECT_EQ(Unescape("\\x4"), "\\x4");
}

TEST(RecorderTexts, FilesAreToldApartByService) {
    EXPECT_STREQ(ServiceOfFile("181227103000gps.log"), "gnss");
    EXPECT_STREQ(ServiceOfFile("gps181227.log"), "other");  // the day log stays beside the program
    EXPECT_STREQ(ServiceOfFile("scanner0.log"), "scanner");
    EXPECT_STREQ(ServiceOfFile("scanner12.log"), "scanner");
    EXPECT_STREQ(ServiceOfFile("scannerX.log"), "other");
    for (const char* name : {"sensWay.txt", "sensSlope.txt", "leftLazer.txt", "rightLazer.txt",
                             "session.ini", "acp.dmp", "tar.txt", "SESSION.INI"})
        EXPECT_STREQ(ServiceOfFile(name), "sensors") << name;
    EXPECT_EQ(CountLines(""), 0u);
    EXPECT_EQ(CountLines("a\nb\n"), 2u);
    EXPECT_EQ(CountLines("a\nb"), 2u);
}

}  // namespace
}  // namespace recorder
