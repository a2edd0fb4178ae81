// An arbitrary "Tuvarnex.xml" through the GNSS service's receiver options:
// whatever the file holds, the service gets a usable port, speed and
// position and a run-log path that fits its buffer.
#include <cmath>
#include <cstdint>
#include <string>

#include "gnss/receiver_config.h"
#include "platform/tests/fuzz_check.h"
#include "platform/tests/fuzz_xml_document.h"
#include "platform/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_xml::Document doc;
    ReceiverConfig config;
    if (doc.Parse(std::string_view(reinterpret_cast<const char*>(data), size))) {
        const size_t element = doc.Find(0, "ГНСС");
        if (element != fuzz_xml::Document::npos) {
            ReceiverAttributes a;
            int32_t number = 0;
            float degrees = 0;
            if (const std::string* t = doc.Attribute(element, "скорость"))
                if (fuzz_xml::Document::ToInt(*t, number))
                    a.speed = number;
            if (const std::string* t = doc.Attribute(element, "порт"))
                if (fuzz_xml::Document::ToInt(*t, number))
                    a.port = number;
            if (const std::string* t = doc.Attribute(element, "широта"))
                if (fuzz_xml::Document::ToFloat(*t, degrees))
                    a.latitude = degrees;
            if (const std::string* t = doc.Attribute(element, "долгота"))
                if (fuzz_xml::Document::ToFloat(*t, degrees))
                    a.longitude = degrees;
            if (const std::string* t = doc.Attribute(element, kGnTalkerAttribute))
                if (fuzz_xml::Document::ToInt(*t, number))
                    a.gnTalker = number;
            if (const std::string* t = doc.Attribute(element, kRecoverAttribute))
                if (fuzz_xml::Document::ToInt(*t, number))
                    a.recover = number;
            if (const std::string* t = doc.Attribute(element, "локальный_файл"))
                a.runLogPath = platform::Utf8ToCp1251(*t);
            ApplyReceiverAttributes(a, config);
        }
    }
    FUZZ_CHECK(config.speed > 0 && config.port > 0);
    FUZZ_CHECK(std::isfinite(config.latitude) && std::isfinite(config.longitude));
    FUZZ_CHECK(std::fabs(config.latitude) > 1e-6 && std::fabs(config.longitude) > 1e-6);
    FUZZ_CHECK(config.runLogPath.size() <= 259);
    return 0;
}
