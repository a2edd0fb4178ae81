// The recorder's requests in the files-write-state block, and the service's
// recording state that follows them at each display tick.
//
// The recorder writes one 8-bit text: a decimal state (greater than 0:
// record), one separator character, then the recording folder's path.
#pragma once

#include <string>
#include <string_view>

// The block's size and the longest folder text the service uses.
inline constexpr size_t kFilesWriteStateSize = 262;
inline constexpr size_t kMaxFolderLength = 259;

struct FilesWriteRequest {
    bool record = false;
    // The folder (ANSI text) when the block's text is longer than two
    // characters; empty: the files go into the current directory.
    std::string folder;
};

// Reads a text copied (bounded) out of the block.
FilesWriteRequest ParseFilesWriteState(std::string_view text);

enum class RecordingStep { None, Start, Stop };

class RecordingState {
public:
    // The transition a request asks for; the state changes with it.
    RecordingStep Follow(bool record);
    bool Writing() const { return m_writing; }

    // Whether the start changed into the recording folder: only then does
    // the stop go back to that folder's parent. A recording in the current
    // directory, or one whose folder could not be entered, leaves the
    // working directory where it was.
    void SetEnteredFolder(bool entered) { m_enteredFolder = entered; }
    bool EnteredFolder() const { return m_enteredFolder; }

private:
    bool m_writing = false;
    bool m_enteredFolder = false;
};
