// The reply to "sRN LMDscandata": header checks, the distance block and the
// remission block, for both output layouts.
//
// The reply is split at blanks (runs of blanks give no empty tokens); token 0
// carries the STX before "sRA". Numbers are unsigned hexadecimal and stored as
// the scanner sent them (scale factors are not applied). For a scan of n
// points the distances go to values[0..n-1] and the remission values to
// values[n..2n-1].
//
// Where the fields stand:
//   token 5 must be "0" (first device-status word);
//   token 6 (second device-status word) must not carry the error bit (1); a
//   contamination warning (2) or error (4) still gives a good scan;
//   layout First:  "DIST1" at 20, scale 21, distance count D at 25;
//   layout Second: "DIST1" at 22, scale 23, distance count D at 27;
//   then D distances; counting the tokens after them from 1:
//   layout First:  1 "RSSI1", 2 scale, 6 remission count R;
//   layout Second: 1 number of 8-bit channels, 2 "RSSI1", 3 scale, 7 R;
//   then R remission values.
// A reply whose block after the distances is not "RSSI1" (remission off) is a
// scan without points: success with count 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scanner/sopas_protocol.h"

namespace sopas {

// Why a reply was not taken as a scan (for tests and diagnostics).
enum class ScanReplyError {
    None,
    NotAnAnswer,      // token 0 is not "<STX>sRA..."
    NotScanData,      // token 1 is not "LMDscandata"
    DeviceStatus,     // token 5 is not "0", or token 6 reports an error
    NoDistanceBlock,  // "DIST1" not where the layout puts it
    TooManyPoints,    // more points than the buffer holds
    CountMismatch,    // remission count differs from the distance count
    Truncated,        // the reply ends before its header or inside a value block
    NoLayout,         // no output configuration was accepted
};

struct ScanReplyResult {
    bool ok = false;
    int32_t count = 0;  // remission points R; 0 without a remission block
    ScanReplyError error = ScanReplyError::None;
};

// Parses `reply` into `values` (room for `capacity` values; at most
// min(kMaxScanPoints, capacity / 2) points are accepted). Never writes past
// `capacity`. A reply announcing more points is refused whole.
ScanReplyResult ParseScanReply(std::string_view reply, ScanLayout layout, uint32_t* values,
                               size_t capacity);

// The second device-status word (token 6) of a scan reply; 0 when the
// reply has no such token.
uint32_t SecondStatusWord(std::string_view reply);

// Unsigned hexadecimal as the scanner writes it: digits up to the first
// other character (none: 0); values past 32 bits saturate.
uint32_t ParseHexField(std::string_view token);

}  // namespace sopas
