// Version texts from version resources: this test program carries a Russian
// block of version 10, 6, 5, 1; its two probes beside it carry a US English
// block of the suite's version and no resource at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/app_frame.h"
#include "common/product_version.h"

namespace {

std::wstring Beside(const wchar_t* file) {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + file;
}

constexpr const wchar_t* kRussianPath = L"\\StringFileInfo\\041904b0\\ProductVersion";
constexpr const wchar_t* kEnglishPath = L"\\StringFileInfo\\040904b0\\ProductVersion";

TEST(ProductVersion, CommasAndBlanksBecomePoints) {
    EXPECT_EQ(GetProductVersion(), L"10.6.5.1");
}

TEST(ProductVersion, FixedPathFindsOnlyItsLanguage) {
    EXPECT_EQ(ReadFixedProductVersion(kRussianPath), L"10.6.5.1");
    EXPECT_EQ(ReadFixedProductVersion(kEnglishPath), L"");

    const std::wstring us = Beside(L"common_version_probe_us.exe");
    ASSERT_NE(::GetFileAttributesW(us.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFixedProductVersion(kEnglishPath, us), L"" SURVEY_PRODUCT_VERSION_W);
    EXPECT_EQ(ReadFixedProductVersion(kRussianPath, us), L"");
}

TEST(ProductVersion, TranslationTableChoosesTheBlock) {
    const std::wstring us = Beside(L"common_version_probe_us.exe");
    EXPECT_EQ(ReadProductVersionOf(us), L"" SURVEY_PRODUCT_VERSION_W);
}

TEST(ProductVersion, NoResourceGivesEmptyText) {
    const std::wstring none = Beside(L"common_version_probe_none.exe");
    ASSERT_NE(::GetFileAttributesW(none.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadProductVersionOf(none), L"");
    EXPECT_EQ(ReadFixedProductVersion(kEnglishPath, none), L"");
    EXPECT_EQ(ReadProductVersionOf(Beside(L"no_such_file.exe")), L"");
}

// Each program's block is found by the fixed path its frame reads m_version
// from, and by the translation table; the other language's path finds nothing.
TEST(ProductVersion, EachProgramCarriesTheBlockItsFrameReads) {
    const struct {
        const wchar_t* probe;
        AppFrameTable table;
        const wchar_t* otherPath;
    } programs[] = {
        {L"common_version_probe_Orvanta.exe", OrvantaFrameTable(), kEnglishPath},
        {L"common_version_probe_Vestrami.exe", VestramiFrameTable(), kRussianPath},
        {L"common_version_probe_Tessarin.exe", TessarinFrameTable(), kRussianPath},
    };
    for (const auto& p : programs) {
        SCOPED_TRACE(testing::Message() << "program " << p.table.guardMutexName.c_str());
        const std::wstring file = Beside(p.probe);
        ASSERT_NE(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(ReadFixedProductVersion(p.table.versionQueryPath.c_str(), file),
                  L"" SURVEY_PRODUCT_VERSION_W);
        EXPECT_EQ(ReadProductVersionOf(file), L"" SURVEY_PRODUCT_VERSION_W);
        EXPECT_EQ(ReadFixedProductVersion(p.otherPath, file), L"");
    }
}

}  // namespace
