#include "gnss/receiver_settings_xml.h"

#include "common/xml_config.h"
#include "platform/text.h"

namespace {

constexpr wchar_t kElement[] = L"ГНСС";
constexpr wchar_t kSpeed[] = L"скорость";
constexpr wchar_t kPort[] = L"порт";
constexpr wchar_t kLatitude[] = L"широта";
constexpr wchar_t kLongitude[] = L"долгота";
constexpr wchar_t kRunLogPath[] = L"локальный_файл";
constexpr wchar_t kGnTalker[] = L"принимать_сообщения_GN";  // kGnTalkerAttribute
constexpr wchar_t kRecover[] = L"восстанавливать_связь";    // kRecoverAttribute

}  // namespace

void XmlReceiverSettings::Load(ReceiverConfig& config) {
    if (m_config == nullptr)
        return;
    m_config->Load();
    XmlElement root = m_config->GetRoot();
    XmlElement element = m_config->FindElement(root.Get(), kElement);
    if (!element)
        return;
    // Each attribute counts only when it is there: the reads leave the
    // value as it was otherwise.
    ReceiverAttributes a;
    int32_t speed = 0, port = 0;
    float latitude = 0, longitude = 0;
    m_config->GetIntAttribute(element.Get(), kSpeed, speed);
    m_config->GetIntAttribute(element.Get(), kPort, port);
    m_config->GetFloatAttribute(element.Get(), kLatitude, latitude);
    m_config->GetFloatAttribute(element.Get(), kLongitude, longitude);
    a.speed = speed;
    a.port = port;
    a.latitude = latitude;
    a.longitude = longitude;
    std::wstring path;
    m_config->GetStringAttribute(element.Get(), kRunLogPath, path);
    a.runLogPath = platform::WideToAnsi(path);
    int32_t gnTalker = 0;
    m_config->GetIntAttribute(element.Get(), kGnTalker, gnTalker);
    a.gnTalker = gnTalker;
    m_gnTalker = gnTalker == 1 ? 1 : 0;
    int32_t recover = 0;
    m_config->GetIntAttribute(element.Get(), kRecover, recover);
    a.recover = recover;
    m_recover = recover == 1 ? 1 : 0;
    ApplyReceiverAttributes(a, config);
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
    m_config->SetAttribute(element.Get(), kGnTalker, m_gnTalker);
    m_config->SetAttribute(element.Get(), kRecover, m_recover);
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
