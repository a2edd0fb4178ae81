// The settings dialog's data: what it shows and what accepting takes back.
#include <gtest/gtest.h>

#include "fake_slot_xml.h"
#include "scanner/settings_form.h"

namespace {

using scanner::ScannerSlot;
using scanner::SettingsArrays;

void TwoSlots(ScannerSlot (&slots)[2]) {
    slots[0].connected = 1;
    slots[0].ipAddress = u"127.0.0.2";
    slots[0].port = 2200;
    slots[0].rotationAngle = -45.0f;
    slots[0].clearanceStart = -20.0f;
    slots[0].clearanceEnd = 20.5f;
    slots[0].inclinometerScale = 410;
    slots[0].inclinometerZero = 1395;
    slots[0].inclinometerBaseAngle = 3;
    slots[0].recoverConnection = 1;
    slots[1].connected = 0;
    slots[1].ipAddress = u"127.0.0.3";
    slots[1].rotationAngle = 12.7f;
    slots[1].inclinometerFitted = 0;
}

TEST(SettingsFormTest, OpeningShowsEveryFieldAndAlwaysPort2111) {
    ScannerSlot slots[2];
    TwoSlots(slots);
    SettingsArrays a = scanner::CopyFromSlots(slots, 2, true);
    const auto fill = scanner::FillSettingsForm(a);
    EXPECT_FALSE(fill.notInCrew);
    EXPECT_TRUE(fill.form.checked[0]);
    EXPECT_FALSE(fill.form.checked[1]);
    EXPECT_EQ(fill.form.address[0], u"127.0.0.2");
    EXPECT_EQ(fill.form.port[0], u"2111");
    EXPECT_EQ(fill.form.port[1], u"2111");
    EXPECT_EQ(a.ports[0], 2111);
    EXPECT_EQ(fill.form.angle[0], u"-45.0");
    EXPECT_EQ(fill.form.angle[1], u"12.7");
    EXPECT_EQ(fill.form.sectorEnd[0], u"20.5");
    EXPECT_EQ(fill.form.scale, u"410");
    EXPECT_EQ(fill.form.zeroVoltage, u"1395");
    EXPECT_EQ(fill.form.baseAngle, u"3");
}

TEST(SettingsFormTest, AcceptingWritesScaleAndZeroIntoBothSlots) {
    ScannerSlot slots[2];
    TwoSlots(slots);
    SettingsArrays a = scanner::CopyFromSlots(slots, 2, false);
    auto fill = scanner::FillSettingsForm(a);
    fill.form.scale = u"450";
    fill.form.zeroVoltage = u"1401";
    fill.form.angle[1] = u"-30,5";  // an operator's decimal comma
    fill.form.port[0] = u"x";
    fill.form.checked[1] = true;
    EXPECT_TRUE(fill.form.recover[0]);
    EXPECT_FALSE(fill.form.recover[1]);
    fill.form.recover[0] = false;
    fill.form.recover[1] = true;
    scanner::ReadSettingsForm(fill.form, a);
    scanner::CopyToSlots(a, slots);
    EXPECT_EQ(slots[0].inclinometerScale, 450);
    EXPECT_EQ(slots[1].inclinometerScale, 450);
    EXPECT_EQ(slots[0].inclinometerZero, 1401);
    EXPECT_EQ(slots[1].inclinometerZero, 1401);
    EXPECT_FLOAT_EQ(slots[1].rotationAngle, -30.5f);
    EXPECT_EQ(slots[0].port, 0);
    EXPECT_EQ(slots[1].port, 2111);
    EXPECT_EQ(slots[1].connected, 1);
    EXPECT_EQ(slots[0].recoverConnection, 0);
    EXPECT_EQ(slots[1].recoverConnection, 1);
    EXPECT_EQ(slots[1].inclinometerFitted, 0);  // shown only, never written back
}

TEST(SettingsFormTest, WithOneItemTheHiddenSecondRowReadsBackEmpty) {
    ScannerSlot slots[2];
    TwoSlots(slots);
    slots[1].connected = 1;
    SettingsArrays a = scanner::CopyFromSlots(slots, 1, true);
    auto fill = scanner::FillSettingsForm(a);
    EXPECT_TRUE(fill.form.address[1].empty());
    EXPECT_TRUE(fill.form.checked[1]);  // the tick is still set
    scanner::ReadSettingsForm(fill.form, a);
    scanner::CopyToSlots(a, slots);
    EXPECT_TRUE(slots[1].ipAddress.empty());
    EXPECT_EQ(slots[1].port, 0);
    EXPECT_EQ(slots[1].rotationAngle, 0.0f);
    EXPECT_EQ(slots[1].connected, 1);
    EXPECT_EQ(slots[0].ipAddress, u"127.0.0.2");
}

TEST(SettingsFormTest, TheOnlyScannerInSlot1IsShownInTheFirstRowAndKeptOnAccepting) {
    // The vehicle's only scanner is Изделие1: it loads into slot 1.
    scan_test::FakeSlotXml xml;
    xml.Add(1, "Работа", {{"индекс_автомобиля", "0"}});
    const int vehicle = xml.Add(1, "Авто0");
    const std::map<std::string, std::string> stored = {
        {"тип", "сканер"},
        {"IP", "127.0.0.3"},
        {"подключен", "1"},
        {"угол_поворота_в_поперечной_плоскости_в_град", "12.5"},
        {"начальный_угол_верхнего_габарита", "-20"},
        {"конечный_угол_верхнего_габарита", "7.5"},
        {"инклинометр___напряжение_нулевого_уклона_в_мВ", "1395"},
        {"восстанавливать_связь", "1"}};
    const int item = xml.Add(vehicle, "Изделие1", stored);
    scanner::AcquisitionSettings settings;
    scanner::LoadSlots(&xml, scanner::CommandLine{true, 0}, settings);
    ASSERT_EQ(settings.slots[1].itemNumber, 1);
    ASSERT_EQ(settings.scannerCount, 1);

    SettingsArrays a =
        scanner::CopyFromSlots(settings.slots, settings.scannerCount, /*commandLineGiven=*/true);
    const auto fill = scanner::FillSettingsForm(a);
    EXPECT_FALSE(fill.notInCrew);
    EXPECT_TRUE(fill.form.checked[0]);
    EXPECT_TRUE(fill.form.recover[0]);
    EXPECT_EQ(fill.form.address[0], u"127.0.0.3");
    EXPECT_EQ(fill.form.angle[0], u"12.5");
    EXPECT_EQ(fill.form.sectorEnd[0], u"7.5");
    EXPECT_EQ(fill.form.zeroVoltage, u"1395");

    // Accepted unchanged: the slot keeps its values, and so does its item.
    scanner::ReadSettingsForm(fill.form, a);
    scanner::CopyToSlots(a, settings.slots);
    EXPECT_EQ(settings.slots[1].ipAddress, u"127.0.0.3");
    EXPECT_EQ(settings.slots[1].connected, 1);
    scanner::SaveSlots(&xml, settings);
    for (const auto& [name, value] : stored)
        EXPECT_EQ(xml.Attribute(item, name), value) << name;
}

TEST(SettingsFormTest, ACrewWithoutScannersFillsNothingAndTheChoiceFillsTheFirstRow) {
    ScannerSlot slots[2];
    TwoSlots(slots);
    SettingsArrays a = scanner::CopyFromSlots(slots, 0, true);
    auto fill = scanner::FillSettingsForm(a);
    EXPECT_TRUE(fill.notInCrew);
    EXPECT_TRUE(fill.form.address[0].empty());
    EXPECT_EQ(a.ports[0], 2200);

    a = scanner::CopyFromSlots(slots, 2, true);
    fill = scanner::FillSettingsForm(a);
    scanner::ShowSlotInForm(a, 1, fill.form);
    EXPECT_EQ(fill.form.address[0], u"127.0.0.3");
    EXPECT_EQ(fill.form.angle[0], u"12.7");
    EXPECT_EQ(fill.form.scale, u"400");
}

}  // namespace
