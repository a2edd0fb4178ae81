// The recorder's texts in the sensor service's files-write-state block,
// arbitrary, as the service copies them out (bounded).
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/tests/fuzz_check.h"
#include "sensors/recording_control.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const size_t n = strnlen(text, size < kFilesWriteStateSize ? size : kFilesWriteStateSize);
    const FilesWriteRequest r = ParseFilesWriteState(std::string_view(text, n));
    FUZZ_CHECK(r.folder.size() <= kMaxFolderLength);
    FUZZ_CHECK(r.folder.find('\0') == std::string::npos);
    // The folder is the text after the state and one separator, as written.
    if (!r.folder.empty())
        FUZZ_CHECK(std::string_view(text, n).find(r.folder) != std::string_view::npos);

    // The state follows the requests: a start only from idle, a stop only
    // while writing.
    RecordingState state;
    for (size_t i = 0; i < n; ++i) {
        const bool wasWriting = state.Writing();
        const RecordingStep step = state.Follow((data[i] & 1) != 0);
        if (step == RecordingStep::Start)
            FUZZ_CHECK(!wasWriting && state.Writing());
        if (step == RecordingStep::Stop)
            FUZZ_CHECK(wasWriting && !state.Writing());
        if (step == RecordingStep::None)
            FUZZ_CHECK(wasWriting == state.Writing());
    }
    return 0;
}
