// The recorder's files-write-state texts and the recording transitions.
#include <gtest/gtest.h>

#include "sensors/recording_control.h"

namespace {

TEST(FilesWriteStateTest, StateAndFolder) {
    FilesWriteRequest r = ParseFilesWriteState("1\nC:\\run1");
    EXPECT_TRUE(r.record);
    EXPECT_EQ(r.folder, "C:\\run1");
    r = ParseFilesWriteState("1");
    EXPECT_TRUE(r.record);
    EXPECT_EQ(r.folder, "");
    r = ParseFilesWriteState("0\n");
    EXPECT_FALSE(r.record);
    EXPECT_EQ(r.folder, "");
    EXPECT_FALSE(ParseFilesWriteState("").record);
    EXPECT_FALSE(ParseFilesWriteState("-1\nC:\\x").record);
    EXPECT_FALSE(ParseFilesWriteState("abc").record);
    EXPECT_TRUE(ParseFilesWriteState("12").record);
    // Two characters: no folder.
    EXPECT_EQ(ParseFilesWriteState("1\n").folder, "");
}

TEST(FilesWriteStateTest, FolderWithSpacesAndCyrillicBytesIsKeptWhole) {
    const std::string folder = "Z:\\tmp\\\xcf\xf0\xee\xe5\xe7\xe4 1";  // "Проезд 1" in 1251
    const FilesWriteRequest r = ParseFilesWriteState("1\n" + folder + "\r\n");
    EXPECT_EQ(r.folder, folder);
}

TEST(FilesWriteStateTest, TextIsBoundedToTheBlock) {
    std::string text = "1\n" + std::string(400, 'a');
    const FilesWriteRequest r = ParseFilesWriteState(text);
    EXPECT_EQ(r.folder.size(), 259u);
    EXPECT_EQ(ParseFilesWriteState(std::string("1\nC:\\a\0junk", 11)).folder, "C:\\a");
}

TEST(RecordingStateTest, TransitionsFollowTheRequest) {
    RecordingState s;
    EXPECT_EQ(s.Follow(false), RecordingStep::None);
    EXPECT_EQ(s.Follow(true), RecordingStep::Start);
    EXPECT_TRUE(s.Writing());
    EXPECT_EQ(s.Follow(true), RecordingStep::None);
    EXPECT_EQ(s.Follow(false), RecordingStep::Stop);
    EXPECT_FALSE(s.Writing());
    EXPECT_EQ(s.Follow(false), RecordingStep::None);
}

}  // namespace
