#include "platform/heap_report.h"

#include <malloc.h>

#include <cstdio>

#include "platform/thread_name.h"

namespace platform {

namespace {

constexpr DWORD kPeriodMs = 10000;
constexpr DWORD kMaxHeaps = 64;
constexpr wchar_t kVariable[] = L"SURVEY_HEAP_REPORT";

struct HeapTotals {
    unsigned long long bytes = 0;
    unsigned long long blocks = 0;
};

HeapTotals BusyIn(HANDLE heap) {
    HeapTotals t;
    if (!::HeapLock(heap))
        return t;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heap, &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
            t.bytes += entry.cbData;
            ++t.blocks;
        }
    }
    ::HeapUnlock(heap);
    return t;
}

std::wstring ReportPath() {
    wchar_t folder[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(kVariable, folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    wchar_t module[MAX_PATH];
    const DWORD m = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (m == 0 || m >= MAX_PATH)
        return {};
    std::wstring name(module, m);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    name = name.substr(0, name.find_last_of(L'.'));
    return std::wstring(folder, n) + L"\\" + name + L".heap.txt";
}

}  // namespace

HeapReport::HeapReport() : m_path(ReportPath()) {
    if (m_path.empty())
        return;
    m_stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_stop)
        m_thread.Reset(::CreateThread(nullptr, 0, &HeapReport::Run, this, 0, nullptr));
}

HeapReport::~HeapReport() {
    if (m_thread) {
        ::SetEvent(m_stop.Get());
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
    }
}

DWORD WINAPI HeapReport::Run(void* self) {
    NameThisThread(L"heap report");
    const auto* report = static_cast<const HeapReport*>(self);
    const ULONGLONG start = ::GetTickCount64();
    do {
        report->Append(::GetTickCount64() - start);
    } while (::WaitForSingleObject(report->m_stop.Get(), kPeriodMs) == WAIT_TIMEOUT);
    return 0;
}

void HeapReport::Append(ULONGLONG elapsedMs) const {
    const HANDLE crt = reinterpret_cast<HANDLE>(_get_heap_handle());
    HANDLE heaps[kMaxHeaps];
    const DWORD count = ::GetProcessHeaps(kMaxHeaps, heaps);
    HeapTotals ours, others;
    for (DWORD i = 0; i < count && i < kMaxHeaps; ++i) {
        const HeapTotals t = BusyIn(heaps[i]);
        HeapTotals& sum = heaps[i] == crt ? ours : others;
        sum.bytes += t.bytes;
        sum.blocks += t.blocks;
    }
    FILE* file = ::_wfopen(m_path.c_str(), L"a");
    if (file == nullptr)
        return;
    std::fprintf(file, "%llu crt %llu %llu other %llu %llu\n", elapsedMs / 1000, ours.bytes,
                 ours.blocks, others.bytes, others.blocks);
    std::fclose(file);
}

}  // namespace platform
