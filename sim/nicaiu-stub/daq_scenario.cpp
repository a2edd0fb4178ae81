#include "sim/nicaiu-stub/daq_scenario.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace daqsim {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Fraction(double x) {
    return x - std::floor(x);
}

// splitmix64: a fixed, seedable sequence, so a scenario plays the same noise every run.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// One directive line: its name, positional words and key=value options.
struct Directive {
    std::string name;
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
};

bool Tokenize(std::string_view line, std::vector<std::string>& tokens, std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string token;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    const char next = i + 1 < line.size() ? line[i + 1] : '\0';
                    if (line[i] == '\\' && (next == '"' || next == '\\' || next == 'n')) {
                        token += next == 'n' ? '\n' : next;
                        i += 2;
                    } else if (line[i] == '"') {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        token += line[i++];
                    }
                }
                if (!closed) {
                    error = "unterminated quotes";
                    return false;
                }
            } else {
                token += line[i++];
            }
        }
        tokens.push_back(token);
    }
    return true;
}

bool ToDouble(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

bool ToInt64(const std::string& text, long long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

class LineParser {
public:
    LineParser(Directive& d, std::vector<std::string>& errors, int lineNumber)
        : m_d(d), m_errors(errors), m_line(lineNumber) {}

    void Error(const std::string& what) {
        m_errors.push_back("line " + std::to_string(m_line) + ": " + what);
        m_failed = true;
    }
    bool Failed() const { return m_failed; }

    // Reads option `key` into `value` when present; false only on a malformed value.
    void Number(const char* key, double& value) {
        auto it = m_d.options.find(key);
        if (it == m_d.options.end())
            return;
        if (!ToDouble(it->second, value))
            Error(std::string("'") + key + "' is not a number: " + it->second);
        m_d.options.erase(it);
    }
    template <typename Int>
    void Integer(const char* key, Int& value, long long min, long long max) {
        auto it = m_d.options.find(key);
        if (it == m_d.options.end())
            return;
        long long v = 0;
        if (!ToInt64(it->second, v) || v < min || v > max)
            Error(std::string("'") + key + "' is not an integer in range: " + it->second);
        else
            value = static_cast<Int>(v);
        m_d.options.erase(it);
    }
    void Text(const char* key, std::string& value) {
        auto it = m_d.options.find(key);
        if (it == m_d.options.end())
            return;
        value = it->second;
        m_d.options.erase(it);
    }
    bool Has(const char* key) const { return m_d.options.count(key) != 0; }
    void Require(const char* key) {
        if (!Has(key))
            Error(std::string("'") + m_d.name + "' needs " + key + "=");
    }
    // Every option left over was not understood.
    void Finish() {
        for (const auto& [key, value] : m_d.options)
            Error("unknown option '" + key + "' of '" + m_d.name + "'");
    }

private:
    Directive& m_d;
    std::vector<std::string>& m_errors;
    int m_line;
    bool m_failed = false;
};

bool KindFromName(const std::string& name, WaveKind& kind) {
    static const std::map<std::string, WaveKind> kinds = {{"constant", WaveKind::Constant},
                                                          {"square", WaveKind::Square},
                                                          {"sine", WaveKind::Sine},
                                                          {"triangle", WaveKind::Triangle}};
    auto it = kinds.find(name);
    if (it == kinds.end())
        return false;
    kind = it->second;
    return true;
}

// A role gives the waveform and levels a sensor of that kind has; explicit
// options then refine it.
ChannelSpec ForRole(const std::string& role) {
    ChannelSpec c;
    c.role = role;
    if (role == "odometer") {
        c.kind = WaveKind::Square;
        c.low = 0.0;
        c.high = 5.0;
        c.speedKmh = 36.0;
        c.pathMm = 100.0;
    } else if (role == "inclinometer") {
        c.volts = 2.5;  // zero slope at the default 2500 mV
    } else if (role == "laser") {
        c.volts = 3.0;
    } else if (role == "supply") {
        c.volts = 12.0;
    }
    return c;
}

void ParseChannel(Directive& d, LineParser& p, Scenario& s) {
    if (d.words.size() != 1) {
        p.Error("'channel' needs one input name, ai0 to ai7");
        d.options.clear();
        return;
    }
    const std::string& input = d.words[0];
    long long index = -1;
    if (input.size() < 3 || input.compare(0, 2, "ai") != 0 || !ToInt64(input.substr(2), index) ||
        index < 0 || index >= kMaxChannels) {
        p.Error("unknown input '" + input + "' (ai0 to ai7)");
        d.options.clear();
        return;
    }
    std::string role;
    p.Text("role", role);
    ChannelSpec c = ForRole(role);
    std::string kind;
    p.Text("kind", kind);
    if (!kind.empty() && !KindFromName(kind, c.kind))
        p.Error("unknown kind '" + kind + "' (constant, square, sine, triangle)");
    if (role.empty() && kind.empty())
        p.Error("'channel' needs role= or kind=");
    p.Number("volts", c.volts);
    p.Number("amplitude", c.amplitude);
    p.Number("period_s", c.periodS);
    p.Number("low", c.low);
    p.Number("high", c.high);
    p.Number("frequency_hz", c.frequencyHz);
    p.Number("speed_kmh", c.speedKmh);
    p.Number("path_mm", c.pathMm);
    p.Number("duty", c.duty);
    p.Number("phase", c.phase);
    p.Number("noise", c.noise);
    if (c.periodS <= 0.0)
        p.Error("period_s must be positive");
    if (c.pathMm <= 0.0)
        p.Error("path_mm must be positive");
    if (c.duty <= 0.0 || c.duty >= 1.0)
        p.Error("duty must lie between 0 and 1");
    if (c.frequencyHz < 0.0 || c.speedKmh < 0.0 || c.noise < 0.0)
        p.Error("frequency_hz, speed_kmh and noise cannot be negative");
    if (!p.Failed())
        s.channels[static_cast<size_t>(index)] = c;
}

void ParseDirective(Directive& d, LineParser& p, Scenario& s) {
    const long long kMaxCount = 0xFFFFFFFFll;
    const long long kMinStatus = -2147483647ll - 1;
    if (d.name == "channel") {
        ParseChannel(d, p, s);
    } else if (d.name == "device") {
        p.Require("name");
        p.Text("name", s.device);
    } else if (d.name == "seed") {
        p.Require("value");
        p.Integer("value", s.seed, 0, kMaxCount);
    } else if (d.name == "buffer") {
        p.Require("scans");
        p.Integer("scans", s.bufferScans, 1, 10'000'000);
    } else if (d.name == "record") {
        p.Require("path");
        p.Text("path", s.recordPath);
    } else if (d.name == "read_error") {
        ReadError e;
        p.Require("read");
        p.Integer("read", e.read, 1, 1ll << 62);
        p.Integer("count", e.count, 1, kMaxCount);
        p.Integer("status", e.status, kMinStatus, -1);
        p.Text("text", e.text);
        if (!p.Failed())
            s.readErrors.push_back(e);
    } else if (d.name == "empty_read") {
        EmptyRead e;
        p.Require("read");
        p.Integer("read", e.read, 1, 1ll << 62);
        p.Integer("count", e.count, 1, kMaxCount);
        if (!p.Failed())
            s.emptyReads.push_back(e);
    } else if (d.name == "fail") {
        CallFailure f;
        p.Require("call");
        p.Text("call", f.function);
        p.Integer("occurrence", f.occurrence, 1, kMaxCount);
        p.Integer("status", f.status, kMinStatus, -1);
        p.Text("text", f.text);
        if (f.function.rfind("DAQmx", 0) != 0)
            p.Error("'fail' names a DAQmx function: " + f.function);
        if (!p.Failed())
            s.failures.push_back(f);
    } else if (d.name == "done") {
        DoneEvent e;
        p.Require("after_samples");
        p.Integer("after_samples", e.afterSamples, 1, 1ll << 62);
        p.Integer("status", e.status, kMinStatus, 0x7FFFFFFF);
        p.Text("text", e.text);
        if (!p.Failed())
            s.done = e;
    } else if (d.name == "unplug") {
        Unplug u;
        p.Require("read");
        p.Integer("read", u.read, 1, 1ll << 62);
        p.Number("gone_s", u.goneS);
        p.Integer("status", u.status, kMinStatus, -1);
        p.Text("text", u.text);
        if (!(u.goneS >= 0.0 && u.goneS <= 3600.0))
            p.Error("'gone_s' is not within 0..3600 s");
        if (!p.Failed())
            s.unplug = u;
    } else {
        p.Error("unknown directive '" + d.name + "'");
        d.options.clear();
    }
    p.Finish();
}

}  // namespace

Scenario Scenario::Default() {
    Scenario s;
    s.channels[0] = ForRole("odometer");
    s.channels[1] = ForRole("inclinometer");
    s.channels[2] = ForRole("laser");
    s.channels[3] = ForRole("supply");
    return s;
}

const ReadError* Scenario::ReadErrorAt(std::uint64_t read) const {
    for (const ReadError& e : readErrors)
        if (read >= e.read && read - e.read < e.count)
            return &e;
    return nullptr;
}

bool Scenario::EmptyReadAt(std::uint64_t read) const {
    for (const EmptyRead& e : emptyReads)
        if (read >= e.read && read - e.read < e.count)
            return true;
    return false;
}

const CallFailure* Scenario::FailureOf(std::string_view function, std::uint32_t occurrence) const {
    for (const CallFailure& f : failures)
        if (f.function == function && f.occurrence == occurrence)
            return &f;
    return nullptr;
}

ParseResult ParseScenario(std::string_view text) {
    ParseResult result;
    result.scenario = Scenario::Default();
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        ++lineNumber;
        start = end + 1;
        std::vector<std::string> tokens;
        std::string error;
        if (!Tokenize(line, tokens, error)) {
            result.errors.push_back("line " + std::to_string(lineNumber) + ": " + error);
            continue;
        }
        if (tokens.empty())
            continue;
        Directive d;
        d.name = tokens[0];
        LineParser p(d, result.errors, lineNumber);
        for (size_t i = 1; i < tokens.size(); ++i) {
            const size_t eq = tokens[i].find('=');
            if (eq == std::string::npos)
                d.words.push_back(tokens[i]);
            else
                d.options[tokens[i].substr(0, eq)] = tokens[i].substr(eq + 1);
        }
        if (d.name != "channel" && !d.words.empty())
            p.Error("unexpected word '" + d.words[0] + "' (options are key=value)");
        ParseDirective(d, p, result.scenario);
        if (end == text.size())
            break;
    }
    return result;
}

double PulseFrequencyHz(const ChannelSpec& c) {
    if (c.kind != WaveKind::Square)
        return 0.0;
    if (c.frequencyHz > 0.0)
        return c.frequencyHz;
    const double metresPerSecond = c.speedKmh / 3.6;
    return metresPerSecond / (c.pathMm / 1000.0);
}

bool SquareHigh(const ChannelSpec& c, std::uint64_t index, double rate) {
    if (c.kind != WaveKind::Square || rate <= 0.0)
        return false;
    const double f = PulseFrequencyHz(c);
    if (f <= 0.0)
        return Fraction(c.phase) < c.duty;  // standing still: the wave holds its level
    const double cycles = static_cast<double>(index) * f / rate + c.phase;
    return Fraction(cycles) < c.duty;
}

double SampleValue(const ChannelSpec& c, int input, std::uint64_t index, double rate,
                   std::uint32_t seed) {
    const double t = rate > 0.0 ? static_cast<double>(index) / rate : 0.0;
    double v = c.volts;
    switch (c.kind) {
        case WaveKind::Constant:
            break;
        case WaveKind::Square:
            v = SquareHigh(c, index, rate) ? c.high : c.low;
            break;
        case WaveKind::Sine:
            v = c.volts + c.amplitude * std::sin(2.0 * kPi * (t / c.periodS + c.phase));
            break;
        case WaveKind::Triangle: {
            const double x = Fraction(t / c.periodS + c.phase);
            v = c.volts + c.amplitude * (1.0 - 4.0 * std::fabs(x - 0.5));
            break;
        }
    }
    if (c.noise > 0.0) {
        const std::uint64_t key = (static_cast<std::uint64_t>(seed) << 32) ^
                                  (static_cast<std::uint64_t>(static_cast<unsigned>(input)) << 56) ^
                                  index;
        const double unit = static_cast<double>(Mix(key) >> 11) / 9007199254740992.0;  // [0,1)
        v += (unit * 2.0 - 1.0) * c.noise;
    }
    return v;
}

const char* WaveKindName(WaveKind kind) {
    switch (kind) {
        case WaveKind::Constant:
            return "constant";
        case WaveKind::Square:
            return "square";
        case WaveKind::Sine:
            return "sine";
        case WaveKind::Triangle:
            return "triangle";
    }
    return "?";
}

std::uint64_t InputBufferScans(double rate, std::uint64_t samplesPerChannel, bool finite) {
    if (finite)
        return samplesPerChannel;
    const std::uint64_t byRate = rate <= 100.0      ? 1'000
                                 : rate <= 10'000.0 ? 10'000
                                 : rate <= 1e6      ? 100'000
                                                    : 1'000'000;
    return std::max(samplesPerChannel, byRate);
}

std::string DescribeChannel(const ChannelSpec& c) {
    char buffer[320];
    switch (c.kind) {
        case WaveKind::Square:
            std::snprintf(buffer, sizeof buffer,
                          "kind=square low=%.17g high=%.17g frequency_hz=%.17g duty=%.17g "
                          "phase=%.17g noise=%.17g",
                          c.low, c.high, PulseFrequencyHz(c), c.duty, c.phase, c.noise);
            break;
        case WaveKind::Sine:
        case WaveKind::Triangle:
            std::snprintf(buffer, sizeof buffer,
                          "kind=%s volts=%.17g amplitude=%.17g period_s=%.17g phase=%.17g "
                          "noise=%.17g",
                          WaveKindName(c.kind), c.volts, c.amplitude, c.periodS, c.phase, c.noise);
            break;
        case WaveKind::Constant:
        default:
            std::snprintf(buffer, sizeof buffer, "kind=constant volts=%.17g noise=%.17g", c.volts,
                          c.noise);
            break;
    }
    std::string out = buffer;
    if (!c.role.empty())
        out = "role=" + c.role + " " + out;
    return out;
}

}  // namespace daqsim
