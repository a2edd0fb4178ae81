#include "gnss/display_model.h"

#include <cmath>

#include "gnss/gnss_logs_format.h"
#include "gnss/gnss_texts.h"
#include "gnss/text_format.h"

using gnss_format::Fixed;
using gnss_format::Hms;
using platform::CivilTime;

namespace {

constexpr const char* kTipTrip = "Путь с момента последнего обнуления";
constexpr const char* kTipTotal = "Полный путь с момента включения программы";
constexpr const char* kTipStart = "Местное время начала работы программы";
constexpr const char* kTipRun = "Время работы программы";
constexpr const char* kTipUtc = "Время по спутникам";
constexpr const char* kTipDate = "Системная дата";

constexpr std::array<ControlLayout, 21> kControls = {{
    {kIdPortIndicator, gnss_text::kPortCaption, 0, 0, 70, 20, kRed,
     "Порт получения ГНСС-информации"},
    {kIdPortList, "", 0, 0, 70, 120, kNoColour, nullptr},
    {kIdSatellites, "Спут 0", 71, 0, 100, 20, kRed, "Рабочее количество спутников GPS+GLONASS"},
    {kIdTripLabel, "Путь", 0, 21, 70, 20, kLightBlue, kTipTrip},
    {kIdTrip, "", 71, 21, 80, 20, kLightBlue, kTipTrip},
    {kIdTripReset, "0", 150, 21, 19, 20, kNoColour, "Нажмите для обнуления текущего пути"},
    {kIdTotalLabel, "Весь путь", 0, 42, 70, 20, kLightBlue, kTipTotal},
    {kIdTotal, "", 71, 42, 100, 20, kLightBlue, kTipTotal},
    {kIdSpeed, "", 0, 63, 70, 20, kLightBlue, "Определенная по ГНСС скорость движения"},
    {kIdAcceleration, "", 71, 63, 100, 20, kLightBlue, "Определенное по ГНСС ускорение движения"},
    {kIdStartLabel, "Начало", 0, 84, 70, 20, kLightBlue, kTipStart},
    {kIdStartTime, "", 71, 84, 100, 20, kLightBlue, kTipStart},
    {kIdRunLabel, "Работа", 0, 105, 70, 20, kLightBlue, kTipRun},
    {kIdRunTime, "", 71, 105, 100, 20, kLightBlue, kTipRun},
    {kIdUtcLabel, "UTC", 0, 126, 70, 20, kLightBlue, kTipUtc},
    {kIdUtcTime, "", 71, 126, 100, 20, kLightBlue, kTipUtc},
    {kIdLocalLabel, "Местное", 0, 147, 70, 20, kLightBlue, nullptr},
    {kIdLocalTime, "", 71, 147, 100, 20, kLightBlue, nullptr},
    {kIdDateLabel, "Дата", 0, 168, 70, 20, kLightBlue, kTipDate},
    {kIdDate, "", 71, 168, 100, 20, kYellow, kTipDate},
    {kIdInfo, "Информация", 0, 189, 171, 20, kYellow, nullptr},
}};

constexpr uint64_t kTicksPerSecond = 10'000'000;  // FILETIME units
constexpr int64_t kStaleAfterS = 2;
constexpr int64_t kGapAfterS = 30;
constexpr double kSpeedLimit = 30.0;        // m/s
constexpr double kAccelerationLimit = 2.0;  // m/s^2
constexpr int32_t kMinSatellites = 4;

FieldUpdate Text(int id, std::string text) {
    return FieldUpdate{id, std::move(text), std::nullopt};
}
FieldUpdate Paint(int id, Colour colour) {
    return FieldUpdate{id, std::nullopt, colour};
}
FieldUpdate Both(int id, std::string text, Colour colour) {
    return FieldUpdate{id, std::move(text), colour};
}

}  // namespace

const std::array<ControlLayout, 21>& ControlTable() {
    return kControls;
}

const char* TooltipFor(int id) {
    for (const ControlLayout& c : kControls) {
        if (c.id == id)
            return c.tooltip;
    }
    return nullptr;
}

FieldUpdate SatellitesField(const GnssState& s) {
    std::string text;
    if (s.usedSatellites >= 1 && s.satellites >= s.usedSatellites) {
        text = "Спут " + std::to_string(s.usedSatellites) + "+" +
               std::to_string(s.satellites - s.usedSatellites);
    } else {
        text = "Спут " + std::to_string(s.satellites);
    }
    return Both(kIdSatellites, std::move(text), s.satellites < kMinSatellites ? kRed : kGreen);
}

DisplayModel::DisplayModel(platform::Clock& clock, GnssState& state)
    : m_clock(clock),
      m_runStartTick(clock.TickMs()),
      m_startLocal(platform::CivilToFileTime(clock.LocalNow())),
      m_biasMinutes(clock.TimeZoneBiasMinutes()) {
    FormatDateStamp(state.dateStamp, platform::FileTimeToCivil(m_startLocal));
}

FieldUpdate DisplayModel::StartTimeField() const {
    const CivilTime t = platform::FileTimeToCivil(m_startLocal);
    return Text(kIdStartTime, Hms(t.hour, t.minute, t.second));
}

uint64_t DisplayModel::RunSeconds() const {
    return (m_clock.TickMs() - m_runStartTick) / 1000;
}

void DisplayModel::SetInfo(DisplayUpdate& update, const char* message) {
    m_infoMessage = message;
    update.infoMessage = m_infoMessage;
}

FieldUpdate DisplayModel::ResetTrip(GnssState& s) {
    s.tripDistance = 0;
    return Text(kIdTrip, gnss_text::kZeroTrip);
}

DisplayUpdate DisplayModel::Tick(GnssState& s) {
    DisplayUpdate u;
    if (s.valid == 0)
        return u;

    // 1. Run time.
    const int64_t r = static_cast<int64_t>(RunSeconds());
    u.fields.push_back(
        Text(kIdRunTime, Hms(static_cast<int>(r / 3600), static_cast<int>(r % 3600 / 60),
                             static_cast<int>(r % 60))));

    // 2-4. GNSS time in UTC and in local time.
    const CivilTime utc = m_clock.UtcNow();
    UpdateClockOffset(s, utc);
    const int second = static_cast<int>(std::trunc(s.gnssSecond));
    u.fields.push_back(Text(kIdUtcTime, Hms(s.gnssHour, s.gnssMinute, second)));
    // The full bias (also zones with half hours), wrapped into the day.
    int localMinutes = (s.gnssHour * 60 + s.gnssMinute - m_biasMinutes) % (24 * 60);
    if (localMinutes < 0)
        localMinutes += 24 * 60;
    u.fields.push_back(Text(kIdLocalTime, Hms(localMinutes / 60, localMinutes % 60, second)));

    // The date stamp of fix lines follows UTC midnight: GNSS hours going
    // down mean a new day. The stamp is taken from the system date once that
    // has turned too (its clock may lag GNSS by a few seconds).
    if (m_lastGnssHour >= 0 && s.gnssHour < m_lastGnssHour)
        m_renewDate = true;
    m_lastGnssHour = s.gnssHour;
    if (m_renewDate && utc.hour < 12) {
        FormatDateStamp(s.dateStamp, utc);
        m_renewDate = false;
    }

    // 5. Synchronisation.
    if (std::abs(s.clockOffset) > kDisplayedOffsetLimitS) {
        u.fields.push_back(Paint(kIdUtcLabel, kRed));
        u.fields.push_back(Paint(kIdUtcTime, kRed));
        SetInfo(u, gnss_text::kOffsetLost);
        u.fields.push_back(Paint(kIdInfo, kYellow));
    } else {
        u.fields.push_back(Paint(kIdUtcTime, kLightBlue));
        u.fields.push_back(Paint(kIdUtcLabel, kLightBlue));
        SetInfo(u, gnss_text::kSyncChecked);
        u.fields.push_back(Paint(kIdInfo, kLightBlue));
        u.fields.push_back(Paint(kIdDate, kLightBlue));
    }

    // 6. Satellites.
    u.fields.push_back(SatellitesField(s));

    // 7. Motion values, or their staleness.
    if (s.freshFix > 0) {
        m_lastFresh = static_cast<uint64_t>(r);
        u.fields.push_back(Both(kIdTrip, Fixed(s.tripDistance, 1) + " м", kLightBlue));
        u.fields.push_back(Both(kIdTotal, Fixed(s.totalDistance, 0) + " м", kLightBlue));
        u.fields.push_back(Both(kIdSpeed, Fixed(s.speed * 3.6, 0) + " км/ч",
                                s.speed > kSpeedLimit ? kRed : kLightBlue));
        const double a = s.acceleration;
        u.fields.push_back(
            Both(kIdAcceleration, Fixed(std::fabs(a), 1) + " м/с2",
                 (a > kAccelerationLimit || a < -kAccelerationLimit) ? kRed : kLightBlue));
        s.freshFix = 0;
    } else if (r - static_cast<int64_t>(m_lastFresh) > kStaleAfterS) {
        for (int id : {kIdTrip, kIdAcceleration, kIdSpeed, kIdTotal})
            u.fields.push_back(Paint(id, kYellow));
    }

    // 8. A long gap resets the trip, every 30 s while it lasts.
    if (r - static_cast<int64_t>(m_lastFresh) > kGapAfterS) {
        m_lastFresh = static_cast<uint64_t>(r);
        SetInfo(u, gnss_text::kDataGap);
        u.eventLogLines.push_back(FormatDataGapLine(m_clock.UtcNow()));
        s.tripDistance = 0;
        u.fields.push_back(Text(kIdTrip, gnss_text::kZeroTrip));
    }

    // 9. Clock check.
    u.clock = RunClockCheck(s, m_clock, utc);
    if (u.clock.action == ClockCheckAction::ClockSet) {
        SetInfo(u, u.clock.message.c_str());
        u.eventLogLines.push_back(u.clock.eventLogLine);
        m_startLocal = static_cast<uint64_t>(static_cast<int64_t>(m_startLocal) +
                                             int64_t{u.clock.startShiftS} *
                                                 static_cast<int64_t>(kTicksPerSecond));
        u.fields.push_back(StartTimeField());
        // The run time starts again from 0; freshness is measured from there too.
        m_runStartTick = m_clock.TickMs();
        m_lastFresh = 0;
        u.fields.push_back(Text(kIdDate, u.clock.dateText));
    } else if (u.clock.action == ClockCheckAction::Agreed) {
        SetInfo(u, u.clock.message.c_str());
        u.eventLogLines.push_back(u.clock.eventLogLine);
        for (int id : {kIdUtcLabel, kIdUtcTime, kIdDate})
            u.fields.push_back(Paint(id, kLightBlue));
    }
    return u;
}

WindowRect KeepOnScreen(WindowRect p, int width, int height, int screenWidth, int screenHeight) {
    if (p.left < 0) {
        p.left = 0;
        p.right = width;
    }
    if (p.top < 0) {
        p.top = 0;
        p.bottom = height;
    }
    if (p.right > screenWidth) {
        p.right = screenWidth;
        p.left = screenWidth - width;
    }
    if (p.bottom > screenHeight) {
        p.bottom = screenHeight;
        p.top = screenHeight - height;
    }
    return p;
}
