#include "sensors/sensor_config.h"

#include <cstdint>

#include "sensors/sensor_lines.h"
#include "sensors/sensor_texts.h"

namespace {

// Element and attribute names of the configuration file.
constexpr const char* kWorkNode = "Работа";
constexpr const char* kVehicleIndex = "индекс_автомобиля";
constexpr const char* kPathPerPulse = "путь_за_один_импульс_в_мм";
constexpr const char* kSlopeQueueSize = "размер_очереди_уклонов";
constexpr const char* kWayThreshold = "порог_срабатывания_датчика_пути_в_мВ";
constexpr const char* kType = "тип";
constexpr const char* kSlopeBeamType = "балка_поперечного_уклона";
constexpr const char* kZeroSlope = "инклинометр___напряжение_нулевого_уклона_в_мВ";
constexpr const char* kLaserMinDistance = "минимальное_расстояние_лазера_в_мм";
constexpr const char* kRightLaserExcess = "превышение_правого_лазера_в_мм";
constexpr const char* kModelId = "ID_модели";
constexpr const char* kId = "ID";
constexpr const char* kSlopeScale = "инклинометр-шкала_в_мВ_на_градус";
constexpr const char* kLaserCoef = "коэффициент_лазера_в_мВ_на_м";
constexpr const char* kLaserMinVoltage = "напряжение_минимального_расстояния_лазера_в_мВ";
constexpr const char* kLaserBase = "расстояние_между_лазерами_в_мм";
constexpr const char* kGnssType = "гнсс";
constexpr const char* kSupplyMin = "минимальное_рабочее_напряжение_в_В";
constexpr const char* kSupplyMax = "максимальное_рабочее_напряжение_в_В";
constexpr const char* kEnabled = "включение";
constexpr const char* kSensitivity = "чувствительность_в_мВ";
constexpr const char* kPurpose = "назначение";
constexpr const char* kEstimateNode = "Оценивать_шаг_ДПП";
constexpr const char* kFilesNode = "Записывать_отладочные_файлы";
constexpr const char* kYesIfOne = "да_если_1";
// On the vehicle node: 1 sets the acquisition up again after the device was
// lost and came back (daq_acquisition.h), 0 or missing shows the read error.
constexpr const char* kRecoverDaq = "восстанавливать_связь_с_АЦП";

// Values of a sensor node the service creates.
constexpr int32_t kNewSensorEnabled = 1;
constexpr int32_t kNewSensorSensitivityMv = 100;
constexpr int32_t kNewSensorType = 0;

// Clamps of the calibration values.
constexpr int32_t kFallbackSlopeScale = 100;
constexpr int32_t kFallbackLaserCoef = 1000;
constexpr int32_t kLowestLaserMinVoltageMv = -10000;

void ReadSlopeBeam(ConfigStore& store, ConfigStore::Node product, ConfigStore::Node root,
                   SensorCalibration& cal) {
    store.GetInt(product, kZeroSlope, cal.zeroSlopeMv);
    store.GetInt(product, kLaserMinDistance, cal.laserMinDistanceMm);
    if (cal.laserMinDistanceMm <= 0)
        cal.laserMinDistanceMm = 0;
    store.GetInt(product, kRightLaserExcess, cal.rightLaserExcessMm);
    int32_t modelId = -1;
    store.GetInt(product, kModelId, modelId);
    if (modelId < 0)
        return;
    for (int32_t m = 0;; ++m) {
        ConfigStore::Node model = store.Find(root, config_names::Model(m));
        if (!model)
            break;
        int32_t id = -1;
        store.GetInt(model, kId, id);
        if (id != modelId)
            continue;
        store.GetInt(model, kSlopeScale, cal.slopeScaleMvPerDeg);
        if (cal.slopeScaleMvPerDeg <= 0)
            cal.slopeScaleMvPerDeg = kFallbackSlopeScale;
        store.GetInt(model, kLaserCoef, cal.laserCoefMvPerM);
        if (cal.laserCoefMvPerM <= 0)  // 1e-6 or less, for an integer
            cal.laserCoefMvPerM = kFallbackLaserCoef;
        store.GetInt(model, kLaserMinVoltage, cal.laserMinVoltageMv);
        if (cal.laserMinVoltageMv <= kLowestLaserMinVoltageMv)
            cal.laserMinVoltageMv = 0;
        store.GetInt(model, kLaserBase, cal.laserBaseMm);
        if (cal.laserBaseMm <= 0)  // 0.1 or less, for an integer
            cal.laserBaseMm = 0;
    }
}

void ReadSupplyRange(ConfigStore& store, ConfigStore::Node root, SensorConfig& config) {
    config.supplyMinV = 0.0f;
    config.supplyMaxV = 20.0f;
    for (int32_t m = 0;; ++m) {
        ConfigStore::Node model = store.Find(root, config_names::Model(m));
        if (!model)
            return;
        std::string type;
        store.GetText(model, kType, type);
        if (type == kGnssType) {
            store.GetFloat(model, kSupplyMin, config.supplyMinV);
            store.GetFloat(model, kSupplyMax, config.supplyMaxV);
            return;
        }
    }
}

}  // namespace

namespace config_names {
std::string Vehicle(int32_t n) {
    return "Авто" + std::to_string(n);
}
std::string Product(int32_t k) {
    return "Изделие" + std::to_string(k);
}
std::string Model(int32_t m) {
    return "Модель" + std::to_string(m);
}
}  // namespace config_names

SensorCommandLine ParseSensorCommandLine(std::u16string_view text) {
    SensorCommandLine line;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    line.empty = i == text.size();
    // Each number: an optional sign and decimal digits, as the C library reads it.
    auto number = [&](int32_t& out) {
        skipBlanks();
        size_t j = i;
        bool negative = false;
        if (j < text.size() && (text[j] == u'-' || text[j] == u'+'))
            negative = text[j++] == u'-';
        const size_t digits = j;
        int64_t value = 0;
        while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') {
            value = value * 10 + (text[j] - u'0');
            if (value > INT32_MAX)
                value = INT32_MAX;
            ++j;
        }
        if (j == digits)
            return false;
        out = static_cast<int32_t>(negative ? -value : value);
        i = j;
        return true;
    };
    if (number(line.wayThresholdMv))
        number(line.vehicle);
    return line;
}

SensorConfig::SensorConfig() {
    for (int i = 0; i < kInputCount; ++i)
        labels[static_cast<size_t>(i)] = sensor_text::PurposeLabel(i);
}

void AssignRoles(SensorConfig& config) {
    SensorSetup& setup = config.setup;
    setup.roles.Reset();
    for (int i = 0; i < kInputCount; ++i) {
        SensorChannel& channel = setup.channels[static_cast<size_t>(i)];
        if (int32_t* role = setup.roles.ForPurpose(channel.purpose))
            *role = i;
        if (IsLaserPurpose(channel.purpose)) {
            channel.minDistanceMm = setup.calibration.laserMinDistanceMm;
            channel.minDistanceVoltageMv = setup.calibration.laserMinVoltageMv;
        }
        if (const char* label = sensor_text::PurposeLabel(channel.purpose))
            config.labels[static_cast<size_t>(i)] = label;
    }
}

void LoadSensorConfig(ConfigStore* store, SensorConfig& config) {
    SensorSetup& setup = config.setup;
    setup.roles.way = 0;
    setup.roles.slope = 1;
    if (store == nullptr || !store->IsLoaded())
        return;

    store->Reload();
    const ConfigStore::Node root = store->Root();
    ConfigStore::Node work = store->Find(root, kWorkNode);
    config.vehicleIndex = -1;
    if (work)
        store->GetInt(work, kVehicleIndex, config.vehicleIndex);
    else
        config.vehicleIndex = 0;

    SensorCalibration& cal = setup.calibration;
    cal.zeroSlopeMv = 2500;
    cal.slopeScaleMvPerDeg = 1000;
    config.pathPerPulse = 0.1f;
    config.slopeQueueSize = 20;
    const ConfigStore::Node vehicle = store->Find(root, config_names::Vehicle(config.vehicleIndex));
    if (vehicle) {
        store->GetFloat(vehicle, kPathPerPulse, config.pathPerPulse);
        store->GetInt(vehicle, kSlopeQueueSize, config.slopeQueueSize);
        store->SetInt(vehicle, kSlopeQueueSize, config.slopeQueueSize);
        int32_t recover = 0;
        store->GetInt(vehicle, kRecoverDaq, recover);
        config.options.recoverDaq = recover == 1;
        for (int32_t k = 0;; ++k) {
            ConfigStore::Node product = store->Find(vehicle, config_names::Product(k));
            if (!product)
                break;
            std::string type;
            store->GetText(product, kType, type);
            if (type == kSlopeBeamType)
                ReadSlopeBeam(*store, product, root, cal);
        }
    } else {
        config.pathPerPulse = 0.0f;
    }
    ReadSupplyRange(*store, root, config);

    for (int i = 0; i < kInputCount; ++i) {
        const std::string name = SensorNodeName(i);
        if (store->Find(root, name))
            continue;
        store->EnsureChild(root, name);
        if (ConfigStore::Node created = store->Find(root, name)) {
            store->SetInt(created, kEnabled, kNewSensorEnabled);
            store->SetInt(created, kSensitivity, kNewSensorSensitivityMv);
            store->SetInt(created, kType, kNewSensorType);
        }
    }

    std::array<bool, kInputCount> present{};
    for (int i = 0; i < kInputCount; ++i) {
        const size_t n = static_cast<size_t>(i);
        SensorChannel& channel = setup.channels[n];
        channel = SensorChannel{};
        channel.purpose = i;
        const ConfigStore::Node node = store->Find(root, SensorNodeName(i));
        present[n] = static_cast<bool>(node);
        if (!node)
            continue;
        int32_t enabled = 0;
        store->GetInt(node, kEnabled, enabled);
        channel.enabled = enabled > 0;
        store->GetInt(node, kSensitivity, channel.sensitivityMv);
        store->GetInt(node, kType, channel.type);
        store->GetInt(node, kPurpose, channel.purpose);
        if (channel.purpose == PurposeValue(ChannelPurpose::Way) &&
            config.commandLine.wayThresholdMv > 0)
            channel.sensitivityMv = config.commandLine.wayThresholdMv;
    }
    AssignRoles(config);
    for (int i = 0; i < kInputCount; ++i) {
        const size_t n = static_cast<size_t>(i);
        if (present[n] && !IsKnownPurpose(setup.channels[n].purpose))
            config.labels[n] = SensorNodeName(i);
    }

    int32_t estimate = 0;
    int32_t files = 0;
    store->GetInt(store->Find(root, kEstimateNode), kYesIfOne, estimate);
    store->GetInt(store->Find(root, kFilesNode), kYesIfOne, files);
    config.options.estimateWayThreshold = estimate == 1;
    config.options.writeChannelFiles = files == 1;
    store->Save();
}

void StoreWayThreshold(ConfigStore* store, const SensorConfig& config, int32_t thresholdMv) {
    if (store == nullptr || !store->IsLoaded())
        return;
    store->Reload();
    const ConfigStore::Node vehicle =
        store->Find(store->Root(), config_names::Vehicle(config.commandLine.vehicle));
    if (!vehicle)
        return;
    store->SetInt(vehicle, kWayThreshold, thresholdMv);
    store->Save();
}

void SaveSensorConfig(ConfigStore* store, const SensorConfig& config) {
    if (store == nullptr || !store->IsLoaded())
        return;
    store->Reload();
    const ConfigStore::Node root = store->Root();
    for (int i = 0; i < kInputCount; ++i) {
        const ConfigStore::Node node = store->Find(root, SensorNodeName(i));
        if (!node)
            continue;
        const SensorChannel& channel = config.setup.channels[static_cast<size_t>(i)];
        store->SetText(node, kEnabled, std::to_string(channel.enabled ? 1 : 0));
        store->SetText(node, kType, std::to_string(channel.type));
        store->SetText(node, kSensitivity, std::to_string(channel.sensitivityMv));
        store->SetText(node, kPurpose, std::to_string(channel.purpose));
    }
    const std::pair<const char*, bool> options[] = {
        {kEstimateNode, config.options.estimateWayThreshold},
        {kFilesNode, config.options.writeChannelFiles},
    };
    for (const auto& [name, on] : options) {
        store->EnsureChild(root, name);
        store->SetText(store->Find(root, name), kYesIfOne, on ? "1" : "0");
    }
    if (const ConfigStore::Node vehicle =
            store->Find(root, config_names::Vehicle(config.vehicleIndex)))
        store->SetText(vehicle, kRecoverDaq, config.options.recoverDaq ? "1" : "0");
    store->Save();
}
