// The two windows' layout arithmetic.
#include <gtest/gtest.h>

#include "sensors/control_ids.h"
#include "sensors/layout.h"

namespace {

bool Overlap(const PixelBox& a, const PixelBox& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

bool Inside(const PixelBox& box, int width, int height) {
    return box.x >= 0 && box.y >= 0 && box.x + box.width <= width && box.y + box.height <= height;
}

TEST(MainLayoutTest, RowsOfEnabledInputsInInputOrder) {
    const MainLayout l = ComputeMainLayout({true, false, true, true});
    EXPECT_EQ(l.rows[0].indicator, (PixelBox{4, 10, 140, 35}));
    EXPECT_EQ(l.rows[0].counter, (PixelBox{146, 10, 105, 35}));
    EXPECT_EQ(l.rows[0].voltage, (PixelBox{253, 10, 70, 35}));
    EXPECT_EQ(l.rows[0].value, (PixelBox{325, 10, 70, 35}));
    EXPECT_FALSE(l.rows[1].shown);
    EXPECT_TRUE(l.rows[2].shown);
    EXPECT_EQ(l.rows[2].indicator.y, 47);
    EXPECT_EQ(l.rows[3].value.y, 84);
    EXPECT_EQ(l.snapshot, (PixelBox{4, 121, 140, 35}));
    EXPECT_EQ(l.distance, (PixelBox{181, 121, 87, 35}));
    EXPECT_EQ(l.speed, (PixelBox{290, 121, 70, 35}));
}

TEST(MainLayoutTest, HeightFollowsTheShownRowsAndSettingsSitsLowerRight) {
    const MainLayout four = ComputeMainLayout({true, true, true, true});
    const MainLayout none = ComputeMainLayout({false, false, false, false});
    EXPECT_EQ(four.clientHeight - none.clientHeight, 4 * 37);
    EXPECT_EQ(none.snapshot.y, 10);
    for (const MainLayout& l : {four, none}) {
        EXPECT_EQ(l.settings.width, 32);
        EXPECT_EQ(l.settings.height, 32);
        EXPECT_GT(l.settings.x + 32, l.clientWidth - 8);
        EXPECT_GT(l.settings.y + 32, l.clientHeight - 8);
        EXPECT_TRUE(Inside(l.settings, l.clientWidth, l.clientHeight));
        EXPECT_FALSE(Overlap(l.settings, l.speed));
        EXPECT_FALSE(Overlap(l.snapshot, l.distance));
        EXPECT_TRUE(Inside(l.speed, l.clientWidth, l.clientHeight));
    }
}

TEST(SettingsLayoutTest, EveryControlPlacedWithoutOverlap) {
    for (const SettingsMetrics& m :
         {SettingsMetrics{19, 4}, SettingsMetrics{23, 8}, SettingsMetrics{0, 0}}) {
        const SettingsLayout l = ComputeSettingsLayout(m);
        std::vector<int> expected = {IDC_CALIBRATION_BUTTON,
                                     IDC_CALIBRATION_LABEL,
                                     IDC_SLOPE_UNIT_BUTTON,
                                     IDC_SLOPE_UNIT_LABEL,
                                     IDC_FILES_BUTTON,
                                     IDC_FILES_LABEL,
                                     IDC_ESTIMATE_BUTTON,
                                     IDC_ESTIMATE_LABEL,
                                     IDC_COMPENSATION_BUTTON,
                                     IDC_COMPENSATION_LABEL,
                                     IDC_RECOVERY_BUTTON,
                                     IDC_RECOVERY_LABEL,
                                     IDC_SENSORS_GROUP,
                                     IDC_SENSITIVITY_GROUP,
                                     IDC_PURPOSE_GROUP,
                                     1,
                                     2};
        for (int i = 0; i < kInputCount; ++i) {
            expected.push_back(control_ids::kSensitivity[static_cast<size_t>(i)]);
            expected.push_back(control_ids::kEnabled[static_cast<size_t>(i)]);
            expected.push_back(control_ids::kPurpose[static_cast<size_t>(i)]);
            expected.push_back(control_ids::SensorType(i));
        }
        EXPECT_EQ(l.controls.size(), expected.size());
        for (int id : expected) {
            const PixelBox b = l.Box(id);
            EXPECT_GT(b.width, 0) << id;
            EXPECT_TRUE(Inside(b, l.clientWidth, l.clientHeight)) << id;
        }
        const std::vector<int> groups = {IDC_SENSORS_GROUP, IDC_SENSITIVITY_GROUP,
                                         IDC_PURPOSE_GROUP};
        for (size_t a = 0; a < l.controls.size(); ++a) {
            for (size_t b = a + 1; b < l.controls.size(); ++b) {
                const PlacedControl& x = l.controls[a];
                const PlacedControl& y = l.controls[b];
                const bool grouped = std::count(groups.begin(), groups.end(), x.id) ||
                                     std::count(groups.begin(), groups.end(), y.id);
                if (!grouped) {
                    EXPECT_FALSE(Overlap(x.box, y.box)) << x.id << " and " << y.id;
                }
            }
        }
        // Rows grow with the system's caption height.
        EXPECT_GE(l.Box(IDC_SENSITIVITY_0).height, std::max(m.captionHeight, 12));
    }
    EXPECT_EQ(ComputeSettingsLayout({}).Box(12345), PixelBox{});
}

}  // namespace
