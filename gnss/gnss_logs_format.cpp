#include "gnss/gnss_logs_format.h"

#include "gnss/text_format.h"
#include "platform/text_codec.h"

using gnss_format::BufferWriter;
using gnss_format::Two;
using platform::CivilTime;

namespace {

std::string Yymmdd(const CivilTime& t) {
    return Two(t.year % 100) + Two(t.month) + Two(t.day);
}

// "yy-mm-dd hh:mm:ss".
std::string DashedStamp(const CivilTime& t) {
    return Two(t.year % 100) + "-" + Two(t.month) + "-" + Two(t.day) + " " + Two(t.hour) + ":" +
           Two(t.minute) + ":" + Two(t.second);
}

}  // namespace

std::string DayLogFileName(const CivilTime& localDate) {
    return "gps" + Yymmdd(localDate) + ".log";
}

std::string RunLogFileName(const CivilTime& utc) {
    return Yymmdd(utc) + Two(utc.hour) + Two(utc.minute) + Two(utc.second) + "gps.log";
}

std::optional<std::string> RunLogPath(std::string_view folder, const CivilTime& utc) {
    std::string path(folder);
    if (path.empty() || (path.back() != '\\' && path.back() != '/'))
        path += '\\';
    path += RunLogFileName(utc);
    if (path.size() > kMaxRunLogPath)
        return std::nullopt;
    return path;
}

size_t FormatFixLogLine(std::string_view sentence, double stepDistance, std::string_view dateStamp,
                        char* out, size_t size) {
    BufferWriter w(out, size);
    w.Text(sentence);
    w.Char(',');
    w.Fixed(stepDistance, 2);
    w.Char(',');
    w.Text(dateStamp);
    const size_t body = w.Length();
    unsigned x = 0;
    for (size_t i = 0; i < body; ++i)
        x ^= static_cast<unsigned char>(out[i]);
    w.Char(',');
    w.Int(x);
    w.Char('\n');
    const size_t n = w.Finish();
    // A cut line would carry a wrong XOR: write nothing rather than that.
    return w.Overflowed() ? 0 : n;
}

std::string FormatFixLogLine(std::string_view sentence, double stepDistance,
                             std::string_view dateStamp) {
    char buffer[kFixLineBuffer];
    return std::string(buffer,
                       FormatFixLogLine(sentence, stepDistance, dateStamp, buffer, sizeof buffer));
}

std::string FormatDataGapLine(const CivilTime& utc) {
    return DashedStamp(utc) + platform::Utf8ToCp1251(" UTC Нет данных > 30c, путь обнулен\n");
}

std::string FormatReceiverEventLine(const CivilTime& utc, std::string_view message) {
    return DashedStamp(utc) + " UTC " + platform::Utf8ToCp1251(message) + "\n";
}

std::string FormatClockChangedLine(const CivilTime& utcBefore, std::string_view message) {
    return DashedStamp(utcBefore) + "  " + platform::Utf8ToCp1251(message) + "\n";
}

std::string FormatClockAgreedLine(const CivilTime& utc, std::string_view message) {
    return Yymmdd(utc) + " " + platform::Utf8ToCp1251(message) + "\n";
}
