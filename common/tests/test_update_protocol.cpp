// The update server's wire texts and the version numbers.
#include <gtest/gtest.h>

#include <climits>

#include "common/update_protocol.h"

namespace {

using namespace update;

TEST(UpdateBodies, AreTheServerForms) {
    EXPECT_EQ(GetVerListBody("d1g", 106, 0x0001000400020011ull, 3),
              "data=d1g&cmd=getverlist&appid=106&ver=281492156710929&platform=3");
    EXPECT_EQ(GetVerListBody("d", 1, 18446744073709551615ull, 1),
              "data=d&cmd=getverlist&appid=1&ver=18446744073709551615&platform=1");
    EXPECT_EQ(GetDbCmdBody("abc", 1, 57), "data=abc&cmd=getdbcmd&appid=1&ver=57");
    EXPECT_EQ(WriteLogBody("abc", 1, 57, 1, true, "192.168.5.20"),
              "data=abc&cmd=writelog&appid=1&ver=57&platform=1&status=OK&userip=192.168.5.20");
    EXPECT_EQ(WriteLogBody("abc", 1, 58, 1, false, ""),
              "data=abc&cmd=writelog&appid=1&ver=58&platform=1&status=Fail&userip=");
}

TEST(VersionList, ReadsBuildsAndCountsInOrder) {
    const std::string reply = R"({"cnt":3,"list":[{"build":55,"cmdcnt":2},{"build":56,"cmdcnt":0},)"
                              R"({"build":281492156710929,"cmdcnt":7}]})";
    const auto list = ParseVersionList(reply);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (VersionEntry{55, 2}));
    EXPECT_EQ(list[1], (VersionEntry{56, 0}));
    EXPECT_EQ(list[2], (VersionEntry{281492156710929, 7}));
}

TEST(VersionList, EmptyWithoutCountOrWithCountZero) {
    EXPECT_TRUE(ParseVersionList("").empty());
    EXPECT_TRUE(ParseVersionList(R"({"list":[{"build":55,"cmdcnt":2}]})").empty());
    EXPECT_TRUE(ParseVersionList(R"({"cnt":0,"list":[{"build":55,"cmdcnt":2}]})").empty());
    EXPECT_TRUE(ParseVersionList("<html>500 Internal Server Error</html>").empty());
}

TEST(VersionList, StopsAtAnEntryCutShort) {
    // The second entry lost its "cmdcnt" with the end of the reply.
    const auto list = ParseVersionList(R"({"cnt":2,"list":[{"build":55,"cmdcnt":2},{"build":5)");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (VersionEntry{55, 2}));
    // A key at the very end with no digits reads 0, never past the end.
    const auto cut = ParseVersionList(R"({"cnt":1,"list":[{"build":55,"cmdcnt":)");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].commandCount, 0);
}

TEST(VersionList, ReadsNegativeAndHugeNumbersLikeTheCLibrary) {
    const auto list = ParseVersionList(
        R"({"cnt":1,"list":[{"build":-5,"cmdcnt":1},{"build":99999999999999999999,"cmdcnt":1}]})");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].build, -5);
    EXPECT_EQ(list[1].build, INT64_MAX);
}

constexpr int kOwnLength = INT32_MIN;

std::string Item(int order, const std::string& action, int flags, const std::string& cmd,
                 int len = kOwnLength) {
    return R"({"order":)" + std::to_string(order) + R"(,"action":")" + action + R"(","flags":)" +
           std::to_string(flags) + R"(,"len":)" +
           std::to_string(len == kOwnLength ? static_cast<int>(cmd.size()) : len) + R"(,"cmd":")" +
           cmd + R"("})";
}

TEST(DbCommandSet, DecodesDbItemsAndSkipsOthers) {
    // "INSERT INTO t VALUES (1)" and "UPDATE t SET a=2;" in base64.
    const std::string reply =
        R"({"cnt":3,"items":[)" + Item(1, "db", 2, "SU5TRVJUIElOVE8gdCBWQUxVRVMgKDEp") + "," +
        Item(2, "file", 0, "eHh4") + "," + Item(3, "db", 0, "VVBEQVRFIHQgU0VUIGE9Mjs=") + "]}";
    const DbCommandSet set = ParseDbCommandSet(reply);
    ASSERT_EQ(set.status, DbCommandSet::Status::Ok);
    EXPECT_EQ(set.count, 3);
    EXPECT_EQ(set.skippedItems, 1);
    ASSERT_EQ(set.commands.size(), 2u);
    EXPECT_EQ(set.commands[0].sql, "INSERT INTO t VALUES (1);");
    EXPECT_TRUE(set.commands[0].ForeignKeyChecks());
    EXPECT_EQ(set.commands[1].sql, "UPDATE t SET a=2;");  // no second ";"
    EXPECT_FALSE(set.commands[1].ForeignKeyChecks());
}

TEST(DbCommandSet, FlagsBitOneOnlyDecidesForeignKeys) {
    const DbCommandSet set =
        ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 3, "U0VMRUNUIDE=") + "," +
                          Item(2, "db", 1, "U0VMRUNUIDE=") + "]}");
    ASSERT_EQ(set.commands.size(), 2u);
    EXPECT_TRUE(set.commands[0].ForeignKeyChecks());
    EXPECT_FALSE(set.commands[1].ForeignKeyChecks());
}

TEST(DbCommandSet, MissingCountIsNotACommandSet) {
    EXPECT_EQ(ParseDbCommandSet("Fatal error: database busy").status,
              DbCommandSet::Status::MissingCount);
    EXPECT_EQ(ParseDbCommandSet(R"({"items":[)" + Item(1, "db", 2, "U0VMRUNUIDE=") + "]}").status,
              DbCommandSet::Status::MissingCount);
}

TEST(DbCommandSet, CountZeroReadsNothing) {
    const DbCommandSet set =
        ParseDbCommandSet(R"({"cnt":0,"items":[)" + Item(1, "db", 2, "U0VMRUNUIDE=") + "]}");
    EXPECT_EQ(set.status, DbCommandSet::Status::Ok);
    EXPECT_EQ(set.count, 0);
    EXPECT_TRUE(set.commands.empty());
}

TEST(DbCommandSet, LengthPastTheEndIsACutReply) {
    // "DELETE FROM t WHERE id=5" cut inside its base64 text: the front part
    // would delete every row.
    const std::string full = "REVMRVRFIEZST00gdCBXSEVSRSBpZD01";
    const std::string reply = R"({"cnt":1,"items":[{"order":1,"action":"db","flags":2,"len":)" +
                              std::to_string(full.size()) + R"(,"cmd":")" + full.substr(0, 16);
    const DbCommandSet set = ParseDbCommandSet(reply);
    EXPECT_EQ(set.status, DbCommandSet::Status::Truncated);
    EXPECT_TRUE(set.commands.empty());
    // A huge length, and a reply ending right after the key.
    EXPECT_EQ(
        ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, "U0VM", 2000000000)).status,
        DbCommandSet::Status::Truncated);
    EXPECT_EQ(
        ParseDbCommandSet(R"({"cnt":1,"items":[{"order":1,"action":"db","flags":2,"len":4,"cmd":)")
            .status,
        DbCommandSet::Status::Truncated);
}

TEST(DbCommandSet, CommandDecodingToNothingIsRefused) {
    EXPECT_EQ(ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, "") + "]}").status,
              DbCommandSet::Status::EmptyCommand);
    EXPECT_EQ(ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, "====") + "]}").status,
              DbCommandSet::Status::BadCommand);
}

TEST(DbCommandSet, CommandIsReadAsAJsonStringWhole) {
    // "SELECT '?>'" is U0VMRUNUICc/Pic=, sent by a JSON writer as U0VMRUNUICc\/Pic=
    // with "len" counting either the text as meant (16) or as sent (17).
    const std::string sent = R"(U0VMRUNUICc\/Pic=)";
    for (int len : {16, 17}) {
        const DbCommandSet set =
            ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, sent, len) + "]}");
        ASSERT_EQ(set.status, DbCommandSet::Status::Ok) << len;
        ASSERT_EQ(set.commands.size(), 1u);
        EXPECT_EQ(set.commands[0].sql, "SELECT '?>';");
    }
    // Any other length is not the command the server sent; one past what
    // arrived is a cut reply.
    for (int len : {15, 4, 0, -3}) {
        EXPECT_EQ(
            ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, sent, len) + "]}").status,
            DbCommandSet::Status::BadCommand)
            << len;
    }
    EXPECT_EQ(ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, sent, 18) + "]}").status,
              DbCommandSet::Status::Truncated);
    // Escapes that spell base64 characters are base64 characters.
    const DbCommandSet spelled = ParseDbCommandSet(R"({"cnt":1,"items":[)" +
                                                   Item(1, "db", 2, R"(\u0055\u0030VM)", 4) + "]}");
    ASSERT_EQ(spelled.status, DbCommandSet::Status::Ok);
    EXPECT_EQ(spelled.commands[0].sql, "SEL;");
}

TEST(DbCommandSet, CommandThatIsNotWholeBase64FailsTheSet) {
    const std::string good = Item(1, "db", 2, "U0VMRUNUIDE=");
    for (const std::string& cmd :
         {std::string(R"(U0VMRU\nNUIDE=)"), std::string("U0VMRU\nNUIDE="),
          std::string("U0VMRU NUIDE="), std::string("U0VMRUNUIDE"), std::string("U0VM=UNUIDE="),
          std::string(R"(U0VMRU\u000aNUIDE=)"), std::string(R"(U0VMRU\qNUIDE=)"),
          std::string(R"(U0VM\uDC00RUNUIDE=)"), std::string(R"(U0VM\uD83DRUNUIDE=)")}) {
        SCOPED_TRACE(cmd);
        const DbCommandSet set =
            ParseDbCommandSet(R"({"cnt":2,"items":[)" + good + "," + Item(2, "db", 2, cmd) + "]}");
        EXPECT_EQ(set.status, DbCommandSet::Status::BadCommand);
        EXPECT_TRUE(set.commands.empty());
    }
    // A value that is not a string at all.
    EXPECT_EQ(ParseDbCommandSet(
                  R"({"cnt":1,"items":[{"order":1,"action":"db","flags":2,"len":4,"cmd":null}]})")
                  .status,
              DbCommandSet::Status::BadCommand);
}

TEST(JsonText, UndoesEveryEscape) {
    const JsonString s =
        ReadJsonString(R"(a\"b\\c\/d\b\f\n\r\t\u0416\u00e9\uD83D\uDE97z" tail)", 0);
    ASSERT_EQ(s.status, JsonString::Status::Ok);
    EXPECT_EQ(s.value, "a\"b\\c/d\b\f\n\r\tЖé\xF0\x9F\x9A\x97z");  // U+1F697 from its pair
    EXPECT_EQ(s.rawLength, 45u);
    EXPECT_EQ(s.end, 46u);
    // UTF-8 passes through; the empty string.
    EXPECT_EQ(ReadJsonString("«Дон»\"", 0).value, "«Дон»");
    const JsonString empty = ReadJsonString("x\"", 1);
    EXPECT_EQ(empty.status, JsonString::Status::Ok);
    EXPECT_EQ(empty.value, "");
    EXPECT_EQ(empty.end, 2u);
}

TEST(JsonText, CutAndBrokenStringsAreToldApart) {
    using S = JsonString::Status;
    for (const char* cut : {"abc", "abc\\", "\\u12", "\\uD83D", "\\uD83D\\", "\\uD83D\\uDE"})
        EXPECT_EQ(ReadJsonString(cut, 0).status, S::Unterminated) << cut;
    for (const char* broken : {"a\nb\"", "a\x01\"", "\\x\"", "\\u12g4\"", "\\uDE97\"", "\\uD83Dx\"",
                               "\\uD83D\\u0041\"", "\\uD83D\\n\""}) {
        const JsonString s = ReadJsonString(broken, 0);
        EXPECT_EQ(s.status, S::Malformed) << broken;
        EXPECT_TRUE(s.value.empty());
    }
    EXPECT_EQ(ReadJsonString("abc", 7).status, S::Unterminated) << "never read past the end";
}

TEST(DbCommandSet, ItemWithoutItsKeysEndsTheWalk) {
    // The second "db" item has no "cmd": the walk ends after the first, and
    // a set that carried fewer items than announced is refused whole.
    const std::string reply = R"({"cnt":2,"items":[)" + Item(1, "db", 2, "U0VMRUNUIDE=") +
                              R"(,{"order":2,"action":"db","flags":2,"len":4}]})";
    const DbCommandSet set = ParseDbCommandSet(reply);
    EXPECT_EQ(set.status, DbCommandSet::Status::Truncated);
    EXPECT_TRUE(set.commands.empty());
    // With "cnt" 1 the walk's end after the first item is the set's end.
    const DbCommandSet one =
        ParseDbCommandSet(R"({"cnt":1,"items":[)" + Item(1, "db", 2, "U0VMRUNUIDE=") +
                          R"(,{"order":2,"action":"db","flags":2}]})");
    EXPECT_EQ(one.status, DbCommandSet::Status::Ok);
    EXPECT_EQ(one.commands.size(), 1u);
    // An action without its closing quote and comma ends it too.
    EXPECT_TRUE(ParseDbCommandSet(R"({"cnt":1,"items":[{"order":1,"action":"db)").commands.empty());
}

TEST(Version, ParsesFourPartsAndMarksMissingOnes) {
    EXPECT_EQ(ParseVersionParts(u"1.4.2.17"), (std::array<int32_t, 4>{1, 4, 2, 17}));
    EXPECT_EQ(ParseVersionParts(u"10.6.5"), (std::array<int32_t, 4>{10, 6, 5, -1000000}));
    EXPECT_EQ(ParseVersionParts(u""), (std::array<int32_t, 4>{0, -1000000, -1000000, -1000000}));
    EXPECT_EQ(ParseVersionParts(u"2.x.3.4"), (std::array<int32_t, 4>{2, 0, 3, 4}));
}

TEST(Version, PacksLowSixteenBitsOfEachPart) {
    EXPECT_EQ(PackVersion({1, 4, 2, 17}), 0x0001000400020011ull);
    // -1000000 is 0xFFF0BDC0: its low half.
    EXPECT_EQ(PackVersion({10, 6, 5, -1000000}), 0x000A00060005BDC0ull);
    EXPECT_EQ(PackVersion({0x12345, 0, 0, 0}), 0x2345000000000000ull);
}

}  // namespace
