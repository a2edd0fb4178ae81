// A stand-in MySQL client library for the Windows tests, built as
// "libmariadb.dll" beside the loader test: it exports the C client functions
// the programs load by name, keeps no server, and records every call.
//
// Statements that begin with "LOSE" fail with error 2013 (lost connection)
// and make the next `standin_failing_connects` connects fail; statements
// that begin with "BAD" fail with error 1064. Everything else succeeds.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Handle {
    int id = 0;
    bool connected = false;
    unsigned int error = 0;
    std::string errorText;
    std::string hostInfo;
};

std::mutex g_lock;
std::vector<std::string> g_calls;
int g_nextId = 1;
int g_failingConnects = 0;
int g_failAfterLoss = 0;

void Record(const Handle* h, const std::string& what) {
    g_calls.push_back(std::to_string(h ? h->id : 0) + " " + what);
}

void SetError(Handle* h, unsigned int error, const char* text) {
    h->error = error;
    h->errorText = text;
}

}  // namespace

extern "C" {

__declspec(dllexport) void* mysql_init(void* existing) {
    std::lock_guard<std::mutex> guard(g_lock);
    Handle* h = existing ? static_cast<Handle*>(existing) : new Handle;
    h->id = g_nextId++;
    Record(h, "init");
    return h;
}

__declspec(dllexport) void* mysql_real_connect(void* handle, const char* host, const char* user,
                                               const char* password, const char* schema,
                                               unsigned int port, const char* socket,
                                               unsigned long flags) {
    std::lock_guard<std::mutex> guard(g_lock);
    Handle* h = static_cast<Handle*>(handle);
    Record(h, "connect " + std::string(host) + ":" + std::to_string(port) + " " + user + "/" +
                  password + " " + schema + " socket=" + (socket ? socket : "null") +
                  " flags=" + std::to_string(flags));
    if (g_failingConnects > 0) {
        --g_failingConnects;
        SetError(h, 2003, "Can't connect to MySQL server (10061)");
        return nullptr;
    }
    SetError(h, 0, "");
    h->connected = true;
    h->hostInfo = std::string(host) + " via TCP/IP";
    return h;
}

__declspec(dllexport) int mysql_set_character_set(void* handle, const char* charset) {
    std::lock_guard<std::mutex> guard(g_lock);
    Record(static_cast<Handle*>(handle), std::string("charset ") + charset);
    return 0;
}

__declspec(dllexport) int mysql_real_query(void* handle, const char* statement,
                                           unsigned long length) {
    std::lock_guard<std::mutex> guard(g_lock);
    Handle* h = static_cast<Handle*>(handle);
    const std::string text(statement, length);
    Record(h, "query " + text);
    if (!h->connected) {
        SetError(h, 2006, "MySQL server has gone away");
        return 1;
    }
    if (text.rfind("LOSE", 0) == 0) {
        h->connected = false;
        g_failingConnects = g_failAfterLoss;
        SetError(h, 2013, "Lost connection to MySQL server during query");
        return 1;
    }
    if (text.rfind("BAD", 0) == 0) {
        SetError(h, 1064, "You have an error in your SQL syntax");
        return 1;
    }
    SetError(h, 0, "");
    return 0;
}

__declspec(dllexport) int mysql_query(void* handle, const char* statement) {
    return mysql_real_query(handle, statement, static_cast<unsigned long>(std::strlen(statement)));
}

__declspec(dllexport) void* mysql_use_result(void*) {
    return nullptr;
}
__declspec(dllexport) void* mysql_store_result(void*) {
    return nullptr;
}
__declspec(dllexport) char** mysql_fetch_row(void*) {
    return nullptr;
}
__declspec(dllexport) unsigned long* mysql_fetch_lengths(void*) {
    return nullptr;
}
__declspec(dllexport) unsigned int mysql_num_fields(void*) {
    return 0;
}
__declspec(dllexport) void mysql_free_result(void*) {}
__declspec(dllexport) int mysql_next_result(void*) {
    return -1;
}

__declspec(dllexport) unsigned int mysql_errno(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<Handle*>(handle)->error;
}

__declspec(dllexport) const char* mysql_error(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<Handle*>(handle)->errorText.c_str();
}

// The client library's escaping of the characters that matter for these tests.
__declspec(dllexport) unsigned long mysql_real_escape_string(void*, char* to, const char* from,
                                                             unsigned long length) {
    char* out = to;
    for (unsigned long i = 0; i < length; ++i) {
        const char c = from[i];
        if (c == '\'' || c == '"' || c == '\\')
            *out++ = '\\';
        *out++ = c;
    }
    *out = '\0';
    return static_cast<unsigned long>(out - to);
}

__declspec(dllexport) char mysql_autocommit(void* handle, char on) {
    std::lock_guard<std::mutex> guard(g_lock);
    Record(static_cast<Handle*>(handle), std::string("autocommit ") + (on ? "1" : "0"));
    return 0;
}
__declspec(dllexport) char mysql_commit(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Record(static_cast<Handle*>(handle), "commit");
    return 0;
}
__declspec(dllexport) char mysql_rollback(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Record(static_cast<Handle*>(handle), "rollback");
    return 0;
}
__declspec(dllexport) int mysql_set_server_option(void* handle, int option) {
    std::lock_guard<std::mutex> guard(g_lock);
    Record(static_cast<Handle*>(handle), "option " + std::to_string(option));
    return 0;
}
__declspec(dllexport) const char* mysql_get_host_info(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    return static_cast<Handle*>(handle)->hostInfo.c_str();
}

__declspec(dllexport) void mysql_close(void* handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Handle* h = static_cast<Handle*>(handle);
    Record(h, "close");
    delete h;
}

// For the tests: how many connects fail after each lost connection (from
// now on; pending failures are dropped), and
// the calls so far, one per line ("<handle id> <call>").
__declspec(dllexport) void standin_fail_connects_after_loss(int count) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_failAfterLoss = count;
    g_failingConnects = 0;
}

__declspec(dllexport) int standin_take_calls(char* buffer, int capacity) {
    std::lock_guard<std::mutex> guard(g_lock);
    std::string all;
    for (const std::string& call : g_calls)
        all += call + "\n";
    g_calls.clear();
    const int n =
        static_cast<int>(all.size()) < capacity - 1 ? static_cast<int>(all.size()) : capacity - 1;
    std::memcpy(buffer, all.data(), n);
    buffer[n] = '\0';
    return n;
}

}  // extern "C"
