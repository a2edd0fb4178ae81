#include "sensors/sensor_texts.h"

#include "sensors/sensor_types.h"

namespace sensor_text {
namespace {

constexpr const char* kLabels[kPurposeCount] = {"путь",        "уклон",       "напряжение1",
                                                "напряжение2", "левый лазер", "правый лазер"};
constexpr const char* kListItems[kPurposeCount] = {"пути",        "уклона",      "напряжение1",
                                                   "напряжение2", "левый лазер", "правый лазер"};

}  // namespace

const char* PurposeLabel(int32_t purpose) {
    return IsKnownPurpose(purpose) ? kLabels[purpose] : nullptr;
}

const char* PurposeListItem(int32_t purpose) {
    return IsKnownPurpose(purpose) ? kListItems[purpose] : nullptr;
}

}  // namespace sensor_text
