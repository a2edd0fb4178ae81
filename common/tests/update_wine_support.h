// Helpers of the Wine tests that talk to the test update server
// (sim/update-server): its folder, scenario file and request logs.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace update_wine {

// A Linux path as Wine's Z: drive sees it.
inline std::wstring ZPath(const std::string& unixPath) {
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

inline std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline std::wstring WorkFile(const char* name) {
    return ZPath(Env("SURVEY_UPDATE_DIR") + "/" + name);
}

inline std::string ReadFile(const std::wstring& path) {
    std::string text;
    if (FILE* f = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
            text.append(buffer, n);
        fclose(f);
    }
    return text;
}

inline void WriteFile(const std::wstring& path, const std::string& text) {
    if (FILE* f = _wfopen(path.c_str(), L"wb")) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The server's request log and the proxy's CONNECT log, one JSON line each.
inline std::vector<std::string> Requests() {
    return Lines(ReadFile(WorkFile("requests.log")));
}
inline std::vector<std::string> ProxyRequests() {
    return Lines(ReadFile(WorkFile("proxy.log")));
}
inline void ClearLogs() {
    WriteFile(WorkFile("requests.log"), "");
    WriteFile(WorkFile("proxy.log"), "");
}

inline std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// {"getverlist": {...}, "getdbcmd": {...}, "userip": ...} from pairs.
inline void WriteScenario(const std::vector<std::pair<std::string, std::string>>& verLists,
                          const std::vector<std::pair<std::string, std::string>>& dbCmds,
                          const std::string& userIp = "203.0.113.7") {
    std::string json = "{\"getverlist\": {";
    for (size_t i = 0; i < verLists.size(); ++i)
        json +=
            (i ? ", " : "") + JsonString(verLists[i].first) + ": " + JsonString(verLists[i].second);
    json += "}, \"getdbcmd\": {";
    for (size_t i = 0; i < dbCmds.size(); ++i)
        json += (i ? ", " : "") + JsonString(dbCmds[i].first) + ": " + JsonString(dbCmds[i].second);
    json += "}, \"userip\": " + JsonString(userIp) + "}";
    WriteFile(WorkFile("scenario.json"), json);
}

inline bool ServerAvailable() {
    return !Env("SURVEY_UPDATE_DIR").empty();
}

}  // namespace update_wine
