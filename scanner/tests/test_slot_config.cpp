// Slots from the vehicle description, back into it, and the bring-up's choice.
#include <gtest/gtest.h>

#include "fake_slot_xml.h"
#include "scanner/slot_config.h"

namespace {

using scan_test::FakeSlotXml;
using scanner::AcquisitionSettings;
using scanner::CommandLine;

constexpr int kRoot = 1;

// The example vehicle: two scanners (items 0 and 2; item 1 is something
// else) of model 7 in vehicle 0.
struct Vehicle {
    FakeSlotXml xml;
    int work, vehicle, item0, item1, item2, model0, model1;
    Vehicle() {
        work = xml.Add(
            kRoot, "Работа",
            {{"индекс_автомобиля", "0"}, {"базовое_расстояние_от_сканера_до_дороги_в_мм", "1750"}});
        vehicle = xml.Add(kRoot, "Авто0");
        item0 = xml.Add(vehicle, "Изделие0",
                        {{"тип", "сканер"},
                         {"IP", "127.0.0.2"},
                         {"ID_модели", "7"},
                         {"подключен", "0"},
                         {"угол_поворота_в_поперечной_плоскости_в_град", "-45.5"},
                         {"начальный_угол_верхнего_габарита", "-20"},
                         {"конечный_угол_верхнего_габарита", "20.5"},
                         {"инклинометр___напряжение_нулевого_уклона_в_мВ", "1400"}});
        item1 = xml.Add(vehicle, "Изделие1", {{"тип", "инклинометр"}});
        item2 = xml.Add(vehicle, "Изделие2",
                        {{"тип", "СКАНЕР"},
                         {"IP", "127.0.0.3"},
                         {"ID_модели", "9"},
                         {"восстанавливать_связь", "1"}});
        model0 = xml.Add(kRoot, "Модель0", {{"ID", "9"}, {"шаг_сканирования_в_град", "-1"}});
        model1 = xml.Add(kRoot, "Модель1",
                         {{"ID", "7"},
                          {"шаг_сканирования_в_град", "0.5"},
                          {"инклинометр-шкала_в_мВ_на_градус", "420"}});
    }
};

TEST(LoadSlotsTest, ScannerItemsFillTheSlotsInOrder) {
    Vehicle v;
    AcquisitionSettings s;
    scanner::LoadSlots(&v.xml, CommandLine{}, s);
    EXPECT_EQ(s.baseDistance, 1750);
    EXPECT_EQ(s.scannerCount, 2);
    ASSERT_EQ(s.scannerList.size(), 2u);
    EXPECT_EQ(s.scannerList[0], u"Сканер1");
    EXPECT_EQ(s.scannerList[1], u"Сканер2");

    const scanner::ScannerSlot& a = s.slots[0];
    EXPECT_EQ(a.itemNumber, 0);
    EXPECT_EQ(a.ipAddress, u"127.0.0.2");
    EXPECT_FLOAT_EQ(a.rotationAngle, -45.5f);
    EXPECT_FLOAT_EQ(a.clearanceStart, -20.0f);
    EXPECT_FLOAT_EQ(a.clearanceEnd, 20.5f);
    EXPECT_EQ(a.inclinometerZero, 1400);
    EXPECT_EQ(a.connected, 0);
    EXPECT_EQ(a.modelIndex, 1);
    EXPECT_EQ(a.inclinometerScale, 420);
    EXPECT_FLOAT_EQ(a.scanStep, 0.5f);
    EXPECT_EQ(a.port, 2111);
    EXPECT_EQ(a.recoverConnection, 0);  // off unless the item says so

    // The type compares without regard to case; the model's missing or
    // non-positive values become the defaults.
    const scanner::ScannerSlot& b = s.slots[1];
    EXPECT_EQ(b.itemNumber, 2);
    EXPECT_EQ(b.modelIndex, 0);
    EXPECT_EQ(b.inclinometerScale, 400);
    EXPECT_FLOAT_EQ(b.scanStep, 0.25f);
    EXPECT_EQ(b.inclinometerZero, 1390);
    EXPECT_EQ(b.recoverConnection, 1);
}

TEST(LoadSlotsTest, AMissingItemLeavesItsSlotEmptyAndTheWalkGoesOn) {
    FakeSlotXml xml;
    xml.Add(kRoot, "Работа");
    const int vehicle = xml.Add(kRoot, "Авто0");
    // No item 0: slot 0 stays empty; slot 1 gets item 1.
    xml.Add(vehicle, "Изделие1", {{"тип", "сканер"}, {"IP", "10.0.0.9"}});
    AcquisitionSettings s;
    scanner::LoadSlots(&xml, CommandLine{}, s);
    EXPECT_EQ(s.slots[0].itemNumber, -1);
    EXPECT_EQ(s.slots[1].itemNumber, 1);
    EXPECT_EQ(s.slots[1].modelIndex, -1);  // no model element at all
    ASSERT_EQ(s.scannerList.size(), 1u);
    EXPECT_EQ(s.scannerList[0], u"Сканер2");
    EXPECT_EQ(s.scannerListSlots[0], 1);  // the choice's entry belongs to slot 1
}

TEST(LoadSlotsTest, TheConfigurationChoosesTheVehicleAndTheCommandLineOnlyTheCrew) {
    // Vehicle 0 is the configuration's; the command line names vehicle 1.
    Vehicle v;
    const int other = v.xml.Add(kRoot, "Авто1");
    const int otherItem = v.xml.Add(other, "Изделие0", {{"тип", "сканер"}, {"IP", "192.168.0.3"}});
    AcquisitionSettings s;
    scanner::LoadSlots(&v.xml, scanner::ParseCommandLine(u" 1 "), s);
    EXPECT_EQ(s.vehicleIndex, 0);
    EXPECT_EQ(s.slots[0].ipAddress, u"127.0.0.2");
    EXPECT_EQ(s.slots[1].ipAddress, u"127.0.0.3");
    EXPECT_EQ(s.scannerCount, 2);

    // Only Авто0 is written back.
    s.slots[0].connected = 1;
    s.slots[0].ipAddress = u"127.0.0.9";
    scanner::SaveSlots(&v.xml, s);
    scanner::MarkItemConnected(&v.xml, s.vehicleIndex, 0, 1);
    EXPECT_EQ(v.xml.Attribute(v.item0, "IP"), "127.0.0.9");
    EXPECT_EQ(v.xml.Attribute(v.item0, "подключен"), "1");
    EXPECT_EQ(v.xml.Attribute(otherItem, "IP"), "192.168.0.3");
    EXPECT_EQ(v.xml.Attribute(otherItem, "подключен"), "<absent>");

    // "индекс_автомобиля" names another vehicle: that one, command line or not.
    v.xml.At(v.work).attributes["индекс_автомобиля"] = "1";
    for (const char16_t* line : {u"", u"0"}) {
        scanner::LoadSlots(&v.xml, scanner::ParseCommandLine(line), s);
        EXPECT_EQ(s.vehicleIndex, 1);
        EXPECT_EQ(s.slots[0].ipAddress, u"192.168.0.3");
    }
}

TEST(LoadSlotsTest, WithoutDocumentOrVehicleTheDefaultsStay) {
    AcquisitionSettings s;
    s.slots[0].itemNumber = 5;
    s.scannerList.push_back(u"old");
    scanner::LoadSlots(nullptr, CommandLine{}, s);
    EXPECT_EQ(s.slots[0].itemNumber, -1);
    EXPECT_TRUE(s.scannerList.empty());
    EXPECT_EQ(s.triggerRate, 25);
    EXPECT_EQ(s.alarmThreshold, 15);
    EXPECT_EQ(s.baseDistance, 1500);

    FakeSlotXml empty;
    empty.Add(kRoot, "Работа", {{"индекс_автомобиля", "1"}});
    scanner::LoadSlots(&empty, CommandLine{}, s);
    EXPECT_EQ(s.vehicleIndex, 1);
    EXPECT_EQ(s.scannerCount, 0);
}

TEST(SaveSlotsTest, OnlyConnectedSlotsWithAnItemAreStored) {
    Vehicle v;
    AcquisitionSettings s;
    scanner::LoadSlots(&v.xml, CommandLine{}, s);
    s.slots[0].connected = 1;
    s.slots[0].rotationAngle = 12.7f;
    s.slots[0].clearanceStart = -10.25f;
    s.slots[0].ipAddress = u"127.0.0.5";
    s.slots[0].inclinometerScale = 430;
    s.slots[0].recoverConnection = 1;
    s.slots[1].connected = 0;
    s.slots[1].recoverConnection = 0;
    s.slots[1].ipAddress = u"1.1.1.1";
    s.baseDistance = 1234;
    const int savesBefore = v.xml.saves;
    scanner::SaveSlots(&v.xml, s);
    EXPECT_EQ(v.xml.saves, savesBefore + 1);
    EXPECT_EQ(v.xml.Attribute(v.item0, "IP"), "127.0.0.5");
    EXPECT_EQ(v.xml.Attribute(v.item0, "угол_поворота_в_поперечной_плоскости_в_град"), "12.7");
    EXPECT_EQ(v.xml.Attribute(v.item0, "начальный_угол_верхнего_габарита"), "-10.25");
    EXPECT_EQ(v.xml.Attribute(v.item0, "подключен"), "1");
    EXPECT_EQ(v.xml.Attribute(v.item0, "восстанавливать_связь"), "1");
    EXPECT_EQ(v.xml.Attribute(v.item2, "восстанавливать_связь"), "1");  // not connected: kept
    EXPECT_EQ(v.xml.Attribute(v.model1, "инклинометр-шкала_в_мВ_на_градус"), "430");
    EXPECT_EQ(v.xml.Attribute(v.item2, "IP"), "127.0.0.3");  // not connected: kept
    EXPECT_EQ(v.xml.Attribute(v.work, "базовое_расстояние_от_сканера_до_дороги_в_мм"), "1234");
}

TEST(SaveSlotsTest, ConnectedMarksGoToTheItemOfTheSlot) {
    Vehicle v;
    scanner::MarkItemConnected(&v.xml, 0, 2, 1);
    EXPECT_EQ(v.xml.Attribute(v.item2, "подключен"), "1");
    scanner::MarkItemConnected(&v.xml, 0, 2, 0);
    EXPECT_EQ(v.xml.Attribute(v.item2, "подключен"), "0");
    const int saves = v.xml.saves;
    scanner::MarkItemConnected(&v.xml, 0, -1, 0);  // no item: nothing
    scanner::MarkItemConnected(&v.xml, 4, 0, 0);   // no such vehicle: nothing
    EXPECT_EQ(v.xml.saves, saves);
}

TEST(BringUpChoiceTest, ACrewNeedsAnItemAndEveryoneNeedsAnAddress) {
    scanner::ScannerSlot slot;
    slot.ipAddress = u"127.0.0.2";
    EXPECT_TRUE(scanner::ShouldBringUp(slot, CommandLine{}));
    EXPECT_FALSE(scanner::ShouldBringUp(slot, CommandLine{true, 0}));
    slot.itemNumber = 0;
    EXPECT_TRUE(scanner::ShouldBringUp(slot, CommandLine{true, 0}));
    slot.ipAddress = u"1.2.3.";
    EXPECT_FALSE(scanner::ShouldBringUp(slot, CommandLine{}));
    slot.ipAddress = u"1.2.3.4";
    EXPECT_TRUE(scanner::ShouldBringUp(slot, CommandLine{}));
    slot.ipAddress = std::u16string(40, u'1');
    EXPECT_EQ(scanner::ConnectAddress(slot).size(), 31u);
    slot.ipAddress = u"адрес.1.2.3";
    EXPECT_TRUE(scanner::ConnectAddress(slot).empty());
}

TEST(BringUpChoiceTest, CommandLinesAndCaseFolding) {
    EXPECT_FALSE(scanner::ParseCommandLine(u"").given);
    EXPECT_FALSE(scanner::ParseCommandLine(u"  ").given);
    EXPECT_EQ(scanner::ParseCommandLine(u"2").vehicleIndex, 2);
    const CommandLine junk = scanner::ParseCommandLine(u"abc");
    EXPECT_TRUE(junk.given);
    EXPECT_EQ(junk.vehicleIndex, 0);
    EXPECT_TRUE(scanner::EqualsIgnoringCase(u"СкАнЕр", u"сканер"));
    EXPECT_TRUE(scanner::EqualsIgnoringCase(u"ЁЖ", u"ёж"));
    EXPECT_FALSE(scanner::EqualsIgnoringCase(u"сканеры", u"сканер"));
}

}  // namespace
