#include "gnss/gnss_texts.h"

namespace gnss_text {

std::string PortText(int port) {
    return "COM" + std::to_string(port);
}

}  // namespace gnss_text
