// Lines of the stand-in driver's record: every call with its arguments and
// every sample it served, so tests can compare what a program did and
// published with what the "hardware" gave it. Tab-separated text, one event
// per line, the kind first; times are microseconds since 1970-01-01 UTC:
//
//   process  <pid>  <utc_us>  scenario=<file or "default">
//   scenario-error  <message>
//   channel  ai<N>  <description>
//   call     <utc_us>  <function>  <status>  <name>=<value> ...  [error=<text>]
//   start    <utc_us>  task=<id>  rate=<S/s>  buffer=<scans>
//   sample   <index>  <utc_us>  <value ai first> ... <value last channel>
//   read     <read number>  <utc_us>  empty | error <status>
//   callback <sample count>  <utc_us>  returned=<value>       (non-zero returns only)
//   overflow <first lost index>  <utc_us>  lost=<count>  buffer=<scans>
//   done     <utc_us>  <status>  samples=<count>
//   waiting  <utc_us>  <what>
//   summary  task=<id>  <key>=<value> ...
//   unload   <utc_us>  threads=<count>  stuck=<count>  [error=<text>]
//
// Text values are in double quotes with \\, \", \n, \r, \t and \xHH
// escapes; a null pointer is null, a non-null pointer or function is ptr.
// Sample values are printed with 17 significant digits, so they read back
// as exactly the doubles that were returned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace daqsim {

std::string QuoteText(std::string_view text);
// A C string argument: quoted text, or null.
std::string QuoteArgument(const char* text);
std::string FormatDouble(double value);

// Builds one "call" line.
class CallLine {
public:
    explicit CallLine(std::string_view function) : m_function(function) {}

    CallLine& Text(std::string_view name, const char* value);
    CallLine& Integer(std::string_view name, long long value);
    CallLine& Number(std::string_view name, double value);
    CallLine& Pointer(std::string_view name, const void* value);
    // A field whose value is already formatted.
    CallLine& Raw(std::string_view name, std::string_view value);

    std::string Finish(std::int32_t status, std::int64_t utcUs, std::string_view error = {}) const;

private:
    std::string m_function;
    std::string m_fields;
};

// "sample\t<index>\t<utc_us>\t<v>...\n" into `out` (appended); no allocation
// beyond the growth of `out`.
void AppendSampleLine(std::string& out, std::uint64_t index, std::int64_t utcUs,
                      const double* values, int count);

struct SampleRecord {
    std::uint64_t index = 0;
    std::int64_t utcUs = 0;
    std::vector<double> values;
};

// Reads a "sample" line back (with or without its line feed).
bool ParseSampleLine(std::string_view line, SampleRecord& sample);

// The fields of a tab-separated record line.
std::vector<std::string> SplitFields(std::string_view line);

}  // namespace daqsim
