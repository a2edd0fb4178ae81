// The window of the GNSS service as pure logic: which texts and colours its
// controls show after each one-second tick, given the receiver state and the
// clock. The Win32 dialog applies the updates to its button controls.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gnss/clock_check.h"
#include "gnss/gnss_state.h"
#include "platform/clock.h"

// Button face colours (COLORREF, 0x00BBGGRR).
using Colour = uint32_t;
constexpr Colour kRed = 0x0000FF;         // fault or out of range
constexpr Colour kGreen = 0x00FF00;       // good (port, satellites)
constexpr Colour kYellow = 0x00FFFF;      // stale or waiting
constexpr Colour kLightBlue = 0xFFAA88;   // normal
constexpr Colour kNoColour = 0xFFFFFFFF;  // control keeps the system face

// Control ids of the window.
enum ControlId : int {
    kIdTripLabel = 1000,
    kIdPortList = 1001,
    kIdTripReset = 1002,
    kIdTrip = 1003,
    kIdSatellites = 1004,
    kIdPortIndicator = 1005,
    kIdTotalLabel = 1006,
    kIdStartTime = 1007,
    kIdRunTime = 1008,
    kIdSpeed = 1009,
    kIdTotal = 1010,
    kIdAcceleration = 1012,
    kIdStartLabel = 1014,
    kIdRunLabel = 1015,
    kIdInfo = 1017,
    kIdUtcLabel = 1019,
    kIdLocalLabel = 1020,
    kIdUtcTime = 1021,
    kIdLocalTime = 1022,
    kIdDateLabel = 1023,
    kIdDate = 1025,
};

struct ControlLayout {
    int id;
    const char* caption;      // UTF-8, may be empty
    int x, y, width, height;  // pixels, client coordinates
    Colour colour;            // initial face colour
    const char* tooltip;      // UTF-8, nullptr for none
};
// The 21 controls in layout order. Client area 171 x 210 at screen (300, 300).
const std::array<ControlLayout, 21>& ControlTable();
constexpr int kClientWidth = 171, kClientHeight = 210;
constexpr int kWindowX = 300, kWindowY = 300;
// Tooltip of a control (UTF-8) or nullptr; the information field's tooltip
// is the current information message, not from the table.
const char* TooltipFor(int id);

// Font of every control.
constexpr int kFontHeight = -12, kFontWeight = 600, kFontCharset = 204;
constexpr const char* kFontFace = "MS SansSerif";

struct FieldUpdate {
    int id = 0;
    std::optional<std::string> text;  // UTF-8
    std::optional<Colour> colour;
};

struct DisplayUpdate {
    std::vector<FieldUpdate> fields;         // in the order to apply
    std::optional<std::string> infoMessage;  // UTF-8: new information message (tooltip of 1017)
    std::vector<std::string> eventLogLines;  // Windows-1251 lines for the event log
    ClockCheckResult clock;                  // what the clock check of this tick did
};

class DisplayModel {
public:
    // Start values: reads the local time and the zone bias from `clock`,
    // starts the run-time counter and sets state.dateStamp to the local
    // date (connecting replaces it with the UTC date). The clock must
    // outlive the model.
    DisplayModel(platform::Clock& clock, GnssState& state);

    // Field 1007 at start: the local start time "hh:mm:ss".
    FieldUpdate StartTimeField() const;

    // Timer 103: display step and clock check. Does nothing while valid is 0.
    // Also renews state.dateStamp from the system UTC date once GNSS time
    // has passed midnight, so fix lines carry the date of the fix.
    DisplayUpdate Tick(GnssState& state);

    // Button 1002: the trip is reset.
    FieldUpdate ResetTrip(GnssState& state);

    const std::string& InfoMessage() const { return m_infoMessage; }
    uint64_t RunSeconds() const;

private:
    void SetInfo(DisplayUpdate& update, const char* message);

    platform::Clock& m_clock;
    uint64_t m_runStartTick;  // ms, monotonic; the run-time counter's base
    uint64_t m_startLocal;    // local start time as 100-ns since 1601
    int32_t m_biasMinutes;
    uint64_t m_lastFresh = 0;  // run seconds of the last displayed fix
    int m_lastGnssHour = -1;   // GNSS hour seen by the previous tick
    bool m_renewDate = false;  // GNSS time passed midnight; the stamp waits for the system date
    std::string m_infoMessage;
};

// "Спут %d+%d" / "Спут %d" and its colour.
FieldUpdate SatellitesField(const GnssState& state);

// Keeps a window being dragged inside the primary screen. Coordinates are
// the proposed rectangle; width/height the window's size at start.
struct WindowRect {
    int left, top, right, bottom;
};
WindowRect KeepOnScreen(WindowRect proposed, int width, int height, int screenWidth,
                        int screenHeight);
