#include "sensors/sensor_hub.h"

#include "platform/clock.h"

void SensorHub::OnScan(const double (&raw)[kInputCount], uint64_t fileTime) {
    const SampleStamp stamp = MakeSampleStamp(platform::FileTimeToCivil(fileTime));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const unsigned mask = m_writing ? m_files.Mask() : 0u;
        m_processor.ProcessScan(raw, stamp, mask, m_scanLines);
        for (int i = 0; i < kInputCount; ++i) {
            if (mask & (1u << i))
                m_files.Write(i, m_scanLines.file[static_cast<size_t>(i)].data(),
                              m_scanLines.fileLength[static_cast<size_t>(i)]);
        }
    }
    Publish(m_scanLines.data.data(), m_scanLines.dataLength);
}

void SensorHub::OnSerialBytes(const uint8_t* bytes, size_t count) {
    m_serialLines.Append(bytes, count);
    m_serialLines.TakeLines([this](std::u16string_view line) {
        if (const std::optional<double> v = ParseVoltageLine(line)) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_processor.SerialValue(*v);
        }
    });
}

void SensorHub::PublishSerialLine() {
    char line[kDataLineCapacity];
    size_t length = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        length = m_processor.FormatSerialLine(line, sizeof line);
    }
    Publish(line, length);
}

void SensorHub::Publish(const char* line, size_t length) {
    platform::SharedTextBlock* block = m_dataBlock.load(std::memory_order_acquire);
    if (block == nullptr)
        return;
    platform::SharedTextLock lock = block->Lock();
    if (lock.Held())
        lock.Write(std::string_view(line, length));
}

void SensorHub::SetSetup(const SensorSetup& setup) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_processor.SetSetup(setup);
}

void SensorHub::ResetCounters() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_processor.ResetCounters();
}

void SensorHub::ResetReferences() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_processor.ResetReferences();
}

DisplayReadings SensorHub::Readings() const {
    std::lock_guard<std::mutex> guard(m_lock);
    DisplayReadings r;
    const auto& states = m_processor.States();
    for (size_t i = 0; i < kInputCount; ++i) {
        r.counts[i] = states[i].count;
        r.voltages[i] = states[i].voltage;
        r.values[i] = states[i].value;
    }
    return r;
}

std::array<uint32_t, kInputCount> SensorHub::Counts() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_processor.Counts();
}

void SensorHub::AttachDataBlock(platform::SharedTextBlock* block) {
    m_dataBlock.store(block, std::memory_order_release);
}

void SensorHub::StartWriting(ChannelFileSet files) {
    ChannelFileSet previous;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        previous = std::move(m_files);
        m_files = std::move(files);
        m_writing = true;
    }
    // `previous` closes here, outside the lock.
}

ChannelFileSet SensorHub::StopWriting() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_writing = false;
    return std::move(m_files);
}

bool SensorHub::FlushFiles() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_files.Flush();
    return m_files.Failed();
}

std::optional<ChannelFileSet> SensorHub::TryStopWriting() {
    std::unique_lock<std::mutex> guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock())
        return std::nullopt;
    m_writing = false;
    return std::move(m_files);
}
