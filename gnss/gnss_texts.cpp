#include "gnss/gnss_texts.h"

namespace gnss_text {

std::string PortText(int port) {
    return "COM" + std::to_string(port);
}

std::string ReceiverBackText(int port, int gapSeconds) {
    return "GPS-приёмник снова на связи (" + PortText(port) + "), перерыв " +
           std::to_string(gapSeconds) + " с";
}

}  // namespace gnss_text
