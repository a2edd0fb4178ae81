#include "sim/nicaiu-stub/daq_record.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace daqsim {

std::string QuoteText(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

std::string QuoteArgument(const char* text) {
    return text ? QuoteText(text) : std::string("null");
}

std::string FormatDouble(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

CallLine& CallLine::Raw(std::string_view name, std::string_view value) {
    m_fields += '\t';
    m_fields += name;
    m_fields += '=';
    m_fields += value;
    return *this;
}

CallLine& CallLine::Text(std::string_view name, const char* value) {
    return Raw(name, QuoteArgument(value));
}

CallLine& CallLine::Integer(std::string_view name, long long value) {
    return Raw(name, std::to_string(value));
}

CallLine& CallLine::Number(std::string_view name, double value) {
    return Raw(name, FormatDouble(value));
}

CallLine& CallLine::Pointer(std::string_view name, const void* value) {
    return Raw(name, value ? "ptr" : "null");
}

std::string CallLine::Finish(std::int32_t status, std::int64_t utcUs,
                             std::string_view error) const {
    std::string line = "call\t" + std::to_string(utcUs) + "\t" + m_function + "\t" +
                       std::to_string(status) + m_fields;
    if (!error.empty())
        line += "\terror=" + QuoteText(error);
    line += '\n';
    return line;
}

void AppendSampleLine(std::string& out, std::uint64_t index, std::int64_t utcUs,
                      const double* values, int count) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "sample\t%" PRIu64 "\t%" PRId64, index, utcUs);
    out.append(buffer, static_cast<size_t>(n));
    for (int i = 0; i < count; ++i) {
        n = std::snprintf(buffer, sizeof buffer, "\t%.17g", values[i]);
        out.append(buffer, static_cast<size_t>(n));
    }
    out += '\n';
}

std::vector<std::string> SplitFields(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

bool ParseSampleLine(std::string_view line, SampleRecord& sample) {
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() < 3 || fields[0] != "sample")
        return false;
    char* end = nullptr;
    errno = 0;
    sample.index = std::strtoull(fields[1].c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    sample.utcUs = std::strtoll(fields[2].c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    sample.values.clear();
    for (size_t i = 3; i < fields.size(); ++i) {
        const double v = std::strtod(fields[i].c_str(), &end);
        if (*end != '\0' || fields[i].empty())
            return false;
        sample.values.push_back(v);
    }
    return true;
}

}  // namespace daqsim
