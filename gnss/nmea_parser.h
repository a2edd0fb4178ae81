// Checks and parses the three sentences the service uses: GGA (talker GP,
// and GN where the installation says so), RMC and GSA (talkers GP and GN).
// Every other line is skipped.
#pragma once

#include <cstdint>
#include <string_view>

#include "gnss/gnss_state.h"

enum class SentenceKind { None, Gga, Rmc, Gsa };

struct ClassifiedLine {
    SentenceKind kind = SentenceKind::None;
    std::string_view sentence;  // from the tag to the end of the line, at most 599 characters
};

// Classifies a line by the first of "$GPGGA", "$GPRMC", "$GNRMC", "$GPGSA",
// "$GNGSA" (tested in this order) that it contains; text before the tag is
// line noise and is skipped. With `gnGga`, "$GNGGA" is a GGA too (tested
// right after "$GPGGA").
ClassifiedLine ClassifyLine(std::string_view line, bool gnGga = false);

// Commas up to the first '*' (or the end).
int CommaCount(std::string_view sentence);

// The checksum test: XOR of the characters between '$' and the first '*'
// must equal the two uppercase hex digits after the '*'. On success returns
// the sentence cut right after those two digits; otherwise an empty view.
std::string_view ChecksumPassed(std::string_view sentence);

// XOR of the characters after the leading '$' up to the first '*'.
uint8_t NmeaChecksum(std::string_view sentence);

// GGA fields 1, 2, 4 and 7 into the state. Returns 1 when a position was
// taken, -1 when the sentence carries none (fixTime is stored either way).
int32_t ParseGga(std::string_view sentence, GnssState& state);
// RMC date (field 9, ddmmyy) into rmcDay/rmcMonth/rmcYear. False when the
// sentence has fewer than 9 commas.
bool ParseRmcDate(std::string_view sentence, GnssState& state);
// GSA: number of satellite slots 3..14 holding a number > 0.
int32_t CountGsaSatellites(std::string_view sentence);

// What one line did to the state.
struct LineResult {
    SentenceKind kind = SentenceKind::None;
    bool accepted = false;     // GGA: a fix went to motion; RMC/GSA: the values were taken
    std::string_view logLine;  // GGA accepted: the checked sentence for the fix logs
};

// The reader's processing of one line: checks, parsing, UpdateMotion for a
// usable fix, and the GGA line count. The caller logs `logLine` when set.
// With state.gnTalkerGga, GGA of both talkers are taken, and a GGA that
// repeats the time of the fix just taken (the same epoch from the other
// talker, as mixed streams send it) is not taken twice.
LineResult ProcessLine(std::string_view line, GnssState& state);

// The port probe's test of one line: a "$GPGGA" sentence (or "$GNGGA" with
// state.gnTalkerGga) with 14 commas, a valid checksum and a position. On
// success prevLatitude = latitude.
bool ProbeLine(std::string_view line, GnssState& state);

// The GGA test without side effects on motion: 14 commas and a valid checksum.
bool GgaShapeValid(std::string_view sentence);
