// Shared text blocks within one process: creation, opening, bounded copies,
// skipped accesses and abandoned mutexes. Other threads stand in for the
// other processes where a mutex must be held by someone else.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "platform/handles.h"
#include "platform/shared_text.h"
#include "platform/text_codec.h"

namespace {

using platform::MutexOwnership;
using platform::SharedTextAccess;
using platform::SharedTextBlock;
using platform::SharedTextCreateOptions;
using platform::SharedTextLock;
using platform::SharedTextOpenOptions;
using platform::SharedTextStep;

struct Names {
    std::wstring mapping;
    std::wstring mutex;
};

// Names of their own for each test: parallel test processes share the prefix's namespace.
Names UniqueNames(const wchar_t* subject) {
    static std::atomic<int> counter{0};
    const std::wstring suffix =
        std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(counter.fetch_add(1));
    return {std::wstring(L"MyTest") + subject + L"MappingObject_" + suffix,
            std::wstring(L"MyTest") + subject + L"Mutex_" + suffix};
}

SharedTextCreateOptions Owned(std::string_view initial) {
    SharedTextCreateOptions options;
    options.initialText = initial;
    return options;
}

SharedTextCreateOptions Unowned() {
    SharedTextCreateOptions options;
    options.ownership = MutexOwnership::Unowned;
    return options;
}

// Holds a mutex on a thread of its own until told to let go (as another
// process would); every wait is bounded.
class MutexHolder {
public:
    explicit MutexHolder(const std::wstring& mutexName) {
        m_thread = std::thread([this, mutexName] {
            platform::UniqueHandle mutex(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, mutexName.c_str()));
            const bool held = mutex && ::WaitForSingleObject(mutex.Get(), 5000) == WAIT_OBJECT_0;
            m_held = held;
            ::SetEvent(m_taken.Get());
            ::WaitForSingleObject(m_letGo.Get(), 10000);
            if (held)
                ::ReleaseMutex(mutex.Get());
        });
        ::WaitForSingleObject(m_taken.Get(), 10000);
    }
    ~MutexHolder() { LetGo(); }
    bool Held() const { return m_held; }
    void LetGo() {
        ::SetEvent(m_letGo.Get());
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    platform::UniqueHandle m_taken{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    platform::UniqueHandle m_letGo{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> m_held{false};
    std::thread m_thread;
};

// True when another thread can take the mutex at once (nobody holds it).
bool FreeForOthers(const std::wstring& mutexName) {
    bool free = false;
    std::thread([&] {
        platform::UniqueHandle mutex(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, mutexName.c_str()));
        const DWORD wait = mutex ? ::WaitForSingleObject(mutex.Get(), 0) : WAIT_FAILED;
        free = wait == WAIT_OBJECT_0;
        if (free)
            ::ReleaseMutex(mutex.Get());
    }).join();
    return free;
}

// Raw view of a block, as another process that ignores the protocol would write it.
class RawView {
public:
    RawView(const std::wstring& mappingName, size_t size)
        : m_mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, mappingName.c_str())),
          m_view(m_mapping ? ::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size)
                           : nullptr) {}
    char* Bytes() const { return static_cast<char*>(m_view.Get()); }

private:
    platform::UniqueHandle m_mapping;
    platform::UniqueView m_view;
};

// ------------------------------------------------------------ creation

TEST(SharedTextCreate, OwnedCreationPublishesTheInitialTextAndLetsGo) {
    const Names n = UniqueNames(L"GPSSync");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 260, Owned("0\n"));
    ASSERT_TRUE(block.Ready());
    EXPECT_EQ(block.FailedStep(), SharedTextStep::None);
    EXPECT_FALSE(block.MappingExisted());
    EXPECT_EQ(block.Size(), 260u);
    EXPECT_TRUE(FreeForOthers(n.mutex));

    SharedTextBlock reader = SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 260);
    ASSERT_TRUE(reader.Ready());
    std::string text;
    EXPECT_EQ(reader.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
}

TEST(SharedTextCreate, UnownedCreationWithoutTextReadsEmptyUntilTheFirstWrite) {
    const Names n = UniqueNames(L"ScanFile");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 16, Unowned());
    ASSERT_TRUE(block.Ready());
    EXPECT_TRUE(FreeForOthers(n.mutex));
    std::string text = "stale";
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "");

    RawView raw(n.mapping, 16);
    ASSERT_NE(raw.Bytes(), nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(raw.Bytes()[i], '\0') << "byte " << i;

    EXPECT_EQ(block.Write("1\n"), SharedTextAccess::Ok);
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "1\n");
}

TEST(SharedTextCreate, UnownedCreationCanStillWriteAnInitialText) {
    const Names n = UniqueNames(L"Unowned");
    SharedTextCreateOptions options = Unowned();
    options.initialText = "0\n";
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 16, options);
    std::string text;
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
    EXPECT_TRUE(FreeForOthers(n.mutex));
}

TEST(SharedTextCreate, RestartWhileAReaderKeepsTheObjectsWaitsForTheMutexBeforeTheFirstText) {
    const Names n = UniqueNames(L"SensorFile");
    SharedTextBlock first =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 1024, Owned("-1"));
    SharedTextBlock reader = SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 1024);
    ASSERT_TRUE(reader.Ready());
    first.Close();  // the service ends; the reader keeps both objects alive

    MutexHolder holder(n.mutex);  // the reader is in the middle of a copy
    ASSERT_TRUE(holder.Held());
    std::thread letGo([&] {
        ::Sleep(200);
        holder.LetGo();
    });
    SharedTextCreateOptions options = Owned("0");
    options.waitMs = 10000;
    SharedTextBlock second =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 1024, options);
    letGo.join();
    ASSERT_TRUE(second.Ready());
    EXPECT_TRUE(second.MappingExisted());
    EXPECT_TRUE(FreeForOthers(n.mutex)) << "creator must not keep a mutex it never owned";
    std::string text;
    EXPECT_EQ(reader.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "0");
}

TEST(SharedTextCreate, ZeroSizeFailsAtTheMapping) {
    const Names n = UniqueNames(L"Empty");
    SharedTextBlock block = SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 0);
    EXPECT_FALSE(block.Ready());
    EXPECT_EQ(block.FailedStep(), SharedTextStep::Mapping);
    std::string text;
    EXPECT_EQ(block.Read(text), SharedTextAccess::NoView);
    EXPECT_EQ(block.Write("1"), SharedTextAccess::NoView);
}

// ------------------------------------------------------------ opening

TEST(SharedTextOpen, MissingNameFailsAfterTheGivenAttempts) {
    const Names n = UniqueNames(L"Missing");
    SharedTextOpenOptions options;
    options.mappingAttempts = 4;
    options.retryDelayMs = 50;
    const ULONGLONG start = ::GetTickCount64();
    SharedTextBlock block =
        SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 1024, options);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_FALSE(block.Ready());
    EXPECT_FALSE(block.HasMapping());
    EXPECT_EQ(block.FailedStep(), SharedTextStep::Mapping);
    EXPECT_EQ(block.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Three pauses of 50 ms lie between four attempts (the tick has ~16 ms steps).
    EXPECT_GE(elapsed, 120u);
}

TEST(SharedTextOpen, MappingThatAppearsWhileRetryingIsOpened) {
    const Names n = UniqueNames(L"Late");
    SharedTextBlock creator;
    std::thread service([&] {
        ::Sleep(150);
        creator = SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 260, Owned("0\n"));
    });
    SharedTextOpenOptions options;
    options.mappingAttempts = 200;
    options.mutexAttempts = 200;
    options.retryDelayMs = 20;
    options.mutexRequired = true;
    SharedTextBlock client =
        SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 260, options);
    service.join();
    ASSERT_TRUE(client.Ready());
    EXPECT_EQ(client.Write("-1"), SharedTextAccess::Ok);
    std::string text;
    EXPECT_EQ(creator.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "-1");
}

TEST(SharedTextOpen, MissingMutexIsToleratedOrRequiredAsAsked) {
    const Names n = UniqueNames(L"NoMutex");
    SharedTextBlock creator =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 64, Owned("1 2 3"));
    const std::wstring otherMutex = n.mutex + L"_absent";

    SharedTextBlock tolerant = SharedTextBlock::Open(n.mapping.c_str(), otherMutex.c_str(), 64);
    EXPECT_EQ(tolerant.FailedStep(), SharedTextStep::None);
    EXPECT_TRUE(tolerant.HasView());
    EXPECT_FALSE(tolerant.HasMutex());
    std::string text = "previous copy";
    EXPECT_EQ(tolerant.Read(text), SharedTextAccess::NoMutex);
    EXPECT_EQ(text, "previous copy");
    EXPECT_EQ(tolerant.Write("0"), SharedTextAccess::NoMutex);
    EXPECT_FALSE(tolerant.Lock().Held());

    SharedTextOpenOptions strict;
    strict.mutexRequired = true;
    SharedTextBlock required =
        SharedTextBlock::Open(n.mapping.c_str(), otherMutex.c_str(), 64, strict);
    EXPECT_EQ(required.FailedStep(), SharedTextStep::Mutex);
    EXPECT_EQ(required.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(creator.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "1 2 3");
}

TEST(SharedTextOpen, ViewLargerThanTheCreatorsMappingFailsAtTheView) {
    const Names n = UniqueNames(L"Small");
    SharedTextBlock creator =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 16, Owned("1\n"));
    SharedTextOpenOptions options;
    options.viewAttempts = 2;
    options.retryDelayMs = 10;
    SharedTextBlock reader =
        SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 64 * 1024, options);
    EXPECT_EQ(reader.FailedStep(), SharedTextStep::View);
    EXPECT_TRUE(reader.HasMapping());
    EXPECT_FALSE(reader.HasView());
    EXPECT_NE(reader.LastError(), 0u);
    std::string text;
    EXPECT_EQ(reader.Read(text), SharedTextAccess::NoView);
}

// ------------------------------------------------------------ bounded copies

TEST(SharedTextBounds, BlockFilledWithoutTerminatorReadsAsBoundedText) {
    const Names n = UniqueNames(L"ScanCommand");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 262, Unowned());
    RawView raw(n.mapping, 262);
    ASSERT_NE(raw.Bytes(), nullptr);
    std::memset(raw.Bytes(), '7', 262);  // a writer that forgot the terminator

    std::string text;
    ASSERT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, std::string(261, '7'));

    char small[8];
    size_t length = 0;
    ASSERT_EQ(block.ReadInto(small, sizeof(small), &length), SharedTextAccess::Ok);
    EXPECT_EQ(length, 7u);
    EXPECT_STREQ(small, "7777777");

    char exact[262];
    ASSERT_EQ(block.ReadInto(exact, sizeof(exact), &length), SharedTextAccess::Ok);
    EXPECT_EQ(length, 261u);
    EXPECT_EQ(exact[261], '\0');

    size_t seen = 0;
    EXPECT_EQ(block.Update([&](std::string_view current) -> std::optional<std::string> {
        seen = current.size();
        return std::nullopt;
    }),
              SharedTextAccess::Ok);
    EXPECT_EQ(seen, 261u);
    EXPECT_EQ(raw.Bytes()[261], '7') << "a read must not change the block";
}

TEST(SharedTextBounds, OverLongWriteIsCutAndTerminated) {
    const Names n = UniqueNames(L"LogFolder");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 260, Owned("0\n"));
    const std::string path = "1 " + platform::Utf8ToCp1251("D:\\Съёмка\\") + std::string(400, 'x');
    ASSERT_EQ(block.Write(path), SharedTextAccess::Ok);

    RawView raw(n.mapping, 260);
    ASSERT_NE(raw.Bytes(), nullptr);
    EXPECT_EQ(raw.Bytes()[259], '\0');
    std::string text;
    ASSERT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, path.substr(0, 259));

    // A shorter text afterwards reads alone, whatever lies behind its terminator.
    ASSERT_EQ(block.Write("0\n"), SharedTextAccess::Ok);
    ASSERT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "0\n");
}

TEST(SharedTextBounds, BoundedTextLengthStopsAtTerminatorOrSizeLessOne) {
    const char bytes[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(platform::BoundedTextLength(bytes, 4), 3u);
    EXPECT_EQ(platform::BoundedTextLength("ab\0cd", 6), 2u);
    EXPECT_EQ(platform::BoundedTextLength(bytes, 1), 0u);
    EXPECT_EQ(platform::BoundedTextLength(bytes, 0), 0u);
    EXPECT_EQ(platform::BoundedTextLength(nullptr, 10), 0u);
}

// ------------------------------------------------------------ locking

TEST(SharedTextLocking, MutexHeldElsewhereMakesTheAccessSkip) {
    const Names n = UniqueNames(L"GPSBuffer");
    SharedTextCreateOptions options = Owned("1 55.5 37.5");
    options.waitMs = 200;  // instead of 5000 ms, to keep the test short
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 1024, options);
    ASSERT_TRUE(block.Ready());
    EXPECT_EQ(block.WaitMs(), 200u);

    MutexHolder holder(n.mutex);
    ASSERT_TRUE(holder.Held());
    std::string text = "previous copy";
    EXPECT_EQ(block.Read(text), SharedTextAccess::TimedOut);
    EXPECT_EQ(text, "previous copy");
    EXPECT_EQ(block.Write("0\n"), SharedTextAccess::TimedOut);
    bool edited = false;
    EXPECT_EQ(block.Update([&](std::string_view) -> std::optional<std::string> {
        edited = true;
        return "0";
    }),
              SharedTextAccess::TimedOut);
    EXPECT_FALSE(edited);
    SharedTextLock lock = block.Lock(0);
    EXPECT_FALSE(lock.Held());
    EXPECT_EQ(lock.Result(), SharedTextAccess::TimedOut);
    EXPECT_EQ(lock.Read(), "");
    EXPECT_FALSE(lock.Write("x"));
    holder.LetGo();

    // The skipped write was not queued: the text is what it was.
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "1 55.5 37.5");
}

TEST(SharedTextLocking, DefaultWaitIsFiveSeconds) {
    EXPECT_EQ(platform::kSharedTextWaitMs, 5000u);
    const Names n = UniqueNames(L"Default");
    SharedTextBlock block = SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 16);
    EXPECT_EQ(block.WaitMs(), 5000u);
    EXPECT_EQ(SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 16).WaitMs(), 5000u);
}

TEST(SharedTextLocking, UpdateAnswersAndClearsUnderOneLock) {
    const Names n = UniqueNames(L"FilesWS");
    SharedTextBlock service =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 262, Unowned());
    SharedTextBlock recorder = SharedTextBlock::Open(n.mapping.c_str(), n.mutex.c_str(), 262);
    ASSERT_EQ(recorder.Write(platform::Utf8ToCp1251("1 D:\\Заезд 12")), SharedTextAccess::Ok);

    std::string seen;
    ASSERT_EQ(service.Update([&](std::string_view command) -> std::optional<std::string> {
        seen = command;
        return command.rfind("1", 0) == 0 ? std::optional<std::string>("3\n") : std::nullopt;
    }),
              SharedTextAccess::Ok);
    EXPECT_EQ(platform::Cp1251ToUtf8(seen), "1 D:\\Заезд 12");
    std::string text;
    ASSERT_EQ(recorder.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "3\n");

    // Nothing returned: the text stays.
    ASSERT_EQ(service.Update([](std::string_view) { return std::optional<std::string>(); }),
              SharedTextAccess::Ok);
    ASSERT_EQ(recorder.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "3\n");
}

TEST(SharedTextLocking, AbandonedMutexCountsAsAcquired) {
    const Names n = UniqueNames(L"Abandoned");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 64, Owned("0\n"));
    std::thread([&] {
        // Takes the mutex and ends without releasing it, like a crashed writer.
        platform::UniqueHandle mutex(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, n.mutex.c_str()));
        ASSERT_EQ(::WaitForSingleObject(mutex.Get(), 5000), WAIT_OBJECT_0);
        RawView raw(n.mapping, 64);
        std::strcpy(raw.Bytes(), "half");
    }).join();

    std::string text;
    EXPECT_EQ(block.Read(text), SharedTextAccess::Ok);
    EXPECT_EQ(text, "half");
    EXPECT_TRUE(FreeForOthers(n.mutex)) << "the taken-over mutex must be released again";
    EXPECT_EQ(block.Write("0\n"), SharedTextAccess::Ok);
}

TEST(SharedTextLocking, LockGuardsWorkOutsideTheBlockEvenWithoutAView) {
    const Names n = UniqueNames(L"RunLog");
    SharedTextBlock block =
        SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 260, Owned("0\n"));
    block.CloseMapping();
    EXPECT_FALSE(block.HasView());
    EXPECT_TRUE(block.HasMutex());
    std::string text;
    EXPECT_EQ(block.Read(text), SharedTextAccess::NoView);

    SharedTextLock lock = block.Lock();
    ASSERT_TRUE(lock.Held());
    EXPECT_FALSE(FreeForOthers(n.mutex));
    EXPECT_EQ(lock.Read(), "");
    EXPECT_FALSE(lock.Write("2\n"));
    lock.Unlock();
    EXPECT_TRUE(FreeForOthers(n.mutex));
}

TEST(SharedTextLocking, LockReadsAndWritesCp1251TextInPlace) {
    const Names n = UniqueNames(L"Cyrillic");
    SharedTextBlock block = SharedTextBlock::Create(n.mapping.c_str(), n.mutex.c_str(), 32,
                                                    Owned(platform::Utf8ToCp1251("Запись")));
    SharedTextLock lock = block.Lock();
    ASSERT_TRUE(lock);
    EXPECT_FALSE(lock.Abandoned());
    EXPECT_EQ(platform::Cp1251ToUtf8(lock.Read()), "Запись");
    EXPECT_TRUE(lock.Write(platform::Utf8ToCp1251("Съёмка остановлена, ожидание")));
    char buffer[64];
    EXPECT_EQ(lock.ReadInto(buffer, sizeof(buffer)), 28u);
    EXPECT_EQ(platform::Cp1251ToUtf8(buffer), "Съёмка остановлена, ожидание");
}

}  // namespace
