// The text record of the current fix that the service publishes in
// "MyGPSFileMappingObject" for the client library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "gnss/gnss_state.h"

constexpr size_t kGpsRecordMappingSize = 1024;

// Written after the receiver is lost.
constexpr std::string_view kReceiverLostRecord = "0\n";

// "%d %.12f %.12f %.12f %.12f %.12f %.12f %.3f %d" of valid, latitude,
// longitude, stepDistance, deltaLat, deltaLon, speed, fixTime, satellites.
// Always '.' as decimal point, whatever the process locale. Writes at most
// size-1 characters and a NUL; returns the length (0 when size is 0).
size_t FormatGpsRecord(const GnssState& state, char* out, size_t size);
std::string FormatGpsRecord(const GnssState& state);

// "0 0.0 0.0 0.0 0.0 0.0 0.0 %.3f 0": published when the operator chooses
// another port.
std::string FormatPortChangeRecord(double fixTime);
