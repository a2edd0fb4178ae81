#include "gnss/receiver_settings_xml.h"

#include <cmath>

#include "common/xml_config.h"
#include "gnss/gnss_logs_format.h"
#include "platform/text.h"

namespace {

constexpr wchar_t kElement[] = L"ГНСС";
constexpr wchar_t kSpeed[] = L"скорость";
constexpr wchar_t kPort[] = L"порт";
constexpr wchar_t kLatitude[] = L"широта";
constexpr wchar_t kLongitude[] = L"долгота";
constexpr wchar_t kRunLogPath[] = L"локальный_файл";

// Positions closer to zero than this count as unset, degrees.
constexpr float kUnsetPosition = 1e-6f;

}  // namespace

void XmlReceiverSettings::Load(ReceiverConfig& config) {
    if (m_config == nullptr)
        return;
    m_config->Load();
    XmlElement root = m_config->GetRoot();
    XmlElement element = m_config->FindElement(root.Get(), kElement);
    if (!element)
        return;
    int32_t speed = 0;
    m_config->GetIntAttribute(element.Get(), kSpeed, speed);
    if (speed > 0)
        config.speed = speed;
    int32_t port = 0;
    m_config->GetIntAttribute(element.Get(), kPort, port);
    if (port > 0)
        config.port = port;
    float latitude = 0, longitude = 0;
    m_config->GetFloatAttribute(element.Get(), kLatitude, latitude);
    if (std::fabs(latitude) > kUnsetPosition)
        config.latitude = latitude;
    m_config->GetFloatAttribute(element.Get(), kLongitude, longitude);
    if (std::fabs(longitude) > kUnsetPosition)
        config.longitude = longitude;
    std::wstring path;
    m_config->GetStringAttribute(element.Get(), kRunLogPath, path);
    std::string ansi = platform::WideToAnsi(path);
    if (ansi.size() > kMaxRunLogPath)
        ansi.resize(kMaxRunLogPath);
    config.runLogPath = ansi;
}

void XmlReceiverSettings::SaveProbe(int32_t port, int32_t speed, double latitude,
                                    double longitude) {
    if (m_config == nullptr)
        return;
    m_config->Load();
    XmlElement root = m_config->GetRoot();
    if (!root)
        return;
    m_config->EnsureChildElement(root.Get(), kElement);
    XmlElement element = m_config->FindElement(root.Get(), kElement);
    if (!element)
        return;
    m_config->SetAttribute(element.Get(), kSpeed, static_cast<uint32_t>(speed));
    m_config->SetAttribute(element.Get(), kPort, port);
    m_config->SetAttribute(element.Get(), kLatitude, latitude);
    m_config->SetAttribute(element.Get(), kLongitude, longitude);
    m_config->Save();
}

void XmlReceiverSettings::SaveRunLogPath(const std::string& ansiPath) {
    if (m_config == nullptr)
        return;
    m_config->Load();
    XmlElement root = m_config->GetRoot();
    XmlElement element = m_config->FindElement(root.Get(), kElement);
    if (!element)
        return;
    m_config->SetAttribute(element.Get(), kRunLogPath, platform::AnsiToWide(ansiPath));
    m_config->Save();
}
