// Test doubles of the update flow: an in-process update server speaking the
// getverlist/getdbcmd/writelog forms, a hasher, a scripted database and a
// system that records what the flow asked of it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/base64.h"
#include "common/sha1.h"
#include "common/update_core.h"

namespace update_test {

// Form body into its pairs.
inline std::map<std::string, std::string> ParseForm(std::string_view body) {
    std::map<std::string, std::string> form;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t amp = body.find('&', pos);
        if (amp == std::string_view::npos)
            amp = body.size();
        const std::string_view pair = body.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos)
            form[std::string(pair.substr(0, eq))] = std::string(pair.substr(eq + 1));
        pos = amp + 1;
    }
    return form;
}

inline std::string Base64Encode(std::string_view bytes) {
    static constexpr char kA[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v =
            (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += {kA[v >> 18], kA[(v >> 12) & 63], kA[(v >> 6) & 63], kA[v & 63]};
    }
    if (bytes.size() - i == 1) {
        const uint32_t v = uint8_t(bytes[i]) << 16;
        out += {kA[v >> 18], kA[(v >> 12) & 63], '=', '='};
    } else if (bytes.size() - i == 2) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += {kA[v >> 18], kA[(v >> 12) & 63], kA[(v >> 6) & 63], '='};
    }
    return out;
}

struct ServerCommand {
    std::string action = "db";
    int64_t flags = 2;
    std::string sql;  // sent base64-encoded
};

// How the server's JSON writer sends the base64 texts: as they are, or the
// way PHP's json_encode writes every "/" of a string ("\/"; "len" still
// counts the base64 text itself).
enum class JsonSlashes { Plain, Escaped };

// A getdbcmd reply as the server writes it.
inline std::string CommandSetReply(const std::vector<ServerCommand>& commands,
                                   JsonSlashes slashes = JsonSlashes::Plain) {
    std::string reply = "{\"cnt\":" + std::to_string(commands.size()) + ",\"items\":[";
    int order = 1;
    for (const ServerCommand& c : commands) {
        const std::string b64 = Base64Encode(c.sql);
        std::string sent;
        for (char ch : b64) {
            if (ch == '/' && slashes == JsonSlashes::Escaped)
                sent += '\\';
            sent += ch;
        }
        if (order > 1)
            reply += ",";
        reply += "{\"order\":" + std::to_string(order++) + ",\"action\":\"" + c.action +
                 "\",\"flags\":" + std::to_string(c.flags) +
                 ",\"len\":" + std::to_string(b64.size()) + ",\"cmd\":\"" + sent + "\"}";
    }
    return reply + "]}";
}

inline std::string VersionListReply(const std::vector<update::VersionEntry>& entries) {
    std::string reply = "{\"cnt\":" + std::to_string(entries.size()) + ",\"list\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i)
            reply += ",";
        reply += "{\"build\":" + std::to_string(entries[i].build) +
                 ",\"cmdcnt\":" + std::to_string(entries[i].commandCount) + "}";
    }
    return reply + "]}";
}

class FakeUpdateServer : public update::Transport {
public:
    // Replies by form: getverlist per appid, getdbcmd per database version.
    std::map<int, std::string> verListReplies;  // appid -> reply
    std::map<int, std::string> dbCmdReplies;    // ver -> reply
    std::set<std::string> failingCommands;      // cmd values answered with an error status
    bool reachable = true;
    std::string publicAddress = "203.0.113.7";

    std::vector<std::map<std::string, std::string>> requests;
    std::vector<std::map<std::string, std::string>> writeLogs;
    int userIpRequests = 0;

    bool Post(std::u16string_view path, std::string_view body, std::string& reply) override {
        reply.clear();
        if (!reachable)
            return false;
        if (path != update::kScriptPath)
            return false;
        auto form = ParseForm(body);
        requests.push_back(form);
        const std::string cmd = form["cmd"];
        if (failingCommands.count(cmd))
            return false;
        if (cmd == "getverlist") {
            auto it = verListReplies.find(std::stoi(form["appid"]));
            reply = it == verListReplies.end() ? "{\"cnt\":0}" : it->second;
        } else if (cmd == "getdbcmd") {
            auto it = dbCmdReplies.find(std::stoi(form["ver"]));
            reply = it == dbCmdReplies.end() ? "" : it->second;
        } else if (cmd == "writelog") {
            writeLogs.push_back(form);
            reply = "ok";
        }
        return true;
    }

    bool GetPublicAddress(std::string& address) override {
        ++userIpRequests;
        if (!reachable)
            return false;
        address = publicAddress;
        return !address.empty();
    }

    int Count(const std::string& cmd) const {
        int n = 0;
        for (const auto& r : requests)
            n += r.count("cmd") && r.at("cmd") == cmd;
        return n;
    }
};

class PortableHasher : public update::Hasher {
public:
    bool fail = false;
    std::optional<std::string> Sha1Hex(std::string_view text) override {
        if (fail)
            return std::nullopt;
        return Sha1HexText(text);
    }
};

class FakeSystem : public update::System {
public:
    bool folderWritable = true;
    bool updaterPresent = true;
    bool startSucceeds = true;
    uint32_t startError = 2;
    std::string localAddress = "127.0.0.1";

    std::vector<std::u16string> probes;
    std::vector<std::pair<std::u16string, std::u16string>> started;
    int progressBegun = 0, progressEnded = 0;

    uint32_t SecureRandom() override { return 0xBEEF12u; }
    bool CreateAndDeleteFile(const std::u16string& path) override {
        probes.push_back(path);
        return folderWritable;
    }
    bool FileReadable(const std::u16string&) override { return updaterPresent; }
    std::string LocalAddressTo(uint16_t) override { return localAddress; }
    bool StartProcess(const std::u16string& exe, const std::u16string& cmd,
                      uint32_t& error) override {
        started.emplace_back(exe, cmd);
        error = startSucceeds ? 0 : startError;
        return startSucceeds;
    }
    void BeginProgress() override { ++progressBegun; }
    void EndProgress() override { ++progressEnded; }
};

}  // namespace update_test
