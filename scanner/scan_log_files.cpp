#include "scanner/scan_log_files.h"

namespace scanner {
namespace {

#ifdef _WIN32
constexpr const char* kAppendText = "at";  // CR LF on disk
#else
constexpr const char* kAppendText = "a";
#endif

// Stream buffer of a log: a whole line of a full scan goes out in one write.
constexpr size_t kStreamBuffer = 64 * 1024;

}  // namespace

std::string ScanLogName(int slot) {
    return "scanner" + std::to_string(slot) + ".log";
}

class ScanLogFiles::FileSink : public LogLineSink {
public:
    explicit FileSink(std::FILE* file) : m_file(file) {}
    bool Put(const char* text, size_t length) override {
        return std::fwrite(text, 1, length, m_file) == length;
    }

private:
    std::FILE* m_file;
};

bool ScanLogFiles::Open(int slot) {
    if (!Valid(slot))
        return false;
    Slot& s = m_slots[slot];
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file != nullptr)
        return true;
    s.file = std::fopen(ScanLogName(slot).c_str(), kAppendText);
    if (s.file != nullptr)
        std::setvbuf(s.file, nullptr, _IOFBF, kStreamBuffer);
    return s.file != nullptr;
}

bool ScanLogFiles::Close(int slot) {
    if (!Valid(slot))
        return true;
    Slot& s = m_slots[slot];
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file == nullptr)
        return true;
    const bool closed = std::fclose(s.file) == 0;
    s.file = nullptr;
    return closed;
}

void ScanLogFiles::CloseAll() {
    for (int slot = 0; slot < kScannerSlots; ++slot)
        Close(slot);
}

unsigned ScanLogFiles::FlushAll() {
    unsigned failed = 0;
    for (int slot = 0; slot < kScannerSlots; ++slot) {
        Slot& s = m_slots[slot];
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.file != nullptr && std::fflush(s.file) != 0) {
            std::clearerr(s.file);
            failed |= 1u << slot;
        }
    }
    return failed;
}

bool ScanLogFiles::IsOpen(int slot) {
    if (!Valid(slot))
        return false;
    std::lock_guard<std::mutex> guard(m_slots[slot].lock);
    return m_slots[slot].file != nullptr;
}

ScanLogFiles::WriteResult ScanLogFiles::WriteLine(int slot, const ScanLogEntry& entry) {
    if (!Valid(slot))
        return WriteResult::NotOpen;
    Slot& s = m_slots[slot];
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file == nullptr)
        return WriteResult::NotOpen;
    FileSink sink(s.file);
    if (WriteScanLogLine(entry, s.line, sizeof s.line, sink) > 0 && !std::ferror(s.file))
        return WriteResult::Written;
    std::clearerr(s.file);
    return WriteResult::Failed;
}

}  // namespace scanner
