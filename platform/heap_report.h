// HeapReport: while it lives, a thread of its own appends a line every 10 s
// with what the program's heaps hold, when the environment variable
// SURVEY_HEAP_REPORT names a folder (the soak sets it; nothing happens
// otherwise). The file is "<program>.heap.txt" in that folder, one line each:
//
//   <seconds since start> crt <busy bytes> <busy blocks> other <busy bytes> <busy blocks>
//
// "crt" is the C runtime's heap, where every allocation of ours goes (new,
// malloc, the standard containers); "other" is the sum of the remaining
// heaps, Windows' and its libraries' own. Under Wine this tells a growth of
// ours from one of Wine's, which resident memory alone cannot.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace platform {

class HeapReport {
public:
    HeapReport();
    // Stops the thread and waits for it, so that no heap is being walked
    // while the process ends.
    ~HeapReport();
    HeapReport(const HeapReport&) = delete;
    HeapReport& operator=(const HeapReport&) = delete;

private:
    static DWORD WINAPI Run(void* self);
    void Append(ULONGLONG elapsedMs) const;

    std::wstring m_path;
    UniqueHandle m_stop;
    UniqueHandle m_thread;
};

}  // namespace platform
