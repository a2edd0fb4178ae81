// The acquisition with two loopback scanners and a recorder on the other
// side of the named blocks: bring-up, status, the recording commands and
// their answers, the logs on disk, the alarm mark, and the release.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_slot_xml.h"
#include "loopback_scanner.h"
#include "platform/notifier.h"
#include "platform/shared_text.h"
#include "platform/text.h"
#include "scan_telegrams.h"
#include "scanner/scan_acquisition.h"

namespace {

using scan_test::LoopbackScanner;
using scan_test::PeerReply;
using sopas::ScanLayout;

constexpr int kRoot = 1;

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (done())
            return true;
        ::Sleep(5);
    }
    return done();
}

std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string f;
    while (in >> f)
        fields.push_back(f);
    return fields;
}

// The scans of one loopback scanner: poll p has 10000 + p as first distance;
// from `obstacleFrom` on, something stands in the clearance sector.
struct ScanScript {
    ScanLayout layout;
    std::atomic<int> obstacleFrom{1 << 30};
    // From this poll on, replies trickle: a byte every 50 ms, never an ETX.
    std::atomic<int> trickleFrom{1 << 30};
    scan_test::TelegramShape Shape(int poll) const {
        scan_test::TelegramShape shape = scan_test::RoadScan(541, layout);
        shape.distances[0] = 10000 + static_cast<uint32_t>(poll);
        for (size_t i = 1; i < shape.distances.size(); ++i)
            shape.distances[i] = 3000;
        if (poll >= obstacleFrom) {
            for (size_t i = 60; i < 70; ++i)
                shape.distances[i] = 1200;
        }
        return shape;
    }
};

class RecordingView : public AcquisitionView {
public:
    std::vector<bool> changes;
    scanner::Rgb colour = scanner::kYellow;
    std::optional<int64_t> lines;
    int repaints = 0;
    void RecordingChanged(bool recording) override { changes.push_back(recording); }
    void ShowIndicator(scanner::Rgb c, std::optional<int64_t> l) override {
        colour = c;
        lines = l;
    }
    void RepaintProfiles() override { ++repaints; }
    HWND MessageOwner() const override { return nullptr; }
};

class ExchangeTest : public ::testing::Test {
protected:
    ExchangeTest()
        : m_peer0(LoopbackScanner::Lms100(1, 2, [this](int p) { return Reply(m_script0, p); })),
          m_peer1(LoopbackScanner::Lms100(2, 1, [this](int p) { return Reply(m_script1, p); })) {
        m_script0.layout = ScanLayout::First;
        m_script1.layout = ScanLayout::Second;
    }

    static PeerReply Reply(const ScanScript& script, int poll) {
        if (poll >= script.trickleFrom) {
            PeerReply r{"\x02sRA LMDscandata 1 1 " + std::string(400, '7')};
            r.pieceBytes = 1;
            r.pieceDelayMs = 50;
            return r;
        }
        return PeerReply{scan_test::BuildTelegram(script.Shape(poll))};
    }

    // Scanner 0 starts trickling its reply to a trigger; returns once it is in it.
    void TrickleNextScan() {
        const int polls = m_peer0.ScanPolls();
        m_script0.trickleFrom = polls;
        m_acq->Trigger();
        ASSERT_TRUE(WaitFor([&] { return m_peer0.ScanPolls() > polls; }));
        ::Sleep(150);
    }

    void SetUp() override {
        m_startDirectory = CurrentDirectory();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"Запись сканеров";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ::DeleteFileW((m_folder + L"\\scanner0.log").c_str());
        ::DeleteFileW((m_folder + L"\\scanner1.log").c_str());

        m_xml.Add(kRoot, "Работа", {{"индекс_автомобиля", "0"}});
        const int vehicle = m_xml.Add(kRoot, "Авто0");
        m_item0 = m_xml.Add(vehicle, "Изделие0",
                            {{"тип", "сканер"},
                             {"IP", "127.0.0.1"},
                             {"ID_модели", "7"},
                             {"подключен", "0"},
                             {"угол_поворота_в_поперечной_плоскости_в_град", "-45"},
                             {"начальный_угол_верхнего_габарита", "-20"},
                             {"конечный_угол_верхнего_габарита", "20"}});
        m_item1 = m_xml.Add(vehicle, "Изделие1",
                            {{"тип", "сканер"},
                             {"IP", "127.0.0.1"},
                             {"ID_модели", "7"},
                             {"угол_поворота_в_поперечной_плоскости_в_град", "-45"},
                             {"начальный_угол_верхнего_габарита", "-20"},
                             {"конечный_угол_верхнего_габарита", "20"}});
        m_xml.Add(kRoot, "Модель0", {{"ID", "7"}, {"шаг_сканирования_в_град", "0.5"}});

        auto beeper =
            std::make_unique<scanner::AlarmBeeper>([this](uint32_t, uint32_t) { ++m_tones; });
        m_acq = std::make_unique<ScanAcquisition>(&m_xml, scanner::CommandLine{true, 0}, &m_view,
                                                  std::move(beeper));
        m_acq->LoadSlots();
        for (int j = 0; j < 2; ++j) {
            scanner::ScannerSlot slot = m_acq->SlotCopy(j);
            slot.port = j == 0 ? m_peer0.Port() : m_peer1.Port();
            if (j == 1)
                slot.inclinometerFitted = 0;
            m_acq->SetSlot(j, slot);
        }
        m_acq->QueryPerformanceFrequency();
        m_acq->ConnectScanners();
        m_acq->SaveSlots();
        m_acq->CreateMappings();
        m_status =
            platform::SharedTextBlock::Open(L"MyScanFileMappingObject", L"MyScanBufferMutex", 16);
        m_command = platform::SharedTextBlock::Open(L"MyScanCommandMappingObject",
                                                    L"MyScanCommandMutex", 262);
    }

    void TearDown() override {
        m_acq.reset();
        ::SetCurrentDirectoryW(m_startDirectory.c_str());
    }

    // One trigger: both scanners are polled once more.
    void TriggerScan() {
        const int p0 = m_peer0.ScanPolls(), p1 = m_peer1.ScanPolls();
        m_acq->Trigger();
        ASSERT_TRUE(WaitFor([&] { return m_peer0.ScanPolls() > p0 && m_peer1.ScanPolls() > p1; }));
        ::Sleep(20);  // the data threads finish the scan they were sent
    }

    // The recorder writes a command; the service polls once; the block's text after.
    std::string Command(const std::string& ansiText) {
        EXPECT_EQ(m_command.Write(ansiText), platform::SharedTextAccess::Ok);
        m_acq->PollCommands();
        std::string text;
        m_command.Read(text);
        return text;
    }

    std::string StatusText() {
        std::string text;
        m_status.Read(text);
        return text;
    }

    platform::RecordingNotifier m_messages;
    platform::ScopedNotifier m_scope{m_messages};
    ScanScript m_script0, m_script1;
    LoopbackScanner m_peer0, m_peer1;
    scan_test::FakeSlotXml m_xml;
    int m_item0 = 0, m_item1 = 0;
    std::atomic<int> m_tones{0};
    RecordingView m_view;
    std::unique_ptr<ScanAcquisition> m_acq;
    platform::SharedTextBlock m_status, m_command;
    std::wstring m_startDirectory, m_folder;
};

TEST_F(ExchangeTest, BothScannersComeUpAndTheStatusSaysGood) {
    EXPECT_TRUE(m_messages.Messages().empty());
    EXPECT_EQ(m_acq->Settings().slots[0].connected, 1);
    EXPECT_EQ(m_acq->Settings().slots[1].connected, 1);
    EXPECT_EQ(m_acq->Settings().slots[0].pointCount, 541);
    EXPECT_EQ(m_acq->Client(0)->m_layout, ScanLayout::First);
    EXPECT_EQ(m_acq->Client(1)->m_layout, ScanLayout::Second);
    EXPECT_EQ(m_xml.Attribute(m_item0, "подключен"), "1");
    EXPECT_EQ(m_xml.Attribute(m_item1, "подключен"), "1");
    ASSERT_TRUE(m_status.Ready());
    ASSERT_TRUE(m_command.Ready());
    EXPECT_EQ(StatusText(), "");  // nothing published yet
    TriggerScan();
    m_acq->OnTimer(ScanAcquisition::kStatusTimer);
    EXPECT_EQ(StatusText(), "1\n");
    EXPECT_EQ(m_view.repaints, 1);
    std::vector<uint32_t> shown(sopas::kScanValueCapacity);
    EXPECT_EQ(m_acq->CopyScan(1, shown.data()), 541);
    EXPECT_GE(shown[0], 10001u);
}

TEST_F(ExchangeTest, ARecordingLogsEveryRequestedScanAndTheAlarm) {
    TriggerScan();
    const std::wstring folder = m_folder;
    EXPECT_EQ(Command("1 " + platform::WideToAnsi(folder)), "3\n");
    EXPECT_TRUE(m_acq->Recording());
    EXPECT_EQ(m_view.changes, std::vector<bool>{true});
    EXPECT_EQ(CurrentDirectory(), folder);
    // A second start while recording stays unanswered.
    EXPECT_EQ(Command("1 C:\\elsewhere"), "1 C:\\elsewhere");

    EXPECT_EQ(Command("2 1.5 2.5 3.5"), "3\n");
    TriggerScan();
    ASSERT_TRUE(
        WaitFor([&] { return m_acq->LinesWritten(0) == 1 && m_acq->LinesWritten(1) == 1; }));
    EXPECT_EQ(Command("2"), "3\n");
    TriggerScan();
    ASSERT_TRUE(
        WaitFor([&] { return m_acq->LinesWritten(0) == 2 && m_acq->LinesWritten(1) == 2; }));

    // Something enters the clearance sector: logged by itself, with the mark.
    m_script0.obstacleFrom = m_peer0.ScanPolls();
    TriggerScan();
    ASSERT_TRUE(WaitFor([&] { return m_acq->LinesWritten(0) == 3; }));
    EXPECT_EQ(m_acq->LinesWritten(1), 2);
    EXPECT_TRUE(WaitFor([&] { return m_tones >= 1; }));

    m_acq->OnTimer(ScanAcquisition::kIndicatorTimer);
    EXPECT_EQ(m_view.colour, scanner::kGreen);
    EXPECT_EQ(m_view.lines, 5);

    EXPECT_EQ(Command("0"), "3\n");
    EXPECT_FALSE(m_acq->Recording());
    EXPECT_EQ(CurrentDirectory(), m_startDirectory);

    const std::string log0 = ReadFile(folder + L"\\scanner0.log");
    const std::string log1 = ReadFile(folder + L"\\scanner1.log");
    EXPECT_EQ(std::count(log0.begin(), log0.end(), '\r'), 3);  // text mode: CR LF
    const auto lines0 = Lines(log0);
    const auto lines1 = Lines(log1);
    ASSERT_EQ(lines0.size(), 3u);
    ASSERT_EQ(lines1.size(), 2u);
    // Every line holds exactly the scan that was sent for it.
    for (size_t n = 0; n < lines0.size(); ++n) {
        const auto f = Fields(lines0[n]);
        ASSERT_EQ(f.size(), 2u + 1 + 1082 + 3 + 2);
        EXPECT_EQ(f[2], "541");
        const int poll = std::stoi(f[3]) - 10000;
        const auto shape = m_script0.Shape(poll);
        for (size_t i = 0; i < 541; ++i) {
            ASSERT_EQ(f[3 + i], std::to_string(shape.distances[i])) << n << " " << i;
            ASSERT_EQ(f[3 + 541 + i], std::to_string(shape.remissions[i])) << n << " " << i;
        }
        const std::string values =
            n == 0 ? "1.500000 2.500000 3.500000" : "1000.000000 1000.000000 1000.000000";
        EXPECT_EQ(f[1085] + " " + f[1086] + " " + f[1087], values);
        EXPECT_EQ(f[1088], n == 2 ? "1" : "0");  // the alarm mark
    }
    // The second scanner has no inclinometer: one 1000.0.
    const auto f1 = Fields(lines1[0]);
    ASSERT_EQ(f1.size(), 2u + 1 + 1082 + 1 + 2);
    EXPECT_EQ(f1[1085], "1000.000000");
}

TEST_F(ExchangeTest, CommandsThatDoNotApplyStayUnansweredAndAFailedFolderDoesNotMoveTheService) {
    EXPECT_EQ(Command("0"), "0");
    EXPECT_EQ(Command("2 1 2 3"), "2 1 2 3");
    EXPECT_EQ(Command("abc"), "abc");
    EXPECT_FALSE(m_acq->Recording());

    EXPECT_EQ(Command("1 Z:\\no\\such\\folder here"), "3\n");
    EXPECT_EQ(CurrentDirectory(), m_startDirectory);
    EXPECT_EQ(Command("0"), "3\n");
    EXPECT_EQ(CurrentDirectory(), m_startDirectory);
}

TEST_F(ExchangeTest, ADroppedScannerMakesTheStatusAndTheLogAnswerFail) {
    TriggerScan();
    m_acq->PublishStatus();
    EXPECT_EQ(StatusText(), "1\n");
    // The second scanner's connection goes.
    m_acq->Client(1)->Close();
    m_acq->Trigger();
    ::Sleep(200);
    m_acq->PublishStatus();
    EXPECT_EQ(StatusText(), "0\n");
    EXPECT_EQ(Command("1 " + platform::WideToAnsi(m_folder)), "3\n");
    EXPECT_EQ(Command("2"), "-1\n");
    EXPECT_EQ(Command("0"), "3\n");
}

TEST_F(ExchangeTest, ABringUpAgainAndTheReleaseFinishWhileAScannerTricklesItsReply) {
    using Clock = std::chrono::steady_clock;
    TriggerScan();
    // The settings are accepted while scanner 1's data thread is in a
    // trickled reply: the old clients go and both scanners come up again.
    TrickleNextScan();
    m_script0.trickleFrom = 1 << 30;
    auto begin = Clock::now();
    m_acq->ReleaseClients();
    m_acq->ConnectScanners();
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(5));
    EXPECT_EQ(m_acq->Settings().slots[0].connected, 1);
    EXPECT_EQ(m_acq->Settings().slots[1].connected, 1);
    TriggerScan();
    // The window closes while it trickles again.
    TrickleNextScan();
    begin = Clock::now();
    m_acq->ReleaseAcquisition();
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(3));
    EXPECT_EQ(StatusText(), "0\n");
}

TEST_F(ExchangeTest, ReleaseWritesTheStoppingTextsAndDisconnectsTheItems) {
    TriggerScan();
    m_acq->ReleaseAcquisition();
    EXPECT_EQ(StatusText(), "0\n");
    std::string command;
    m_command.Read(command);
    EXPECT_EQ(command, "0\n");
    EXPECT_EQ(m_xml.Attribute(m_item0, "подключен"), "0");
    EXPECT_EQ(m_xml.Attribute(m_item1, "подключен"), "0");
    EXPECT_TRUE(WaitFor([&] {
        const auto c = m_peer0.Commands();
        return !c.empty() && c.back() == sopas::kStopMeasurement;
    }));
}

TEST(NoScannerTest, ACrewWithoutScannersSeesNoFailure) {
    // The vehicle has no scanner item: nothing is brought up, and the status
    // block and the log answers say that nothing failed.
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scope{messages};
    scan_test::FakeSlotXml xml;
    xml.Add(kRoot, "Работа", {{"индекс_автомобиля", "0"}});
    xml.Add(kRoot, "Авто0");
    ScanAcquisition acq(&xml, scanner::CommandLine{true, 0}, nullptr, nullptr);
    acq.LoadSlots();
    acq.ConnectScanners();
    acq.CreateMappings();
    platform::SharedTextBlock status =
        platform::SharedTextBlock::Open(L"MyScanFileMappingObject", L"MyScanBufferMutex", 16);
    platform::SharedTextBlock command =
        platform::SharedTextBlock::Open(L"MyScanCommandMappingObject", L"MyScanCommandMutex", 262);
    ASSERT_TRUE(status.Ready() && command.Ready());
    acq.PublishStatus();
    std::string text;
    status.Read(text);
    EXPECT_EQ(text, "1\n");
    for (const char* c : {"1", "2 1 2 3", "2", "0"}) {
        ASSERT_EQ(command.Write(c), platform::SharedTextAccess::Ok);
        acq.PollCommands();
        command.Read(text);
        EXPECT_EQ(text, "3\n") << c;
    }
    EXPECT_TRUE(messages.Messages().empty());
}

}  // namespace

namespace {

TEST(ScanTriggerTest, FiresEveryPeriodIntoItsTargetsAndNothingAfterStop) {
    platform::UniqueHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ScanTrigger trigger;
    ASSERT_TRUE(trigger.Start(10));
    trigger.SetTarget(1, event.Get());
    int seen = 0;
    for (int i = 0; i < 200 && seen < 5; ++i) {
        if (::WaitForSingleObject(event.Get(), 50) == WAIT_OBJECT_0)
            ++seen;
    }
    EXPECT_EQ(seen, 5);
    trigger.SetTarget(1, nullptr);
    ::WaitForSingleObject(event.Get(), 30);  // one set before the change
    EXPECT_EQ(::WaitForSingleObject(event.Get(), 60), static_cast<DWORD>(WAIT_TIMEOUT));
    trigger.SetTarget(0, event.Get());
    EXPECT_EQ(::WaitForSingleObject(event.Get(), 1000), static_cast<DWORD>(WAIT_OBJECT_0));
    trigger.Stop();
    EXPECT_FALSE(trigger.Running());
    const uint64_t ticks = trigger.Ticks();
    ::Sleep(50);
    EXPECT_EQ(trigger.Ticks(), ticks);
    EXPECT_GT(ticks, 5u);
}

}  // namespace
