// The recorder's command texts in the scanner service's command block,
// arbitrary, as the service copies them out (bounded): what each asks of a
// recording and an idle service.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/tests/fuzz_check.h"
#include "scanner/scan_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The block's text as the service reads it: at most its size, up to the
    // first terminator.
    const char* text = reinterpret_cast<const char*>(data);
    const size_t n =
        strnlen(text, size < scanner::kCommandTextLimit ? size : scanner::kCommandTextLimit);
    const std::string_view block(text, n);
    for (bool recording : {false, true}) {
        const scanner::ScanCommand c = scanner::InterpretCommand(block, recording);
        if (c.action == scanner::CommandAction::StartRecording) {
            FUZZ_CHECK(!recording);
            FUZZ_CHECK(c.folder.size() <= scanner::kFolderLimit);
            // The folder lies inside the text it was read from.
            FUZZ_CHECK(c.folder.empty() || (c.folder.data() >= block.data() &&
                                            c.folder.data() + c.folder.size() <= block.data() + n));
        } else {
            FUZZ_CHECK(c.folder.empty());
        }
        if (c.action == scanner::CommandAction::StopRecording ||
            c.action == scanner::CommandAction::LogNext)
            FUZZ_CHECK(recording);
        if (c.action != scanner::CommandAction::LogNext)
            for (double v : c.values)
                FUZZ_CHECK(v == scanner::kDefaultLogValue);
    }
    // Every number reads as atof would, never past the text.
    const double value = scanner::ReadNumber(block);
    if (value != value)  // nan only from a text that says so
        FUZZ_CHECK(block.find_first_of("nN") != std::string_view::npos);
    char answer[16];
    FUZZ_CHECK(scanner::FormatAnswer(scanner::LeadingInteger(block), answer, sizeof answer) < 16);
    return 0;
}
