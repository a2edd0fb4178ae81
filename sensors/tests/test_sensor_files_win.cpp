// The Win32 pieces of the sensor service under Wine: the shared blocks'
// protocol as the recorder and readers see it, the recording files in a
// folder with Cyrillic letters and a space, and the configuration through
// the suite's XML store.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/xml_config.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "sensors/config_store_xml.h"
#include "sensors/recording_control.h"
#include "sensors/recording_files.h"
#include "sensors/sensor_hub.h"
#include "sensors/sensor_lines.h"
#include "sensors/sensor_mappings.h"
#include "platform/tests/test_files_win.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            start = i + 2;
        }
    }
    EXPECT_EQ(start, bytes.size()) << "every line ends in CR LF";
    return lines;
}

class BlocksTest : public ::testing::Test {
protected:
    void TearDown() override { mappings.Close(); }
    SensorMappings mappings;
};

TEST_F(BlocksTest, CreatedWithTheirInitialTexts) {
    EXPECT_TRUE(mappings.Create().messages.empty());
    auto data = platform::SharedTextBlock::Open(kDataMappingName, kDataMutexName, 1024);
    auto state = platform::SharedTextBlock::Open(kFilesWriteStateMappingName,
                                                 kFilesWriteStateMutexName, 262);
    ASSERT_TRUE(data.Ready());
    ASSERT_TRUE(state.Ready());
    std::string text;
    ASSERT_EQ(data.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0");
    ASSERT_EQ(state.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
}

TEST_F(BlocksTest, ANameTakenByAnotherProgramIsReported) {
    // Each of the four names held by an object of another kind: a block
    // without its view or its mutex is reported and dropped.
    const wchar_t* const names[] = {kDataMappingName, kDataMutexName, kFilesWriteStateMappingName,
                                    kFilesWriteStateMutexName};
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        platform::UniqueHandle taken(::CreateEventW(nullptr, TRUE, FALSE, names[n]));
        ASSERT_TRUE(taken.Valid());
        SensorMappings blocks;
        const SensorMappings::CreateResult r = blocks.Create();
        const bool data = n < 2;
        EXPECT_EQ(r.failed, !data);
        const std::vector<std::string> want =
            data ? std::vector<std::string>{"Не удается организовать передачу данных",
                                            "Не удается организовать передачу данных АЦП"}
                 : std::vector<std::string>{"Не удается организовать прием данных"};
        EXPECT_EQ(r.messages, want);
        EXPECT_FALSE((data ? blocks.Data() : blocks.FilesWriteState()).HasView());
        EXPECT_FALSE((data ? blocks.Data() : blocks.FilesWriteState()).HasMutex());
        if (data) {
            EXPECT_TRUE(blocks.FilesWriteState().Ready());
            std::string text;
            EXPECT_TRUE(blocks.ReadFilesWriteState(text));
            EXPECT_EQ(text, "0\n");
        }
        blocks.Close();
    }
}

TEST_F(BlocksTest, RecorderTextIsBoundedAndAnsi) {
    ASSERT_FALSE(mappings.Create().failed);
    auto recorder = platform::SharedTextBlock::Open(kFilesWriteStateMappingName,
                                                    kFilesWriteStateMutexName, 262);
    const std::wstring folder = L"C:\\Проезды\\Проезд 1";
    ASSERT_EQ(recorder.Write("1\n" + platform::WideToAnsi(folder)), platform::SharedTextAccess::Ok);
    std::string text;
    ASSERT_TRUE(mappings.ReadFilesWriteState(text));
    const FilesWriteRequest request = ParseFilesWriteState(text);
    EXPECT_TRUE(request.record);
    EXPECT_EQ(platform::AnsiToWide(request.folder), folder);
    // A recorder that fills the block without a terminator.
    platform::SharedTextLock lock = recorder.Lock();
    ASSERT_TRUE(lock.Held());
    lock.Write(std::string(300, '7'));
    lock.Unlock();
    ASSERT_TRUE(mappings.ReadFilesWriteState(text));
    EXPECT_EQ(text.size(), 261u);
}

TEST_F(BlocksTest, ReadersSeeMinusOneAfterTheServiceClosed) {
    ASSERT_FALSE(mappings.Create().failed);
    auto reader = platform::SharedTextBlock::Open(kDataMappingName, kDataMutexName, 1024);
    ASSERT_TRUE(reader.Ready());
    mappings.Close();
    std::string text;
    ASSERT_EQ(reader.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "-1");
}

TEST_F(BlocksTest, AReaderHoldingTheMutexCostsOneLineOnly) {
    ASSERT_FALSE(mappings.Create().failed);
    mappings.Data().SetWaitMs(50);
    SensorHub hub;
    hub.AttachDataBlock(&mappings.Data());
    auto reader = platform::SharedTextBlock::Open(kDataMappingName, kDataMutexName, 1024);
    const double raw[kInputCount] = {0.5, 0.5, 0.5, 0.5};
    {
        // The reader's lock lives on another thread, as in another process.
        HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        struct Args {
            platform::SharedTextBlock* block;
            HANDLE held, release;
        } args{&reader, held, release};
        HANDLE thread = ::CreateThread(
            nullptr, 0,
            [](void* p) -> DWORD {
                auto* a = static_cast<Args*>(p);
                platform::SharedTextLock lock = a->block->Lock();
                ::SetEvent(a->held);
                ::WaitForSingleObject(a->release, 5000);
                return 0;
            },
            &args, 0, nullptr);
        ::WaitForSingleObject(held, 5000);
        hub.OnScan(raw, 0);  // skipped after 50 ms
        ::SetEvent(release);
        ::WaitForSingleObject(thread, 5000);
        ::CloseHandle(thread);
        ::CloseHandle(held);
        ::CloseHandle(release);
    }
    std::string text;
    ASSERT_EQ(reader.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text, "0");
    hub.OnScan(raw, 0);
    ASSERT_EQ(reader.Read(text), platform::SharedTextAccess::Ok);
    EXPECT_EQ(text.substr(0, 16), "1   2   2   2   ");
    hub.AttachDataBlock(nullptr);
}

class RecordingFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = CurrentDirectory();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_base = std::wstring(temp) + L"Тессарин тест";
        platform_test::RemoveTree(m_base);
        ::CreateDirectoryW(m_base.c_str(), nullptr);
        m_folder = m_base + L"\\Проезд 1";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ::SetCurrentDirectoryW(m_base.c_str());
        for (int i = 0; i < kInputCount; ++i) {
            m_setup.channels[static_cast<size_t>(i)].enabled = i != 1;
            m_setup.channels[static_cast<size_t>(i)].sensitivityMv = 10 * (i + 1);
        }
        m_setup.channels[0].purpose = 0;
        m_setup.channels[1].purpose = 1;
        m_setup.channels[2].purpose = 4;
        m_setup.channels[3].purpose = 3;  // a supply voltage: no file
    }
    void TearDown() override {
        ::SetCurrentDirectoryW(m_previous.c_str());
        platform_test::RemoveTree(m_base);
    }
    std::wstring InFolder(const wchar_t* name) const { return m_folder + L"\\" + name; }

    std::wstring m_previous, m_base, m_folder;
    SensorSetup m_setup;
};

TEST_F(RecordingFilesTest, OneLinePerSampleInTheRecorderFolder) {
    ASSERT_TRUE(EnterRecordingFolder(platform::WideToAnsi(m_folder)));
    EXPECT_EQ(CurrentDirectory(), m_folder);
    SensorHub hub;
    hub.SetSetup(m_setup);
    ChannelFileSet files = ChannelFileSet::Open(m_setup);
    EXPECT_EQ(files.Mask(), 0b0111u);
    hub.StartWriting(std::move(files));
    WriteSessionFile(m_setup);
    // Two seconds of samples at 1000 a second, 1 ms apart (UTC 23:59:59 onwards).
    const uint64_t start =
        platform::CivilToFileTime(platform::CivilTime{2026, 12, 1, 31, 23, 59, 59, 0});
    for (int k = 0; k < 2000; ++k) {
        const double raw[kInputCount] = {(k / 5) % 2 ? 4.8 : 0.2, 2.5, 1.0 + k * 0.001, 12.0};
        hub.OnScan(raw, start + static_cast<uint64_t>(k) * 10000);
    }
    hub.StopWriting().CloseAll();
    ASSERT_TRUE(LeaveRecordingFolder());
    EXPECT_EQ(CurrentDirectory(), m_base);

    const std::vector<std::string> way = Lines(ReadBytes(InFolder(L"sensWay.txt")));
    ASSERT_EQ(way.size(), 2001u);
    EXPECT_EQ(way[0], "num,LastDif,LastValue,time,date");
    EXPECT_EQ(way[1], "1,-29999.801,0.200,235959.000,261231");
    EXPECT_EQ(way[2000], "201,0.000,4.800,000000.999,270101");
    const std::vector<std::string> left = Lines(ReadBytes(InFolder(L"leftLazer.txt")));
    ASSERT_EQ(left.size(), 2001u);
    EXPECT_EQ(left[1000].substr(0, 14), "2,0.001,1.999,");
    EXPECT_EQ(Lines(ReadBytes(InFolder(L"sensSlope.txt"))).size(), 2001u);
    EXPECT_EQ(::GetFileAttributesW(InFolder(L"rightLazer.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    // The session file has the enabled inputs' sections only.
    const std::wstring ini = InFolder(L"session.ini");
    wchar_t value[64];
    ::GetPrivateProfileStringW(L"Датчик0", L"Чувствительность", L"?", value, 64, ini.c_str());
    EXPECT_STREQ(value, L"10");
    ::GetPrivateProfileStringW(L"Датчик2", L"Назначение", L"?", value, 64, ini.c_str());
    EXPECT_STREQ(value, L"4");
    ::GetPrivateProfileStringW(L"Датчик2", L"Марка", L"?", value, 64, ini.c_str());
    EXPECT_STREQ(value, L"");
    ::GetPrivateProfileStringW(L"Датчик1", L"Назначение", L"?", value, 64, ini.c_str());
    EXPECT_STREQ(value, L"?");
}

TEST_F(RecordingFilesTest, SamplesOutsideARecordingWriteNothing) {
    ASSERT_TRUE(EnterRecordingFolder(platform::WideToAnsi(m_folder)));
    SensorHub hub;
    hub.SetSetup(m_setup);
    const double raw[kInputCount] = {0.2, 2.5, 1.0, 12.0};
    hub.StartWriting(ChannelFileSet::Open(m_setup));
    hub.OnScan(raw, 0);
    ChannelFileSet files = hub.StopWriting();
    hub.OnScan(raw, 0);  // after the stop, before the files are closed
    files.CloseAll();
    hub.OnScan(raw, 0);
    EXPECT_EQ(Lines(ReadBytes(InFolder(L"sensWay.txt"))).size(), 2u);
    // A second recording appends to the same files.
    hub.StartWriting(ChannelFileSet::Open(m_setup));
    hub.OnScan(raw, 0);
    hub.StopWriting().CloseAll();
    EXPECT_EQ(Lines(ReadBytes(InFolder(L"sensWay.txt"))).size(), 4u);
}

// Two inputs of one purpose share their file: each line whole, one header,
// every sample of both inputs there in sample order; a flush (once a display
// tick) puts every line written so far on the disk.
TEST_F(RecordingFilesTest, SharedPurposeWritesWholeLinesInOrder) {
    ::SetCurrentDirectoryW(m_folder.c_str());
    m_setup.channels[3].purpose = 4;  // as input 2: "leftLazer.txt"
    SensorHub hub;
    hub.SetSetup(m_setup);
    ChannelFileSet files = ChannelFileSet::Open(m_setup);
    EXPECT_EQ(files.Mask(), 0b1111u);
    hub.StartWriting(std::move(files));
    const uint64_t start =
        platform::CivilToFileTime(platform::CivilTime{2026, 12, 1, 2, 0, 0, 0, 0});
    constexpr int kScans = 6000;
    const auto scan = [&](int k) {
        // Input 2 reads 1.000..1.499 V, input 3 3.000..3.499 V: each line
        // tells its input by its voltage and its sample by its stamp.
        const double step = (k % 500) * 0.001;
        const double raw[kInputCount] = {0.2, 2.5, 1.0 + step, 3.0 + step};
        hub.OnScan(raw, start + static_cast<uint64_t>(k) * 10000);
    };
    for (int k = 0; k < kScans / 2; ++k)
        scan(k);
    EXPECT_FALSE(hub.FlushFiles());
    EXPECT_EQ(Lines(ReadBytes(InFolder(L"leftLazer.txt"))).size(), 1u + kScans);
    for (int k = kScans / 2; k < kScans; ++k)
        scan(k);
    EXPECT_TRUE(hub.StopWriting().CloseAll());

    const std::vector<std::string> lines = Lines(ReadBytes(InFolder(L"leftLazer.txt")));
    ASSERT_EQ(lines.size(), 1u + 2u * kScans);
    EXPECT_EQ(lines[0], "num,LastDif,LastValue,time,date");
    const std::regex row(R"(^(\d+),-?\d+\.\d{3},(\d+\.\d{3}),0000(\d\d)\.(\d{3}),261202$)");
    std::vector<int> samples[2];
    for (size_t n = 1; n < lines.size(); ++n) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[n], m, row)) << "line " << n + 1 << ": " << lines[n];
        const double volts = std::stod(m[2]);
        const int k = std::stoi(m[3]) * 1000 + std::stoi(m[4]);
        EXPECT_NEAR(volts, (volts < 2 ? 1.0 : 3.0) + (k % 500) * 0.001, 1e-6) << lines[n];
        samples[volts < 2 ? 0 : 1].push_back(k);
    }
    for (const std::vector<int>& input : samples) {
        ASSERT_EQ(input.size(), static_cast<size_t>(kScans));
        for (int k = 0; k < kScans; ++k)
            ASSERT_EQ(input[static_cast<size_t>(k)], k) << "samples out of order";
    }
}

TEST_F(RecordingFilesTest, AFolderThatCannotBeEnteredLeavesTheDirectory) {
    EXPECT_FALSE(EnterRecordingFolder(platform::WideToAnsi(m_base + L"\\нет такой")));
    EXPECT_EQ(CurrentDirectory(), m_base);
}

TEST_F(RecordingFilesTest, SnapshotAndCalibrationFiles) {
    ::SetCurrentDirectoryW(m_folder.c_str());
    ASSERT_TRUE(AppendSnapshot("dpp = 1.000 time = 261231235959.000\n"));
    ASSERT_TRUE(AppendSnapshot("dpp = 2.000 time = 261231235959.001\n"));
    EXPECT_EQ(ReadBytes(InFolder(L"acp.dmp")),
              "dpp = 1.000 time = 261231235959.000\r\ndpp = 2.000 time = 261231235959.001\r\n");
    {
        CalibrationFile calibration;
        ASSERT_TRUE(calibration.Create());
        EXPECT_TRUE(calibration.IsOpen());
        // Readable while open: the header was written out.
        EXPECT_EQ(ReadBytes(InFolder(L"tar.txt")),
                  CalibrationFileHeader().substr(0, CalibrationFileHeader().size() - 1) + "\r\n");
        ASSERT_TRUE(calibration.Create());  // created again: truncated
    }
    EXPECT_EQ(ReadBytes(InFolder(L"tar.txt")).size(), CalibrationFileHeader().size() + 1);
}

TEST_F(RecordingFilesTest, ConfigurationThroughTheXmlStore) {
    const std::wstring path = m_folder + L"\\Tuvarnex.xml";
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CONFIGURATION>\n"
               "<Работа индекс_автомобиля=\"1\"/>\n"
               "<Авто1 путь_за_один_импульс_в_мм=\"0.5\">"
               "<Изделие0 тип=\"балка_поперечного_уклона\" ID_модели=\"4\""
               " инклинометр___напряжение_нулевого_уклона_в_мВ=\"2600\"/></Авто1>\n"
               "<Модель0 ID=\"4\" коэффициент_лазера_в_мВ_на_м=\"800\""
               " расстояние_между_лазерами_в_мм=\"1750\"/>\n"
               "<Датчик0 включение=\"1\" чувствительность_в_мВ=\"40\" тип=\"0\" "
               "назначение=\"5\"/>\n"
               "</CONFIGURATION>\n";
    }
    platform::ComApartment com;
    XmlConfig xml(path);
    xml.Open();
    XmlConfigStore store(&xml);
    ASSERT_TRUE(store.IsLoaded());
    SensorConfig config;
    LoadSensorConfig(&store, config);
    EXPECT_FLOAT_EQ(config.pathPerPulse, 0.5f);
    EXPECT_EQ(config.setup.calibration.zeroSlopeMv, 2600);
    EXPECT_EQ(config.setup.calibration.laserCoefMvPerM, 800);
    EXPECT_EQ(config.setup.calibration.laserBaseMm, 1750);
    EXPECT_EQ(config.setup.channels[0].purpose, 5);
    EXPECT_EQ(config.setup.roles.rightLaser, 0);
    EXPECT_EQ(config.labels[0], "правый лазер");
    EXPECT_TRUE(config.setup.channels[3].enabled);  // created with "включение" 1
    config.setup.channels[0].sensitivityMv = 55;
    config.options.writeChannelFiles = true;
    SaveSensorConfig(&store, config);
    const std::string saved = ReadBytes(path);
    EXPECT_NE(saved.find("чувствительность_в_мВ=\"55\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("<Записывать_отладочные_файлы да_если_1=\"1\""), std::string::npos);
    EXPECT_NE(saved.find("<Датчик3 "), std::string::npos);
    EXPECT_NE(saved.find("размер_очереди_уклонов=\"20\""), std::string::npos);
}

}  // namespace
