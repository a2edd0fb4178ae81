// A scripted stand-in for the MySQL client library ("libmysql.dll") for the
// Wine tests and the demo. It talks to no server: what it answers comes from
// a script file named by the environment variable SURVEY_FAKE_MYSQL, read
// anew by every mysql_init, one "key=value" per line (UTF-8):
//
//   connect=ok|refuse     refuse: connects fail with 2003 (default when the
//                         variable or the file is missing)
//   version=<text>        `ver` of the `versions` row; without this key the
//                         version query returns no row
//   download=<text>       `download` of that row (NULL without this key)
//   fail=<prefix>         statements starting with <prefix> fail with 1064
//                         (the key may repeat)
//   log=<path>            every connect, statement and transaction call is
//                         appended to this file, one line each
//
// "SELECT ... FROM `versions` ..." returns the row; every other statement
// succeeds with no result set. Handles and results are looked up in tables,
// so calls on closed, freed or foreign pointers do nothing harmful.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned int kErrConnectionFailed = 2003;
constexpr unsigned int kErrServerGone = 2006;
constexpr unsigned int kErrCommandsOutOfSync = 2014;
constexpr unsigned int kErrSyntax = 1064;

struct Script {
    bool connect = false;
    std::optional<std::string> version;
    std::optional<std::string> download;
    std::vector<std::string> failPrefixes;
    std::wstring logPath;
};

struct Result {
    std::vector<std::optional<std::string>> row;  // one row at most
    bool hasRow = false;
    bool fetched = false;
    std::vector<char*> values;
    std::vector<unsigned long> lengths;
};

struct Connection {
    bool owned = false;  // allocated by mysql_init(NULL)
    bool connected = false;
    unsigned int error = 0;
    std::string errorText;
    std::string host;
    std::string hostInfo;
    Script script;
    std::unique_ptr<Result> pending;  // the result of the last query, not yet taken
};

struct State {
    CRITICAL_SECTION lock;
    std::map<void*, std::unique_ptr<Connection>> connections;
    std::map<void*, std::unique_ptr<Result>> results;
    State() { ::InitializeCriticalSection(&lock); }
};

State& Global() {
    static State state;
    return state;
}

class Guard {
public:
    Guard() { ::EnterCriticalSection(&Global().lock); }
    ~Guard() { ::LeaveCriticalSection(&Global().lock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              n);
    return out;
}

Script ReadScript() {
    Script script;
    wchar_t path[1024] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SURVEY_FAKE_MYSQL", path, 1024);
    if (n == 0 || n >= 1024)
        return script;
    FILE* f = ::_wfopen(path, L"rb");
    if (!f)
        return script;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, f)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "connect")
            script.connect = value == "ok";
        else if (key == "version")
            script.version = value;
        else if (key == "download")
            script.download = value;
        else if (key == "fail" && !value.empty())
            script.failPrefixes.push_back(value);
        else if (key == "log")
            script.logPath = Widen(value);
    }
    std::fclose(f);
    return script;
}

void Log(const Connection& c, const std::string& text) {
    if (c.script.logPath.empty())
        return;
    std::string line;
    line.reserve(text.size() + 1);
    for (char ch : text) {  // one line per entry, whatever the statement holds
        if (ch == '\n')
            line += "\\n";
        else if (ch == '\r')
            line += "\\r";
        else
            line += ch;
    }
    line += '\n';
    if (FILE* f = ::_wfopen(c.script.logPath.c_str(), L"ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

Connection* Find(void* handle) {
    auto& all = Global().connections;
    auto it = all.find(handle);
    return it == all.end() ? nullptr : it->second.get();
}

Result* FindResult(void* result) {
    auto& all = Global().results;
    auto it = all.find(result);
    return it == all.end() ? nullptr : it->second.get();
}

void SetError(Connection& c, unsigned int error, const std::string& text) {
    c.error = error;
    c.errorText = text;
}

std::string Upper(const std::string& s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    return out;
}

bool IsVersionQuery(const std::string& statement) {
    std::string s = Upper(statement);
    const size_t start = s.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || s.compare(start, 6, "SELECT") != 0)
        return false;
    const size_t from = s.find("FROM");
    return from != std::string::npos && s.find("VERSIONS", from) != std::string::npos;
}

int RunStatement(void* handle, const char* text, size_t length) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c)
        return 1;
    if (!text) {
        SetError(*c, kErrSyntax, "Query was empty");
        return 1;
    }
    const std::string statement(text, length);
    Log(*c, statement);
    if (!c->connected) {
        SetError(*c, kErrServerGone, "MySQL server has gone away");
        return 1;
    }
    if (c->pending) {
        // A result set left unread puts the real client out of step as well.
        SetError(*c, kErrCommandsOutOfSync, "Commands out of sync; you can't run this command now");
        return 1;
    }
    for (const std::string& prefix : c->script.failPrefixes) {
        if (statement.compare(0, prefix.size(), prefix) == 0) {
            SetError(*c, kErrSyntax, "You have an error in your SQL syntax near '" + prefix + "'");
            return 1;
        }
    }
    SetError(*c, 0, "");
    if (IsVersionQuery(statement)) {
        auto result = std::make_unique<Result>();
        if (c->script.version) {
            result->hasRow = true;
            result->row = {c->script.version, c->script.download};
        }
        c->pending = std::move(result);
    }
    return 0;
}

void* TakeResult(void* handle) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c || !c->pending)
        return nullptr;
    std::unique_ptr<Result> result = std::move(c->pending);
    void* key = result.get();
    Global().results[key] = std::move(result);
    return key;
}

// my_bool results: 0 on success.
char TransactionCall(void* handle, const std::string& what) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c)
        return 1;
    Log(*c, "-- " + what);
    if (!c->connected) {
        SetError(*c, kErrServerGone, "MySQL server has gone away");
        return 1;
    }
    return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) void* mysql_init(void* existing) {
    Guard guard;
    auto c = std::make_unique<Connection>();
    c->script = ReadScript();
    void* key = existing;
    if (Connection* earlier = Find(key))
        c->owned = earlier->owned;  // initialised again: still ours to free
    if (!key) {
        key = new char[1];  // an identity of its own; never dereferenced by callers
        c->owned = true;
    }
    Global().connections[key] = std::move(c);
    return key;
}

__declspec(dllexport) void* mysql_real_connect(void* handle, const char* host, const char* user,
                                               const char* password, const char* schema,
                                               unsigned int port, const char* socket,
                                               unsigned long flags) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c)
        return nullptr;
    c->host = host ? host : "localhost";
    Log(*c, "-- connect " + c->host + ":" + std::to_string(port) + " " + (user ? user : "") + "@" +
                (schema ? schema : "") + " flags=" + std::to_string(flags));
    if (!c->script.connect) {
        c->connected = false;
        SetError(*c, kErrConnectionFailed,
                 "Can't connect to MySQL server on '" + c->host + "' (10061)");
        return nullptr;
    }
    c->connected = true;
    SetError(*c, 0, "");
    return handle;
}

__declspec(dllexport) int mysql_set_character_set(void* handle, const char* charset) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c || !c->connected)
        return 1;
    Log(*c, std::string("-- charset ") + (charset ? charset : ""));
    return 0;
}

__declspec(dllexport) int mysql_query(void* handle, const char* statement) {
    return RunStatement(handle, statement, statement ? std::strlen(statement) : 0);
}

__declspec(dllexport) int mysql_real_query(void* handle, const char* statement,
                                           unsigned long length) {
    return RunStatement(handle, statement, length);
}

__declspec(dllexport) void* mysql_use_result(void* handle) {
    return TakeResult(handle);
}

__declspec(dllexport) void* mysql_store_result(void* handle) {
    return TakeResult(handle);
}

__declspec(dllexport) char** mysql_fetch_row(void* result) {
    Guard guard;
    Result* r = FindResult(result);
    if (!r || !r->hasRow || r->fetched)
        return nullptr;
    r->fetched = true;
    r->values.clear();
    r->lengths.clear();
    for (auto& field : r->row) {
        r->values.push_back(field ? field->data() : nullptr);
        r->lengths.push_back(field ? static_cast<unsigned long>(field->size()) : 0);
    }
    return r->values.data();
}

__declspec(dllexport) unsigned long* mysql_fetch_lengths(void* result) {
    Guard guard;
    Result* r = FindResult(result);
    if (!r || r->lengths.empty())
        return nullptr;
    return r->lengths.data();
}

__declspec(dllexport) unsigned int mysql_num_fields(void* result) {
    Guard guard;
    Result* r = FindResult(result);
    return r ? 2u : 0u;  // the only result set is (`ver`, `download`)
}

__declspec(dllexport) void mysql_free_result(void* result) {
    Guard guard;
    Global().results.erase(result);
}

__declspec(dllexport) int mysql_next_result(void* handle) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c || !c->connected)
        return 1;
    return -1;  // every statement gives one result at most
}

__declspec(dllexport) unsigned int mysql_errno(void* handle) {
    Guard guard;
    Connection* c = Find(handle);
    return c ? c->error : kErrServerGone;
}

__declspec(dllexport) const char* mysql_error(void* handle) {
    Guard guard;
    Connection* c = Find(handle);
    // The text stays valid until the next call on the same handle.
    return c ? c->errorText.c_str() : "MySQL server has gone away";
}

__declspec(dllexport) unsigned long mysql_real_escape_string(void* handle, char* to,
                                                             const char* from,
                                                             unsigned long length) {
    if (!to)
        return 0;
    unsigned long n = 0;
    for (unsigned long i = 0; from && i < length; ++i) {
        const char ch = from[i];
        char escaped = 0;
        switch (ch) {
            case '\0':
                escaped = '0';
                break;
            case '\n':
                escaped = 'n';
                break;
            case '\r':
                escaped = 'r';
                break;
            case '\\':
                escaped = '\\';
                break;
            case '\'':
                escaped = '\'';
                break;
            case '"':
                escaped = '"';
                break;
            case '\032':
                escaped = 'Z';
                break;
            default:
                break;
        }
        if (escaped) {
            to[n++] = '\\';
            to[n++] = escaped;
        } else {
            to[n++] = ch;
        }
    }
    to[n] = '\0';  // the caller provides 2 * length + 1 bytes
    return n;
}

__declspec(dllexport) char mysql_autocommit(void* handle, char on) {
    return TransactionCall(handle, on ? "autocommit 1" : "autocommit 0");
}

__declspec(dllexport) char mysql_commit(void* handle) {
    return TransactionCall(handle, "commit");
}

__declspec(dllexport) char mysql_rollback(void* handle) {
    return TransactionCall(handle, "rollback");
}

__declspec(dllexport) int mysql_set_server_option(void* handle, int option) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c || !c->connected)
        return 1;
    Log(*c, "-- server option " + std::to_string(option));
    return 0;
}

__declspec(dllexport) const char* mysql_get_host_info(void* handle) {
    Guard guard;
    Connection* c = Find(handle);
    if (!c || !c->connected)
        return nullptr;
    c->hostInfo = c->host + " via TCP/IP";
    return c->hostInfo.c_str();  // valid until the handle is closed
}

__declspec(dllexport) void mysql_close(void* handle) {
    Guard guard;
    auto& all = Global().connections;
    auto it = all.find(handle);
    if (it == all.end())
        return;
    Log(*it->second, "-- close");
    const bool owned = it->second->owned;
    all.erase(it);
    if (owned)
        delete[] static_cast<char*>(handle);
}

}  // extern "C"
