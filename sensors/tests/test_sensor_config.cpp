// Reading and writing the service's configuration over a fake XML store,
// and its command line.
#include <gtest/gtest.h>

#include "sensors/sensor_config.h"
#include "sensors/sensor_lines.h"
#include "sensors/tests/fake_config_store.h"

namespace {

using Element = FakeConfigStore::Element;

class SensorConfigTest : public ::testing::Test {
protected:
    // A vehicle 2 with a slope beam of model 7, and models 0..2.
    void FillInstallation() {
        Element& root = store.File();
        root.Add("Работа").attributes["индекс_автомобиля"] = "2";
        Element& vehicle = root.Add("Авто2");
        vehicle.attributes["путь_за_один_импульс_в_мм"] = "0.25";
        vehicle.Add("Изделие0").attributes["тип"] = "камера";
        Element& beam = vehicle.Add("Изделие1");
        beam.attributes = {{"тип", "балка_поперечного_уклона"},
                           {"инклинометр___напряжение_нулевого_уклона_в_мВ", "2400"},
                           {"минимальное_расстояние_лазера_в_мм", "-5"},
                           {"превышение_правого_лазера_в_мм", "12"},
                           {"ID_модели", "7"}};
        root.Add("Модель0").attributes = {{"ID", "3"},
                                          {"тип", "гнсс"},
                                          {"минимальное_рабочее_напряжение_в_В", "10.5"},
                                          {"максимальное_рабочее_напряжение_в_В", "14.5"}};
        root.Add("Модель1").attributes = {{"ID", "7"},
                                          {"инклинометр-шкала_в_мВ_на_градус", "0"},
                                          {"коэффициент_лазера_в_мВ_на_м", "0"},
                                          {"напряжение_минимального_расстояния_лазера_в_мВ", "400"},
                                          {"расстояние_между_лазерами_в_мм", "1800"}};
        root.Add("Модель2").attributes = {{"ID", "8"}, {"тип", "гнсс"}};
    }
    Element& Sensor(int i, std::map<std::string, std::string> attributes) {
        Element& e = store.File().Add(SensorNodeName(i));
        e.attributes = std::move(attributes);
        return e;
    }
    Element* SavedSensor(int i) { return store.File().Child(SensorNodeName(i)); }

    FakeConfigStore store;
    SensorConfig config;
};

TEST_F(SensorConfigTest, EmptyFileGetsFourSensorNodes) {
    LoadSensorConfig(&store, config);
    for (int i = 0; i < kInputCount; ++i) {
        Element* node = SavedSensor(i);
        ASSERT_NE(node, nullptr) << i;
        EXPECT_EQ(node->attributes["включение"], "1");
        EXPECT_EQ(node->attributes["чувствительность_в_мВ"], "100");
        EXPECT_EQ(node->attributes["тип"], "0");
        EXPECT_EQ(node->attributes.count("назначение"), 0u);
        const SensorChannel& c = config.setup.channels[static_cast<size_t>(i)];
        EXPECT_TRUE(c.enabled);
        EXPECT_EQ(c.sensitivityMv, 100);
        EXPECT_EQ(c.purpose, i);
    }
    EXPECT_EQ(config.setup.roles.way, 0);
    EXPECT_EQ(config.setup.roles.slope, 1);
    EXPECT_EQ(config.setup.roles.voltage1, 2);
    EXPECT_EQ(config.setup.roles.voltage2, 3);
    EXPECT_EQ(config.labels[0], "путь");
    EXPECT_EQ(config.labels[3], "напряжение2");
    // No vehicle node: no distance per pulse.
    EXPECT_EQ(config.vehicleIndex, 0);
    EXPECT_EQ(config.pathPerPulse, 0.0f);
    EXPECT_GE(store.Saves(), 1);
}

TEST_F(SensorConfigTest, StoreNotLoadedKeepsDefaultsWithProvisionalRoles) {
    store.SetLoaded(false);
    LoadSensorConfig(&store, config);
    EXPECT_EQ(config.setup.roles.way, 0);
    EXPECT_EQ(config.setup.roles.slope, 1);
    EXPECT_EQ(config.setup.roles.voltage1, -1);
    for (const SensorChannel& c : config.setup.channels)
        EXPECT_FALSE(c.enabled);
    EXPECT_EQ(store.Saves(), 0);
    EXPECT_EQ(store.File().children.size(), 0u);
    LoadSensorConfig(nullptr, config);  // no store at all: the same
    EXPECT_EQ(config.setup.roles.way, 0);
}

TEST_F(SensorConfigTest, CalibrationFromTheSlopeBeamAndItsModel) {
    FillInstallation();
    LoadSensorConfig(&store, config);
    const SensorCalibration& cal = config.setup.calibration;
    EXPECT_EQ(config.vehicleIndex, 2);
    EXPECT_FLOAT_EQ(config.pathPerPulse, 0.25f);
    EXPECT_EQ(cal.zeroSlopeMv, 2400);
    EXPECT_EQ(cal.laserMinDistanceMm, 0);  // negative becomes 0
    EXPECT_EQ(cal.rightLaserExcessMm, 12);
    EXPECT_EQ(cal.slopeScaleMvPerDeg, 100);  // 0 becomes 100
    EXPECT_EQ(cal.laserCoefMvPerM, 1000);    // 0 becomes 1000
    EXPECT_EQ(cal.laserMinVoltageMv, 400);
    EXPECT_EQ(cal.laserBaseMm, 1800);
    // The first GNSS model gives the supply range.
    EXPECT_FLOAT_EQ(config.supplyMinV, 10.5f);
    EXPECT_FLOAT_EQ(config.supplyMaxV, 14.5f);
    // The queue size went back to the vehicle node.
    EXPECT_EQ(store.File().Child("Авто2")->attributes["размер_очереди_уклонов"], "20");
}

TEST_F(SensorConfigTest, ClampsOfTheModelValues) {
    FillInstallation();
    Element& model = *store.File().Child("Модель1");
    model.attributes["напряжение_минимального_расстояния_лазера_в_мВ"] = "-10000";
    model.attributes["расстояние_между_лазерами_в_мм"] = "-3";
    model.attributes["коэффициент_лазера_в_мВ_на_м"] = "-50";
    model.attributes["инклинометр-шкала_в_мВ_на_градус"] = "250";
    LoadSensorConfig(&store, config);
    EXPECT_EQ(config.setup.calibration.laserMinVoltageMv, 0);
    EXPECT_EQ(config.setup.calibration.laserBaseMm, 0);
    EXPECT_EQ(config.setup.calibration.laserCoefMvPerM, 1000);
    EXPECT_EQ(config.setup.calibration.slopeScaleMvPerDeg, 250);
}

TEST_F(SensorConfigTest, NoMatchingModelKeepsTheDefaults) {
    FillInstallation();
    store.File().Child("Авто2")->Child("Изделие1")->attributes["ID_модели"] = "-1";
    store.File().Child("Модель0")->attributes["тип"] = "сканер";
    LoadSensorConfig(&store, config);
    EXPECT_EQ(config.setup.calibration.slopeScaleMvPerDeg, 1000);
    EXPECT_EQ(config.setup.calibration.laserCoefMvPerM, 0);
    // The second model is the first GNSS one; its voltages are missing.
    EXPECT_FLOAT_EQ(config.supplyMinV, 0.0f);
    EXPECT_FLOAT_EQ(config.supplyMaxV, 20.0f);
}

TEST_F(SensorConfigTest, SensorNodesGiveChannelsRolesAndLabels) {
    FillInstallation();
    Sensor(
        0,
        {{"включение", "0"}, {"чувствительность_в_мВ", "30"}, {"тип", "4"}, {"назначение", "1"}});
    Sensor(1, {{"включение", "1"}, {"чувствительность_в_мВ", "250"}, {"назначение", "0"}});
    Sensor(2, {{"включение", "2"}, {"назначение", "5"}});
    Sensor(3, {{"включение", "1"}, {"назначение", "9"}});
    LoadSensorConfig(&store, config);
    const auto& ch = config.setup.channels;
    EXPECT_FALSE(ch[0].enabled);
    EXPECT_EQ(ch[0].type, 4);
    EXPECT_TRUE(ch[2].enabled);
    EXPECT_EQ(ch[2].sensitivityMv, 1);  // attribute missing: the default
    EXPECT_EQ(config.setup.roles.way, 1);
    EXPECT_EQ(config.setup.roles.slope, 0);
    EXPECT_EQ(config.setup.roles.rightLaser, 2);
    EXPECT_EQ(config.setup.roles.leftLaser, -1);
    EXPECT_EQ(config.setup.roles.voltage1, -1);
    // Lasers take the calibration's minimum range.
    EXPECT_EQ(ch[2].minDistanceVoltageMv, 400);
    EXPECT_EQ(ch[0].minDistanceVoltageMv, -20000);
    EXPECT_EQ(config.labels[0], "уклон");
    EXPECT_EQ(config.labels[1], "путь");
    EXPECT_EQ(config.labels[2], "правый лазер");
    EXPECT_EQ(config.labels[3], "Датчик3");  // unknown purpose: the node's name
}

TEST_F(SensorConfigTest, SharedPurposeGoesToTheHigherInput) {
    Sensor(0, {{"назначение", "4"}});
    Sensor(1, {{"назначение", "4"}});
    Sensor(2, {{"назначение", "4"}});
    Sensor(3, {{"назначение", "2"}});
    LoadSensorConfig(&store, config);
    EXPECT_EQ(config.setup.roles.leftLaser, 2);
    EXPECT_EQ(config.setup.roles.way, -1);
    EXPECT_EQ(config.setup.roles.slope, -1);
}

TEST_F(SensorConfigTest, CommandLineThresholdReplacesTheWaySensitivity) {
    FillInstallation();
    Sensor(0, {{"назначение", "1"}, {"чувствительность_в_мВ", "40"}});
    Sensor(3, {{"назначение", "0"}, {"чувствительность_в_мВ", "40"}});
    store.File().Add("Авто3");
    config.commandLine = ParseSensorCommandLine(u"150 3");
    LoadSensorConfig(&store, config);
    EXPECT_EQ(config.setup.channels[3].sensitivityMv, 150);
    EXPECT_EQ(config.setup.channels[0].sensitivityMv, 40);
    StoreWayThreshold(&store, config, 420);
    EXPECT_EQ(store.File().Child("Авто3")->attributes["порог_срабатывания_датчика_пути_в_мВ"],
              "420");
    EXPECT_EQ(store.File().Child("Авто2")->attributes.count("порог_срабатывания_датчика_пути_в_мВ"),
              0u);
    // A vehicle node that does not exist gets nothing.
    config.commandLine.vehicle = 9;
    const int saves = store.Saves();
    StoreWayThreshold(&store, config, 1);
    EXPECT_EQ(store.Saves(), saves);
    EXPECT_EQ(store.File().Child("Авто9"), nullptr);
}

TEST_F(SensorConfigTest, OptionsAreOnOnlyForOne) {
    store.File().Add("Оценивать_шаг_ДПП").attributes["да_если_1"] = "1";
    store.File().Add("Записывать_отладочные_файлы").attributes["да_если_1"] = "2";
    LoadSensorConfig(&store, config);
    EXPECT_TRUE(config.options.estimateWayThreshold);
    EXPECT_FALSE(config.options.writeChannelFiles);
    EXPECT_FALSE(config.options.recoverDaq);
    // The recovery option is on the vehicle node, and goes back there.
    FillInstallation();
    store.File().Child("Авто2")->attributes["восстанавливать_связь_с_АЦП"] = "1";
    LoadSensorConfig(&store, config);
    EXPECT_TRUE(config.options.recoverDaq);
    config.options.recoverDaq = false;
    SaveSensorConfig(&store, config);
    EXPECT_EQ(store.File().Child("Авто2")->attributes["восстанавливать_связь_с_АЦП"], "0");
}

TEST_F(SensorConfigTest, SaveWritesChannelsAndOptionsAsDecimalTexts) {
    LoadSensorConfig(&store, config);
    config.setup.channels[1].enabled = false;
    config.setup.channels[1].purpose = 4;
    config.setup.channels[1].sensitivityMv = -7;
    config.setup.channels[2].type = 12;
    config.options.writeChannelFiles = true;
    // Another program changed the file meanwhile; the save keeps its change.
    store.File().attributes["версия"] = "5";
    store.File().children.erase(store.File().children.begin() + 3);  // "Датчик3"
    SaveSensorConfig(&store, config);
    EXPECT_EQ(SavedSensor(1)->attributes["включение"], "0");
    EXPECT_EQ(SavedSensor(1)->attributes["назначение"], "4");
    EXPECT_EQ(SavedSensor(1)->attributes["чувствительность_в_мВ"], "-7");
    EXPECT_EQ(SavedSensor(2)->attributes["тип"], "12");
    EXPECT_EQ(SavedSensor(3), nullptr);  // a node that went away is not created again
    EXPECT_EQ(store.File().attributes["версия"], "5");
    EXPECT_EQ(store.File().Child("Оценивать_шаг_ДПП")->attributes["да_если_1"], "0");
    EXPECT_EQ(store.File().Child("Записывать_отладочные_файлы")->attributes["да_если_1"], "1");
    SaveSensorConfig(&store, config);  // the option nodes are not doubled
    int optionNodes = 0;
    for (const auto& child : store.File().children)
        optionNodes += child->name == "Оценивать_шаг_ДПП";
    EXPECT_EQ(optionNodes, 1);
}

TEST(SensorCommandLineTest, UpToTwoNumbers) {
    SensorCommandLine line = ParseSensorCommandLine(u"");
    EXPECT_TRUE(line.empty);
    EXPECT_TRUE(ParseSensorCommandLine(u"   ").empty);
    line = ParseSensorCommandLine(u"150 3");
    EXPECT_FALSE(line.empty);
    EXPECT_EQ(line.wayThresholdMv, 150);
    EXPECT_EQ(line.vehicle, 3);
    line = ParseSensorCommandLine(u" 80");
    EXPECT_EQ(line.wayThresholdMv, 80);
    EXPECT_EQ(line.vehicle, 0);
    line = ParseSensorCommandLine(u"-5 x");
    EXPECT_FALSE(line.empty);
    EXPECT_EQ(line.wayThresholdMv, -5);
    EXPECT_EQ(line.vehicle, 0);
    line = ParseSensorCommandLine(u"abc");
    EXPECT_FALSE(line.empty);
    EXPECT_EQ(line.wayThresholdMv, 0);
}

}  // namespace
