// Helper process for the inter-process tests: the other side of a shared text
// block, a holder that dies with a block's mutex, and a message sender.
//
//   ipc_child answer  MAPPING MUTEX SIZE   open the block, answer its request
//   ipc_child create  MAPPING MUTEX SIZE   create the block with a greeting and
//                                           wait for the reader's receipt
//   ipc_child abandon MAPPING MUTEX SIZE   take the mutex, write, exit holding it
//   ipc_child notify                        show one message through the notifier
//
// Exit code 0 means the child saw what it expected; other codes name the step
// that went wrong.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/notifier.h"
#include "platform/shared_text.h"
#include "platform/text_codec.h"

namespace {

using platform::SharedTextAccess;
using platform::SharedTextBlock;

// Texts of the exchange (UTF-8 here, cp1251 in the blocks).
constexpr const char* kAnswerPrefix = "ответ на «";
constexpr const char* kGreeting = "Привет от службы №1: ГНСС-приёмник";
constexpr const char* kReceiptPrefix = "получено: ";
constexpr const char* kLeftBehind = "оставлено без освобождения";

enum ExitCode {
    kOk = 0,
    kBadArguments = 2,
    kSetUpFailed = 3,
    kAccessFailed = 4,
    kUnexpectedText = 5,
    kNoReceipt = 6,
};

int Answer(const wchar_t* mapping, const wchar_t* mutex, size_t size) {
    platform::SharedTextOpenOptions options;
    options.mappingAttempts = 100;
    options.mutexAttempts = 100;
    options.retryDelayMs = 50;
    options.mutexRequired = true;
    SharedTextBlock block = SharedTextBlock::Open(mapping, mutex, size, options);
    if (!block.Ready())
        return kSetUpFailed;
    bool sawRequest = false;
    const SharedTextAccess result = block.Update([&](std::string_view request) {
        sawRequest = !request.empty();
        return platform::Utf8ToCp1251(kAnswerPrefix) + std::string(request) + "\xBB";  // »
    });
    if (result != SharedTextAccess::Ok)
        return kAccessFailed;
    return sawRequest ? kOk : kUnexpectedText;
}

int Create(const wchar_t* mapping, const wchar_t* mutex, size_t size) {
    const std::string greeting = platform::Utf8ToCp1251(kGreeting);
    platform::SharedTextCreateOptions options;
    options.initialText = greeting;
    SharedTextBlock block = SharedTextBlock::Create(mapping, mutex, size, options);
    if (!block.Ready())
        return kSetUpFailed;
    const std::string receipt = platform::Utf8ToCp1251(kReceiptPrefix);
    // The reader has 30 s to open the block and answer (bounded wait).
    for (int i = 0; i < 1500; ++i) {
        std::string text;
        if (block.Read(text) == SharedTextAccess::Ok && text.rfind(receipt, 0) == 0)
            return text == receipt + greeting ? kOk : kUnexpectedText;
        ::Sleep(20);
    }
    return kNoReceipt;
}

int Abandon(const wchar_t* mapping, const wchar_t* mutex, size_t size) {
    platform::SharedTextOpenOptions options;
    options.mutexRequired = true;
    SharedTextBlock block = SharedTextBlock::Open(mapping, mutex, size, options);
    if (!block.Ready())
        return kSetUpFailed;
    platform::SharedTextLock lock = block.Lock();
    if (!lock)
        return kAccessFailed;
    lock.Write(platform::Utf8ToCp1251(kLeftBehind));
    // Ends without running destructors: the mutex stays owned by a dead thread.
    ::ExitProcess(kOk);
}

int Notify() {
    platform::ShowMessage("Нет связи с программой ГНСС\nпроверьте кабель", "Ошибка!",
                          platform::MessageIcon::Warning);
    platform::ShowMessage("Second line", "", platform::MessageIcon::None);
    return kOk;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr)
        return kBadArguments;
    std::vector<std::wstring> args(argv, argv + argc);
    ::LocalFree(argv);

    if (args.size() == 2 && args[1] == L"notify")
        return Notify();
    if (args.size() != 5)
        return kBadArguments;
    const size_t size = static_cast<size_t>(std::wcstoul(args[4].c_str(), nullptr, 10));
    const wchar_t* mapping = args[2].c_str();
    const wchar_t* mutex = args[3].c_str();
    if (args[1] == L"answer")
        return Answer(mapping, mutex, size);
    if (args[1] == L"create")
        return Create(mapping, mutex, size);
    if (args[1] == L"abandon")
        return Abandon(mapping, mutex, size);
    return kBadArguments;
}
