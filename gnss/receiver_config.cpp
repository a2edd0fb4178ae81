#include "gnss/receiver_config.h"

#include <cmath>

#include "gnss/gnss_logs_format.h"

namespace {

// Positions closer to zero than this count as unset, degrees.
constexpr float kUnsetPosition = 1e-6f;

bool UsablePosition(const std::optional<float>& degrees) {
    return degrees && std::isfinite(*degrees) && std::fabs(*degrees) > kUnsetPosition;
}

}  // namespace

void ApplyReceiverAttributes(const ReceiverAttributes& a, ReceiverConfig& config) {
    if (a.speed && *a.speed > 0)
        config.speed = *a.speed;
    if (a.port && *a.port > 0)
        config.port = *a.port;
    if (UsablePosition(a.latitude))
        config.latitude = *a.latitude;
    if (UsablePosition(a.longitude))
        config.longitude = *a.longitude;
    if (a.runLogPath)
        config.runLogPath = a.runLogPath->substr(0, kMaxRunLogPath);
    if (a.gnTalker)
        config.gnTalkerGga = *a.gnTalker == 1;
    if (a.recover)
        config.recoverReceiver = *a.recover == 1;
}
