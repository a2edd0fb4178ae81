// Names the calling thread (SetThreadDescription, Windows 10 1607 and later;
// nothing happens on older systems). Debuggers show the name, and Wine hands
// it to the Linux thread, so a soak can tell each thread's CPU time.
#pragma once

namespace platform {

void NameThisThread(const wchar_t* name);

}  // namespace platform
