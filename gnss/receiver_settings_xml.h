// The receiver's options as attributes of element "ГНСС" in the suite's
// configuration file. Every read or update reloads the file first, as the
// configuration tool may have changed it meanwhile.
#pragma once

#include "gnss/receiver_connection.h"

class XmlConfig;

class XmlReceiverSettings : public ReceiverSettings {
public:
    // `config` is the program's configuration store (not owned); nullptr:
    // the options keep their defaults and nothing is saved.
    explicit XmlReceiverSettings(XmlConfig* config) : m_config(config) {}

    void Load(ReceiverConfig& config) override;
    void SaveProbe(int32_t port, int32_t speed, double latitude, double longitude) override;
    void SaveRunLogPath(const std::string& ansiPath) override;

private:
    XmlConfig* m_config;
    // The GN-talker option as loaded: every save writes it back beside the
    // port and speed, so the file shows the option the service runs with.
    int32_t m_gnTalker = 0;
    int32_t m_recover = 0;  // the recovery option, written back the same way
};
