// The SOPAS ASCII command language of the SICK LMS100-family scanners, as
// this service speaks it (CoLa A framing: STX, command text, ETX). Every
// telegram text, reply mark, buffer size and time limit of the protocol is
// named here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sopas {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';

// TCP port the scanners listen on unless configured otherwise.
inline constexpr uint16_t kDefaultPort = 2111;

// --- Buffers (bytes or values) ----------------------------------------------
// The outgoing frame: STX, at most 993 command characters, ETX, terminator.
inline constexpr size_t kFrameBufferSize = 996;
inline constexpr size_t kMaxCommandLength = kFrameBufferSize - 3;
// Replies of the start sequence and status polls; at most 99 characters of
// such a reply are examined.
inline constexpr size_t kShortReplyBufferSize = 100;
// One scan telegram.
inline constexpr size_t kScanReplyBufferSize = 12000;
// Points per scan the service keeps: distances then remission values, so a
// scan buffer holds 2 x 1440 values.
inline constexpr int kMaxScanPoints = 1440;
inline constexpr size_t kScanValueCapacity = 2 * kMaxScanPoints;

// --- Time limits -------------------------------------------------------------
// A reply that has not been completed by its ETX ends after this much silence, ms.
inline constexpr int kReplySilenceMs = 100;
// A telegram longer than the reply buffer is read on towards its ETX (so
// that its tail does not answer the next command) for at most this many
// bytes in all: the buffer's worth and as much again.
inline constexpr size_t kMaxReplyBytes = 2 * kScanReplyBufferSize;
// Whatever the peer does (a byte now and then, never an ETX), a reply ends
// this long after its first wait began, ms.
inline constexpr int kReplyTotalMs = 1000;
// A command that cannot be handed to the socket within this time (the peer
// does not read) is given up, and with it the connection, ms.
inline constexpr int kSendTimeoutMs = 1000;

// --- Telegrams the service sends -------------------------------------------
// Log in as authorised client; the last field is the password hash.
inline constexpr const char* kSetAccessMode = "sMN SetAccessMode 03 5C0B19E2";
// Output configuration 1: channel 1, remission at 16 bits, no encoder.
inline constexpr const char* kScanDataConfig1 = "sWN LMDscandatacfg 01 00 1 1 0 00 00 0 0 0 0 1";
// Output configuration 2, for scanners that refuse the first one (the runs of
// blanks are part of the telegram): remission at 8 bits, one encoder.
inline constexpr const char* kScanDataConfig2 = "sWN LMDscandatacfg 0   0 1 0 0  1  0 0 0 0 0 +1";
inline constexpr const char* kRun = "sMN Run";
inline constexpr const char* kStartMeasurement = "sMN LMCstartmeas";
inline constexpr const char* kStopMeasurement = "sMN LMCstopmeas";
inline constexpr const char* kQueryStatus = "sRN STlms";
inline constexpr const char* kPollScan = "sRN LMDscandata";

// --- Reply marks ------------------------------------------------------------
// A configuration was accepted when its reply names the scan data.
inline constexpr const char* kScanDataName = "LMDscandata";
// Device state 7: measuring, scans can be polled.
inline constexpr const char* kStatusMeasuring = "sRA STlms 7";
inline constexpr int kStateMeasuring = 7;
inline constexpr const char* kReadAnswer = "sRA";
inline constexpr const char* kDistanceChannel = "DIST1";
inline constexpr const char* kRemissionChannel = "RSSI1";
// The first device-status word of a good scan.
inline constexpr const char* kStatusOk = "0";
// Bits of the second device-status word (hexadecimal) as an LMS1xx reports
// its state. A device error makes the scan's values unusable; a dirty front
// screen (a contamination warning or error) does not: the scanner still
// measures, and the operator is shown that the screen wants cleaning.
inline constexpr uint32_t kStatusError = 0x1;
inline constexpr uint32_t kStatusContaminationWarning = 0x2;
inline constexpr uint32_t kStatusContaminationError = 0x4;
inline constexpr uint32_t kStatusFailedBits = kStatusError;
inline constexpr uint32_t kStatusContaminationBits =
    kStatusContaminationWarning | kStatusContaminationError;

// --- Start-up --------------------------------------------------------------
// Status polls of the start sequence, and pause between polls, ms.
inline constexpr int kStartStatusPolls = 20;
inline constexpr int kPollPauseMs = 100;
// Status polls of the readiness wait after a successful start.
inline constexpr int kReadinessAttempts = 1000;

// Which output configuration the scanner accepted; it fixes where the
// fields of a scan reply stand.
enum class ScanLayout : int32_t {
    None = 0,    // neither configuration accepted
    First = 1,   // kScanDataConfig1
    Second = 2,  // kScanDataConfig2
};

// Builds the frame of `command` (STX, text, ETX, terminator) into `out`.
// Returns the frame's length without the terminator, or 0 (and an empty
// text) when the command does not fit in `capacity` bytes.
size_t FrameCommand(std::string_view command, char* out, size_t capacity);

// The text of a short reply as the start sequence examines it: up to its
// first NUL, at most kShortReplyBufferSize - 1 characters.
std::string_view ExaminedText(const char* reply, size_t length);

// True when `reply` contains `mark`.
bool ReplyContains(std::string_view reply, std::string_view mark);

// The device state of a status reply: its third blank-separated token (after
// the framed "sRA" and "STlms") read as a decimal number; 0 when the reply
// has fewer tokens or the token is not a number.
int DeviceState(std::string_view reply);

}  // namespace sopas
