// The XML configuration store over MSXML 6.0 under Wine: the default file,
// Cyrillic names, typed reads, a file shared by two writers, and a file that
// does not parse.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/xml_config.h"
#include "platform/handles.h"
#include "platform/notifier.h"

namespace {

const char kDefaultFile[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIGURATION>\r\n</CONFIGURATION>\r\n";

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The names of the files in `folder`.
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    platform::UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

std::wstring BesideThisProgram(const wchar_t* name) {
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + name;
}

// Starts `commandLine`; an invalid handle when it could not start.
platform::UniqueHandle Start(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return {};
    ::CloseHandle(info.hThread);
    return platform::UniqueHandle(info.hProcess);
}

// The exit code; a process still running after `timeoutMs` is ended and
// reported as STILL_ACTIVE.
DWORD WaitForExit(const platform::UniqueHandle& process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 99);
        ::WaitForSingleObject(process.Get(), 5000);
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

class XmlConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_com.Ok());
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"xmlcfg_" + std::to_wstring(::GetCurrentProcessId()) +
                   L"_" + std::to_wstring(++s_counter);
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_path = m_folder + L"\\Tuvarnex.xml";
    }
    void TearDown() override {
        for (const std::wstring& name : FilesIn(m_folder))
            ::DeleteFileW((m_folder + L"\\" + name).c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }

    static inline int s_counter = 0;
    platform::ComApartment m_com;
    platform::RecordingNotifier m_messages;
    platform::ScopedNotifier m_scope{m_messages};
    std::wstring m_folder;
    std::wstring m_path;
};

TEST_F(XmlConfigTest, FirstStartCreatesTheDefaultFileByteForByte) {
    XmlConfig config(m_path);
    EXPECT_EQ(config.Open(), 0);
    ASSERT_TRUE(config.HasDocument()) << "MSXML 6.0 is part of the Wine prefix";
    EXPECT_EQ(ReadBytes(m_path), kDefaultFile);
    XmlElement root = config.GetRoot();
    ASSERT_TRUE(root);
    BSTR name = nullptr;
    root->get_tagName(&name);
    EXPECT_STREQ(name, L"CONFIGURATION");
    ::SysFreeString(name);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(XmlConfigTest, CyrillicElementsAndAttributesRoundTrip) {
    {
        XmlConfig config(m_path);
        ASSERT_EQ(config.Open(), 0);
        XmlElement root = config.GetRoot();
        EXPECT_EQ(config.EnsureChildElement(root.Get(), L"Сканер_1"), 0);
        EXPECT_EQ(config.EnsureChildElement(root.Get(), L"Сканер_1"), 1) << "already there";
        XmlElement scanner = config.FindElement(root.Get(), L"Сканер_1");
        ASSERT_TRUE(scanner);
        EXPECT_EQ(config.SetAttribute(scanner.Get(), L"порт", int32_t{2111}), 0);
        EXPECT_EQ(config.SetAttribute(scanner.Get(), L"шаг_сканирования_в_град", 0.25), 0);
        EXPECT_EQ(config.SetAttribute(scanner.Get(), L"адрес", std::wstring(L"192.168.0.1")), 0);
        EXPECT_EQ(config.SetAttribute(scanner.Get(), L"маска", uint32_t{4000000000u}), 0);
        EXPECT_EQ(config.Save(), 0);
    }
    const std::string bytes = ReadBytes(m_path);
    EXPECT_EQ(bytes.find("\xD0\xA1\xD0\xBA\xD0\xB0\xD0\xBD\xD0\xB5\xD1\x80_1"),
              bytes.rfind("\xD0\xA1\xD0\xBA\xD0\xB0\xD0\xBD\xD0\xB5\xD1\x80_1"))
        << "one element, UTF-8 encoded:\n"
        << bytes;
    EXPECT_NE(bytes.find("=\"0.25\""), std::string::npos) << "a decimal point on a Russian system";

    XmlConfig reader(m_path);
    ASSERT_EQ(reader.Open(), 0);
    XmlElement scanner = reader.FindElement(reader.GetRoot().Get(), L"Сканер_1");
    ASSERT_TRUE(scanner);
    int32_t port = 0;
    float step = 0;
    std::wstring address;
    int32_t mask = 7;
    reader.GetIntAttribute(scanner.Get(), L"порт", port);
    reader.GetFloatAttribute(scanner.Get(), L"шаг_сканирования_в_град", step);
    reader.GetStringAttribute(scanner.Get(), L"адрес", address);
    reader.GetIntAttribute(scanner.Get(), L"маска", mask);
    EXPECT_EQ(port, 2111);
    EXPECT_FLOAT_EQ(step, 0.25f);
    EXPECT_EQ(address, L"192.168.0.1");
    EXPECT_EQ(mask, 7) << "out of the 32-bit signed range keeps the default";
}

TEST_F(XmlConfigTest, SavingKeepsTheLayoutOfTheFile) {
    WriteBytes(m_path,
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIGURATION>\r\n"
               "\t<\xD0\xA0\xD0\xB0\xD0\xB1\xD0\xBE\xD1\x82\xD0\xB0 a=\"1\"/>\r\n"
               "\t<\xD0\x90\xD0\xB2\xD1\x82\xD0\xBE"
               "0>\r\n\t\t<b c=\"2\"/>\r\n"
               "\t</\xD0\x90\xD0\xB2\xD1\x82\xD0\xBE"
               "0>\r\n</CONFIGURATION>\r\n");
    XmlConfig config(m_path);
    ASSERT_EQ(config.Open(), 0);
    XmlElement work = config.FindElement(config.GetRoot().Get(), L"Работа");
    ASSERT_TRUE(work);
    EXPECT_EQ(config.SetAttribute(work.Get(), L"a", int32_t{5}), 0);
    EXPECT_EQ(config.EnsureChildElement(config.GetRoot().Get(), L"Датчик0"), 0);
    ASSERT_EQ(config.Save(), 0);
    const std::string bytes = ReadBytes(m_path);
    // Every element keeps its own indented line; the new one gets one too.
    EXPECT_NE(bytes.find("\n\t<\xD0\x90\xD0\xB2\xD1\x82\xD0\xBE"
                         "0>"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("\n\t\t<b c=\"2\"/>"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("\n\t<\xD0\x94\xD0\xB0\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA"
                         "0/>"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("a=\"5\""), std::string::npos) << bytes;
}

TEST_F(XmlConfigTest, ReadsKeepTheirDefaultsOnEveryFailure) {
    WriteBytes(m_path,
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIGURATION>\r\n"
               "\t<Датчики a=\"abc\" b=\"12.5\" c=\"12,5\" d=\"1,000\" e=\"-42\" f=\"\"/>\r\n"
               "</CONFIGURATION>\r\n");
    XmlConfig config(m_path);
    ASSERT_EQ(config.Open(), 0);
    XmlElement sensors = config.FindElement(config.GetRoot().Get(), L"Датчики");
    ASSERT_TRUE(sensors);

    int32_t i = 5;
    config.GetIntAttribute(sensors.Get(), L"a", i);
    EXPECT_EQ(i, 5) << "\"abc\" is not an integer";
    config.GetIntAttribute(sensors.Get(), L"absent", i);
    EXPECT_EQ(i, 5);
    config.GetIntAttribute(sensors.Get(), L"d", i);
    EXPECT_EQ(i, 5) << "a comma is never read as a thousands separator";
    config.GetIntAttribute(sensors.Get(), L"e", i);
    EXPECT_EQ(i, -42);

    float f = 1.5f;
    config.GetFloatAttribute(sensors.Get(), L"c", f);
    EXPECT_FLOAT_EQ(f, 1.5f) << "a decimal comma fails";
    config.GetFloatAttribute(sensors.Get(), L"b", f);
    EXPECT_FLOAT_EQ(f, 12.5f);

    std::wstring s = L"default";
    config.GetStringAttribute(sensors.Get(), L"absent", s);
    EXPECT_EQ(s, L"default");
    config.GetStringAttribute(sensors.Get(), L"f", s);
    EXPECT_EQ(s, L"") << "an empty attribute is a value";

    // An absent element, and a null parent.
    XmlElement missing = config.FindElement(config.GetRoot().Get(), L"Нет_такого");
    EXPECT_FALSE(missing);
    int32_t j = 9;
    config.GetIntAttribute(missing.Get(), L"a", j);
    EXPECT_EQ(j, 9);
    EXPECT_FALSE(config.FindElement(nullptr, L"Датчики"));
    EXPECT_EQ(config.EnsureChildElement(nullptr, L"Датчики"), 1);
}

TEST_F(XmlConfigTest, TwoWritersSeeEachOthersValues) {
    XmlConfig gnss(m_path);
    XmlConfig scanner(m_path);
    ASSERT_EQ(gnss.Open(), 0);
    ASSERT_EQ(scanner.Open(), 0);

    auto update = [](XmlConfig& c, const wchar_t* element, const wchar_t* attribute, int32_t v) {
        ASSERT_EQ(c.Load(), 0);
        XmlElement root = c.GetRoot();
        XmlElement e = c.FindElement(root.Get(), element);
        if (!e) {
            c.EnsureChildElement(root.Get(), element);
            e = c.FindElement(root.Get(), element);
        }
        ASSERT_TRUE(e);
        ASSERT_EQ(c.SetAttribute(e.Get(), attribute, v), 0);
        ASSERT_EQ(c.Save(), 0);
    };
    auto read = [](XmlConfig& c, const wchar_t* element, const wchar_t* attribute) {
        int32_t v = -1;
        EXPECT_EQ(c.Load(), 0);
        c.GetIntAttribute(c.FindElement(c.GetRoot().Get(), element).Get(), attribute, v);
        return v;
    };

    update(gnss, L"Приёмник", L"скорость", 115200);
    update(scanner, L"Сканеры", L"число", 2);
    EXPECT_EQ(read(gnss, L"Сканеры", L"число"), 2);
    EXPECT_EQ(read(scanner, L"Приёмник", L"скорость"), 115200);
    update(gnss, L"Приёмник", L"скорость", 9600);
    EXPECT_EQ(read(scanner, L"Приёмник", L"скорость"), 9600);
    EXPECT_EQ(read(gnss, L"Сканеры", L"число"), 2) << "the other writer's value survived";
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(XmlConfigTest, SavingReplacesTheFileWholeAndLeavesNothingBehind) {
    XmlConfig config(m_path);
    ASSERT_EQ(config.Open(), 0);
    XmlElement root = config.GetRoot();
    ASSERT_EQ(config.EnsureChildElement(root.Get(), L"Датчики"), 0);
    XmlElement sensors = config.FindElement(root.Get(), L"Датчики");
    ASSERT_EQ(config.SetAttribute(sensors.Get(), L"порог_в_мВ", int32_t{250}), 0);
    EXPECT_EQ(config.Save(), 0);
    EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"Tuvarnex.xml"});

    // Another program holds the file open: whether or not this save gets
    // through, the file stays whole (the old or the new content) and no
    // stray file is left beside it.
    HANDLE holder = ::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_EQ(config.SetAttribute(sensors.Get(), L"порог_в_мВ", int32_t{300}), 0);
    const long held = config.Save();
    ::CloseHandle(holder);
    EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"Tuvarnex.xml"});

    XmlConfig other(m_path);
    ASSERT_EQ(other.Open(), 0) << "the file still parses";
    int32_t threshold = 0;
    other.GetIntAttribute(other.FindElement(other.GetRoot().Get(), L"Датчики").Get(), L"порог_в_мВ",
                          threshold);
    EXPECT_EQ(threshold, held == 0 ? 300 : 250);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(XmlConfigTest, TwoProgramsSavingTogetherKeepTheFileWholeAndLeaveNothing) {
    // Two helper processes run the read and update cycle on the same file at
    // the same time, each on its own element, many times over.
    {
        XmlConfig config(m_path);
        ASSERT_EQ(config.Open(), 0);
    }
    const std::wstring event = L"XmlConfigStart_" + std::to_wstring(::GetCurrentProcessId());
    platform::UniqueHandle start(::CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
    ASSERT_TRUE(start);
    const int rounds = 150;
    const std::wstring child =
        L"\"" + BesideThisProgram(L"xml_config_child.exe") + L"\" \"" + m_path + L"\" ";
    const std::wstring tail = L" " + std::to_wstring(rounds) + L" " + event;
    platform::UniqueHandle gnss = Start(child + L"Приёмник" + tail);
    platform::UniqueHandle sensors = Start(child + L"Датчики" + tail);
    ASSERT_TRUE(gnss);
    ASSERT_TRUE(sensors);
    ::SetEvent(start.Get());
    EXPECT_EQ(WaitForExit(gnss, 120000), 0u) << "10 + n: n rounds failed to load or save";
    EXPECT_EQ(WaitForExit(sensors, 120000), 0u) << "10 + n: n rounds failed to load or save";

    EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"Tuvarnex.xml"});
    XmlConfig config(m_path);
    ASSERT_EQ(config.Open(), 0) << "the file still parses";
    XmlElement root = config.GetRoot();
    ASSERT_TRUE(root);
    // The one that saved last left its final round; the other's element is
    // there with some round (changes made at the same moment may overwrite
    // each other's, as no lock is taken between programs).
    int32_t gnssRound = -1, sensorsRound = -1;
    config.GetIntAttribute(config.FindElement(root.Get(), L"Приёмник").Get(), L"цикл", gnssRound);
    config.GetIntAttribute(config.FindElement(root.Get(), L"Датчики").Get(), L"цикл", sensorsRound);
    EXPECT_TRUE(gnssRound == rounds - 1 || sensorsRound == rounds - 1)
        << gnssRound << " " << sensorsRound;
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(XmlConfigTest, AFileThatDoesNotParseIsReportedAndLeftAlone) {
    const std::string broken =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIGURATION>\r\n\t<Приёмник "
        "порт=\"3\"\r\n";
    WriteBytes(m_path, broken);
    XmlConfig config(m_path);
    EXPECT_NE(config.Open(), 0);
    const auto messages = m_messages.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text.rfind("Failed to load DOM from .xml. ", 0), 0u) << messages[0].text;
    EXPECT_GT(messages[0].text.size(), std::string("Failed to load DOM from .xml. \n").size())
        << "the parser's reason is in the message";
    EXPECT_EQ(messages[0].text.back(), '\n');

    // Readers keep their defaults, writers find nothing and store nothing.
    XmlElement root = config.GetRoot();
    EXPECT_FALSE(root);
    int32_t port = 1;
    config.GetIntAttribute(config.FindElement(root.Get(), L"Приёмник").Get(), L"порт", port);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(config.EnsureChildElement(root.Get(), L"Приёмник"), 1);
    EXPECT_NE(config.Save(), 0);
    EXPECT_EQ(ReadBytes(m_path), broken) << "the file keeps what other programs stored";

    // Each Load reports again.
    EXPECT_NE(config.Load(), 0);
    EXPECT_EQ(m_messages.Messages().size(), 2u);
}

TEST_F(XmlConfigTest, WithoutADocumentNothingHappens) {
    XmlConfig config(m_path);  // never opened: as when MSXML 6.0 is missing
    EXPECT_EQ(config.Load(), 0);
    EXPECT_EQ(config.Save(), 1);
    EXPECT_FALSE(config.GetRoot());
    EXPECT_EQ(::GetFileAttributesW(m_path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(XmlConfigTest, AnExistingFileIsNeverReplacedAtOpening) {
    const std::string stored =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CONFIGURATION>\r\n\t<A x=\"1\"/>\r\n"
        "</CONFIGURATION>\r\n";
    WriteBytes(m_path, stored);
    // Another program holds it open without sharing: it can't be read now,
    // but it is there, so it must not be truncated.
    HANDLE held = ::CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        XmlConfig config(m_path);
        config.Open();
    }
    ::CloseHandle(held);
    EXPECT_EQ(ReadBytes(m_path), stored);
}

TEST(XmlConfigPath, IsBesideTheProgram) {
    const std::wstring path = XmlConfig::DefaultPath();
    wchar_t module[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder.erase(folder.find_last_of(L'\\'));
    EXPECT_EQ(path, folder + L"\\Tuvarnex.xml");
}

}  // namespace
