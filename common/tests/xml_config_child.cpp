// Helper process of the XML configuration tests: one program of the suite
// updating its own element of a shared "Tuvarnex.xml" again and again, the
// way every program's read and update cycle does it.
//
//   xml_config_child PATH ELEMENT ROUNDS START_EVENT
//
// It waits (at most 30 s) for the named manual-reset event START_EVENT, so
// that two helpers begin together, then runs ROUNDS rounds of: Load, find or
// add ELEMENT, set its attribute "цикл" to the round number, Save.
// Exit code 0 when every Load and Save succeeded and nothing was shown to
// the user; 2 bad arguments, 3 no start signal, 4 no document; otherwise
// 10 + the number of failed rounds and messages (at most 200), each of them
// told on stderr.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "common/xml_config.h"
#include "platform/handles.h"
#include "platform/notifier.h"

namespace {

enum ExitCode {
    kOk = 0,
    kBadArguments = 2,
    kNoStartSignal = 3,
    kNoDocument = 4,
    kFailedRounds = 10,
};

bool Round(XmlConfig& config, const wchar_t* elementName, int round) {
    if (const long loaded = config.Load(); loaded != 0) {
        std::fprintf(stderr, "round %d: Load gave %ld\n", round, loaded);
        return false;
    }
    XmlElement root = config.GetRoot();
    XmlElement element = config.FindElement(root.Get(), elementName);
    if (!element) {
        config.EnsureChildElement(root.Get(), elementName);
        element = config.FindElement(root.Get(), elementName);
    }
    if (!element)
        return false;
    if (config.SetAttribute(element.Get(), L"цикл", int32_t{round}) != 0)
        return false;
    const long saved = config.Save();
    if (saved != 0)
        std::fprintf(stderr, "round %d: Save gave 0x%lx\n", round,
                     static_cast<unsigned long>(saved));
    return saved == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5)
        return kBadArguments;
    const int rounds = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
    platform::UniqueHandle start(::OpenEventW(SYNCHRONIZE, FALSE, argv[4]));
    if (!start || ::WaitForSingleObject(start.Get(), 30000) != WAIT_OBJECT_0)
        return kNoStartSignal;

    platform::ComApartment com;
    platform::RecordingNotifier messages;
    platform::ScopedNotifier scope{messages};
    XmlConfig config(argv[1]);
    config.Open();
    if (!com.Ok() || !config.HasDocument())
        return kNoDocument;
    int failed = 0;
    for (int round = 0; round < rounds; ++round) {
        if (!Round(config, argv[2], round))
            ++failed;
    }
    for (const platform::Message& m : messages.Messages())
        std::fprintf(stderr, "message: %s\n", m.text.c_str());
    failed += static_cast<int>(messages.Messages().size());
    return failed == 0 ? kOk : kFailedRounds + std::min(failed, 200);
}
