#include "gnss/nmea_parser.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "gnss/motion.h"
#include "gnss/nmea_framer.h"

namespace {

constexpr std::string_view kTagGpGga = "$GPGGA";
constexpr std::string_view kTagGnGga = "$GNGGA";
constexpr std::string_view kTagGpRmc = "$GPRMC";
constexpr std::string_view kTagGnRmc = "$GNRMC";
constexpr std::string_view kTagGpGsa = "$GPGSA";
constexpr std::string_view kTagGnGsa = "$GNGSA";

constexpr int kGgaCommas = 14;
constexpr int kRmcDateField = 9;
constexpr int kGsaFirstSlot = 3, kGsaLastSlot = 14;
constexpr int kMinSatellites = 4;
constexpr double kMinLongitude = 0.1;  // degrees; smaller longitudes are not fixes
constexpr double kNoPosition = 1e-6;   // a coordinate field this close to 0 is empty
// ddmm.mmmm / dddmm.mmmm never reach this; larger numbers are line damage.
constexpr double kMaxCoordinateField = 100000.0;
// hhmmss.ss never reaches this.
constexpr double kMaxTimeField = 1000000.0;

// Text of field `index` (0 is the tag), ending at ',' or '*' or the end.
// Nothing after the '*' is a field (a sentence glued behind the checksum).
std::string_view Field(std::string_view sentence, int index) {
    sentence = sentence.substr(0, sentence.find('*'));
    size_t pos = 0;
    for (int i = 0; i < index; ++i) {
        pos = sentence.find(',', pos);
        if (pos == std::string_view::npos)
            return {};
        ++pos;
    }
    const size_t end = sentence.find(',', pos);
    return sentence.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

// The field's leading decimal number, as atof reads it (0 when there is
// none), but never depending on the process locale and never infinite or NaN.
double Decimal(std::string_view field) {
    while (!field.empty() && (field.front() == ' ' || field.front() == '+'))
        field.remove_prefix(1);
    // from_chars would also take "inf" and "nan"; NMEA numbers are plain digits.
    if (field.empty() || !(field.front() == '-' || field.front() == '.' ||
                           (field.front() >= '0' && field.front() <= '9')))
        return 0.0;
    double value = 0.0;
    const auto r =
        std::from_chars(field.data(), field.data() + field.size(), value, std::chars_format::fixed);
    if (r.ec != std::errc{} || !std::isfinite(value))
        return 0.0;
    return value;
}

// The field's leading integer, as atoi reads it, saturating instead of overflowing.
int64_t Integer(std::string_view field) {
    while (!field.empty() && field.front() == ' ')
        field.remove_prefix(1);
    bool negative = false;
    if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    int64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            break;
        if (value < std::numeric_limits<int32_t>::max())
            value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    return negative ? -value : value;
}

// ddmm.mmmm (or dddmm.mmmm) to degrees; false when the field holds no position.
bool Coordinate(std::string_view field, double& degrees) {
    const double v = Decimal(field);
    if (std::fabs(v) <= kNoPosition || std::fabs(v) >= kMaxCoordinateField)
        return false;
    const double d = std::trunc(v / 100.0);
    degrees = d + (v / 100.0 - d) * 100.0 / 60.0;
    return true;
}

char HexDigit(unsigned v) {
    return static_cast<char>(v < 10 ? '0' + v : 'A' + (v - 10));
}

}  // namespace

ClassifiedLine ClassifyLine(std::string_view line, bool gnGga) {
    struct Tag {
        std::string_view text;
        SentenceKind kind;
        bool gnOption;  // looked for only with the GN-talker option
    };
    static constexpr Tag kTags[] = {
        {kTagGpGga, SentenceKind::Gga, false}, {kTagGnGga, SentenceKind::Gga, true},
        {kTagGpRmc, SentenceKind::Rmc, false}, {kTagGnRmc, SentenceKind::Rmc, false},
        {kTagGpGsa, SentenceKind::Gsa, false}, {kTagGnGsa, SentenceKind::Gsa, false}};
    for (const Tag& tag : kTags) {
        if (tag.gnOption && !gnGga)
            continue;
        const size_t pos = line.find(tag.text);
        if (pos != std::string_view::npos)
            return {tag.kind, line.substr(pos, NmeaFramer::kMaxSentence)};
    }
    return {};
}

int CommaCount(std::string_view sentence) {
    int commas = 0;
    for (char c : sentence) {
        if (c == '*')
            break;
        if (c == ',')
            ++commas;
    }
    return commas;
}

uint8_t NmeaChecksum(std::string_view sentence) {
    if (!sentence.empty() && sentence.front() == '$')
        sentence.remove_prefix(1);
    uint8_t x = 0;
    for (char c : sentence) {
        if (c == '*')
            break;
        x ^= static_cast<uint8_t>(c);
    }
    return x;
}

std::string_view ChecksumPassed(std::string_view sentence) {
    const size_t star = sentence.find('*');
    if (star == std::string_view::npos || sentence.size() - star - 1 < 2)
        return {};
    const uint8_t x = NmeaChecksum(sentence);
    // Uppercase only, as "%02X" prints it.
    if (sentence[star + 1] != HexDigit(x >> 4) || sentence[star + 2] != HexDigit(x & 0xF))
        return {};
    return sentence.substr(0, star + 3);
}

int32_t ParseGga(std::string_view sentence, GnssState& state) {
    const double time = Decimal(Field(sentence, 1));
    state.fixTime = (time >= 0.0 && time < kMaxTimeField) ? time : 0.0;
    double latitude = 0.0;
    if (!Coordinate(Field(sentence, 2), latitude))
        return -1;
    state.latitude = latitude;
    double longitude = 0.0;
    if (!Coordinate(Field(sentence, 4), longitude))
        return -1;
    state.longitude = longitude;
    state.satellites = static_cast<int32_t>(Integer(Field(sentence, 7)));
    state.stepDistance = 0;
    state.deltaLat = 0;
    state.deltaLon = 0;
    state.speed = 0;
    return 1;
}

bool ParseRmcDate(std::string_view sentence, GnssState& state) {
    if (CommaCount(sentence) < kRmcDateField)
        return false;
    std::string_view field = Field(sentence, kRmcDateField);
    // ddmmyy: digits only; a sign or junk is no date.
    int64_t v = 0;
    for (char c : field) {
        if (c < '0' || c > '9' || v > 9999999)
            break;
        v = v * 10 + (c - '0');
    }
    state.rmcDay = static_cast<uint16_t>(v / 10000 % 10000);
    state.rmcMonth = static_cast<uint16_t>((v % 10000) / 100);
    state.rmcYear = static_cast<uint16_t>(v % 100 + 2000);
    return true;
}

int32_t CountGsaSatellites(std::string_view sentence) {
    int32_t used = 0;
    for (int i = kGsaFirstSlot; i <= kGsaLastSlot; ++i) {
        if (Integer(Field(sentence, i)) > 0)
            ++used;
    }
    return used;
}

bool GgaShapeValid(std::string_view sentence) {
    return CommaCount(sentence) == kGgaCommas && !ChecksumPassed(sentence).empty();
}

LineResult ProcessLine(std::string_view line, GnssState& state) {
    const ClassifiedLine c = ClassifyLine(line, state.gnTalkerGga);
    LineResult result;
    result.kind = c.kind;
    switch (c.kind) {
        case SentenceKind::None:
            break;
        case SentenceKind::Gga: {
            if (CommaCount(c.sentence) == kGgaCommas) {
                const std::string_view checked = ChecksumPassed(c.sentence);
                if (!checked.empty() && state.gnTalkerGga &&
                    Decimal(Field(checked, 1)) == state.acceptedFixTime) {
                    // The epoch's fix is taken already, from the other talker.
                } else if (!checked.empty()) {
                    const int32_t position = ParseGga(checked, state);
                    if (position < 0 || state.satellites < kMinSatellites ||
                        state.longitude < kMinLongitude) {
                        state.prevFixTime = state.fixTime;
                    } else {
                        UpdateMotion(state);
                        state.acceptedFixTime = state.fixTime;
                        result.accepted = true;
                        result.logLine = checked;
                    }
                }
            }
            if (state.ggaCount < kGgaCountLimit)
                ++state.ggaCount;
            break;
        }
        case SentenceKind::Rmc: {
            const std::string_view checked = ChecksumPassed(c.sentence);
            if (!checked.empty())
                result.accepted = ParseRmcDate(checked, state);
            break;
        }
        case SentenceKind::Gsa:
            state.usedSatellites = CountGsaSatellites(c.sentence);
            result.accepted = true;
            break;
    }
    return result;
}

bool ProbeLine(std::string_view line, GnssState& state) {
    size_t pos = line.find(kTagGpGga);
    if (pos == std::string_view::npos && state.gnTalkerGga)
        pos = line.find(kTagGnGga);
    if (pos == std::string_view::npos)
        return false;
    const std::string_view sentence = line.substr(pos, NmeaFramer::kMaxSentence);
    if (!GgaShapeValid(sentence))
        return false;
    if (ParseGga(sentence, state) != 1)
        return false;
    state.prevLatitude = state.latitude;
    return true;
}
