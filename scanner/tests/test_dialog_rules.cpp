// Layouts of the two windows, the rules of the angle and base-distance rows,
// the recording indicator and the texts of the edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "scanner/recording_indicator.h"
#include "scanner/resource.h"
#include "scanner/vestrami_layout.h"

namespace {

using scanner::ControlRect;

ControlRect Find(const std::array<ControlRect, 14>& layout, int id) {
    for (const ControlRect& r : layout) {
        if (r.id == id)
            return r;
    }
    return ControlRect{-1, 0, 0, 0, 0};
}

TEST(MainLayoutTest, TheStartSizePlacesEveryControl) {
    const auto l = scanner::MainDialogLayout(820, 648);
    EXPECT_EQ(Find(l, IDC_SETTINGS), (ControlRect{IDC_SETTINGS, 0, 0, 410, 24}));
    EXPECT_EQ(Find(l, IDC_VIEW), (ControlRect{IDC_VIEW, 410, 0, 410, 24}));
    EXPECT_EQ(Find(l, IDC_PICTURE), (ControlRect{IDC_PICTURE, 0, 25, 820, 573}));
    EXPECT_EQ(Find(l, IDC_SCANNER_CHOICE), (ControlRect{IDC_SCANNER_CHOICE, 0, 599, 150, 72}));
    EXPECT_EQ(Find(l, IDC_ANGLE_LABEL), (ControlRect{IDC_ANGLE_LABEL, 151, 599, 259, 24}));
    EXPECT_EQ(Find(l, IDC_ANGLE_DOWN), (ControlRect{IDC_ANGLE_DOWN, 412, 599, 24, 24}));
    EXPECT_EQ(Find(l, IDC_ANGLE_SLIDER), (ControlRect{IDC_ANGLE_SLIDER, 437, 599, 205, 24}));
    EXPECT_EQ(Find(l, IDC_ANGLE_UP), (ControlRect{IDC_ANGLE_UP, 643, 599, 24, 24}));
    EXPECT_EQ(Find(l, IDC_ANGLE_EDIT), (ControlRect{IDC_ANGLE_EDIT, 668, 599, 153, 24}));
    EXPECT_EQ(Find(l, IDC_BASE_DISTANCE_LABEL),
              (ControlRect{IDC_BASE_DISTANCE_LABEL, 151, 624, 259, 24}));
    EXPECT_EQ(Find(l, IDC_BASE_DISTANCE_EDIT),
              (ControlRect{IDC_BASE_DISTANCE_EDIT, 668, 624, 153, 24}));
}

TEST(MainLayoutTest, OddSizesUseIntegerDivisionsAndRowsStayAtTheBottom) {
    const auto l = scanner::MainDialogLayout(1001, 777);
    EXPECT_EQ(Find(l, IDC_SETTINGS).width, 500);
    EXPECT_EQ(Find(l, IDC_VIEW).x, 500);
    EXPECT_EQ(Find(l, IDC_PICTURE).height, 777 - 75);
    EXPECT_EQ(Find(l, IDC_SCANNER_CHOICE).width, 1001 * 11 / 60);
    EXPECT_EQ(Find(l, IDC_ANGLE_SLIDER).y, 777 - 49);
    EXPECT_EQ(Find(l, IDC_BASE_DISTANCE_SLIDER).y, 777 - 24);
    EXPECT_EQ(Find(l, IDC_BASE_DISTANCE_UP).x, 1001 * 45 / 60 + 28);
    std::set<int> ids;
    for (const ControlRect& r : l)
        ids.insert(r.id);
    EXPECT_EQ(ids.size(), 14u);
}

TEST(RowRulesTest, AnglesAndDistancesStayInTheirRanges) {
    EXPECT_EQ(scanner::NormalizeAngle(370), 10);
    EXPECT_EQ(scanner::NormalizeAngle(-10), -10);
    EXPECT_EQ(scanner::NormalizeAngle(-370), -10);
    EXPECT_EQ(scanner::NormalizeAngle(360), 0);
    EXPECT_FALSE(scanner::BaseDistanceDown(0));
    EXPECT_EQ(scanner::BaseDistanceDown(1), 0);
    EXPECT_FALSE(scanner::BaseDistanceUp(10000));
    EXPECT_EQ(scanner::BaseDistanceUp(9999), 10000);
    EXPECT_FALSE(scanner::AngleDown(0));
    EXPECT_FALSE(scanner::AngleUp(360));
    EXPECT_EQ(scanner::AngleUp(359), 360);
}

TEST(SettingsLayoutTest, GroupsShowAsTheItemsFoundAllow) {
    auto v = scanner::SettingsVisible(2, true, 0, 0);
    EXPECT_TRUE(v.scanners);
    EXPECT_TRUE(v.slot1);
    EXPECT_FALSE(v.inclinometer);
    v = scanner::SettingsVisible(1, true, 1, 0);
    EXPECT_FALSE(v.slot1);
    EXPECT_TRUE(v.inclinometer);
    // A crew without scanners sees only the buttons.
    v = scanner::SettingsVisible(0, true, 1, 1);
    EXPECT_FALSE(v.scanners);
    EXPECT_FALSE(v.inclinometer);
    EXPECT_TRUE(scanner::IsShown(scanner::SettingsGroup::Buttons, v));
    // Started by hand: the first row even without items.
    v = scanner::SettingsVisible(0, false, 0, 0);
    EXPECT_TRUE(v.scanners);
    EXPECT_FALSE(v.slot1);

    int hidden = 0;
    for (const auto& c : scanner::SettingsDialogLayout()) {
        if (c.group == scanner::SettingsGroup::Hidden)
            ++hidden;
        if (c.rect.id == IDC_SET_ADDRESS1) {
            EXPECT_EQ(c.rect, (ControlRect{IDC_SET_ADDRESS1, 120, 132, 160, 24}));
        }
    }
    EXPECT_EQ(hidden, 3);
    EXPECT_EQ(scanner::SettingsDialogLayout().size(), 31u);  // with a recovery tick per row
}

TEST(IndicatorTest, ColoursFollowWhichScannersWrite) {
    using scanner::IndicatorSlot;
    IndicatorSlot slots[2] = {{true, 0, 0}, {true, 0, 0}};
    // Idle: yellow, no count.
    auto s = scanner::UpdateIndicator(false, slots, 100, 0);
    EXPECT_EQ(s.colour, scanner::kYellow);
    EXPECT_FALSE(s.showCount);

    // Both writing: green with the total.
    slots[0].linesWritten = 250;
    slots[1].linesWritten = 249;
    s = scanner::UpdateIndicator(true, slots, 110, 100);
    EXPECT_EQ(s.colour, scanner::kGreen);
    EXPECT_EQ(s.totalLines, 499);
    EXPECT_TRUE(s.showCount);
    // Only one writing: yellow.
    slots[0].linesWritten = 500;
    s = scanner::UpdateIndicator(true, slots, 120, 100);
    EXPECT_EQ(s.colour, scanner::kYellow);
    EXPECT_EQ(s.totalLines, 749);
    // None writing within the first 10 s: still yellow; after that, red.
    IndicatorSlot fresh[2] = {{true, 0, 0}, {true, 0, 0}};
    EXPECT_EQ(scanner::UpdateIndicator(true, fresh, 110, 100).colour, scanner::kYellow);
    EXPECT_EQ(scanner::UpdateIndicator(true, fresh, 111, 100).colour, scanner::kRed);
    // A slot that is not connected counts for nothing.
    IndicatorSlot one[2] = {{true, 5, 0}, {false, 9, 0}};
    s = scanner::UpdateIndicator(true, one, 200, 100);
    EXPECT_EQ(s.colour, scanner::kGreen);
    EXPECT_EQ(s.totalLines, 5);
}

TEST(EditTextTest, NumbersAreWrittenWithAPointAndReadWithEither) {
    EXPECT_EQ(scanner::FormatOneDecimal(12.7f), u"12.7");
    EXPECT_EQ(scanner::FormatOneDecimal(-45.0), u"-45.0");
    EXPECT_EQ(scanner::FormatInteger(1500), u"1500");
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u"12.5"), 12.5);
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u" -12,5"), -12.5);
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u"7"), 7.0);
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u"3.5abc"), 3.5);
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(scanner::ParseDecimal(u""), 0.0);
}

}  // namespace
