#include "common/mysql_wrapper.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "common/app_context.h"
#include "common/mysql_wrapper_texts.h"
#include "common/product_version.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text_codec.h"

namespace {

// The binary semaphore (initial count 1, maximum 1) behind the statement
// lock. Unlike a mutex it may be released by another thread than the one
// that took it, as a Win32 semaphore may.
class BinarySemaphore : public SqlStatementSemaphore {
public:
    bool Wait() override {
        std::unique_lock<std::mutex> guard(m_lock);
        m_released.wait(guard, [this] { return m_free; });
        m_free = false;
        return true;
    }
    void Release() override {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_free = true;
        }
        m_released.notify_one();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    bool m_free = true;
};

bool IsConnectionLoss(uint32_t error) {
    return error == mysql_api::kErrUnknownHost || error == mysql_api::kErrServerGone ||
           error == mysql_api::kErrLostConnection;
}

// The longest prefix of `text` of at most `bytes` bytes that does not end
// inside a UTF-8 sequence.
std::string_view Utf8Prefix(std::string_view text, size_t bytes) {
    if (bytes >= text.size())
        return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return text.substr(0, bytes);
}

std::string Utf8Limited(std::u16string_view text, size_t maxChars) {
    return platform::Utf16ToUtf8(text.substr(0, std::min(text.size(), maxChars)));
}

std::string Replace(std::string format, std::string_view what, std::string_view with) {
    const size_t at = format.find(what);
    if (at != std::string::npos)
        format.replace(at, what.size(), with);
    return format;
}

}  // namespace

std::shared_ptr<SqlStatementSemaphore> MakeSqlStatementSemaphore() {
    return std::make_shared<BinarySemaphore>();
}

bool CMySQLW::StatementLock::Acquire() {
    if (!m_held)
        m_held = m_connection.m_sqlLock->Wait();
    return m_held;
}

void CMySQLW::StatementLock::Release() {
    if (m_held) {
        m_held = false;
        m_connection.m_sqlLock->Release();
    }
}

CMySQLW::CMySQLW(const DbConnectionParams& params, bool quietErrors)
    : CMySQLW(params, quietErrors, CMySQLWHooks{}) {}

CMySQLW::CMySQLW(const DbConnectionParams& params, bool quietErrors, CMySQLWHooks hooks)
    : m_api(hooks.api ? *hooks.api : mysql_api::ClientApi()),
      m_hooks(std::move(hooks)),
      m_sqlLock(m_hooks.lock ? m_hooks.lock : MakeSqlStatementSemaphore()),
      m_sqlServer(params.server),
      m_sqlPort(params.port),
      m_sqlSchema(params.schema),
      m_sqlUser(params.user),
      m_sqlPassword(params.password),
      m_quietErrors(quietErrors) {}

CMySQLW::~CMySQLW() {
    CloseHandle();
}

MySqlHandle* CMySQLW::ConnectHandle(MySqlHandle* handle) {
    MySqlHandle* connected = m_api->realConnect(
        handle, m_sqlServer.c_str(), m_sqlUser.c_str(), m_sqlPassword.c_str(), m_sqlSchema.c_str(),
        static_cast<unsigned int>(m_sqlPort), nullptr, mysql_api::kClientMultiResults);
    // The library may hand back the handle yet leave an error on it.
    if (connected == nullptr || m_api->errorNumber(handle) != 0)
        return nullptr;
    m_api->setCharacterSet(handle, sql_texts::kCharacterSet);
    m_api->query(handle, sql_texts::kSetCollation);
    return handle;
}

void CMySQLW::CloseHandle() {
    if (m_sqlResult != nullptr && m_api != nullptr) {
        m_api->freeResult(m_sqlResult);
    }
    m_sqlResult = nullptr;
    if (m_sqlHandle != nullptr && m_api != nullptr)
        m_api->close(m_sqlHandle);
    m_sqlHandle = nullptr;
}

bool CMySQLW::Connect() {
    m_sqlConnected = false;
    // A handle left from an earlier connection is closed, not leaked.
    CloseHandle();
    if (m_api == nullptr)
        return false;
    m_sqlHandle = m_api->init(nullptr);
    if (m_sqlHandle == nullptr || ConnectHandle(m_sqlHandle) == nullptr)
        return false;
    m_sqlConnected = true;
    return true;
}

bool CMySQLW::OpenConnection() {
    if (Connect())
        return true;
    if (!HandleSqlError(std::nullopt)) {
        m_sqlConnected = false;
        return false;
    }
    return m_sqlConnected;
}

bool CMySQLW::ExecuteSql(std::u16string_view statement) {
    if (!m_sqlConnected)
        return false;
    const std::string sql = platform::Utf16ToUtf8(statement);
    if (!m_sqlLock->Wait()) {
        LogLockFailure(statement);
        return false;
    }
    bool ok =
        m_api->realQuery(m_sqlHandle, sql.data(), static_cast<unsigned long>(sql.size())) == 0;
    if (!ok)
        ok = HandleSqlError(sql);
    m_sqlLock->Release();
    return ok;
}

bool CMySQLW::SelectSql(std::u16string_view query, StatementLock& lock) {
    if (!m_sqlConnected)
        return m_sqlResult != nullptr;
    const std::string sql = platform::Utf16ToUtf8(query);
    if (!lock.Acquire()) {
        LogLockFailure(query);
        return false;
    }
    // An earlier result the caller did not free would put the connection out
    // of step; freeing it reads its remaining rows.
    FreeResult();
    bool ok =
        m_api->realQuery(m_sqlHandle, sql.data(), static_cast<unsigned long>(sql.size())) == 0;
    if (!ok)
        ok = HandleSqlError(sql);
    if (ok && m_sqlHandle != nullptr)
        m_sqlResult = m_api->useResult(m_sqlHandle);
    // A failed query never reports the result of an earlier one as its own.
    return ok && m_sqlResult != nullptr;
}

bool CMySQLW::FetchRow(Row& row) {
    row.clear();
    if (m_sqlResult == nullptr)
        return false;
    MySqlRow values = m_api->fetchRow(m_sqlResult);
    if (values == nullptr)
        return false;
    const unsigned int count = m_api->numFields(m_sqlResult);
    const unsigned long* lengths = m_api->fetchLengths(m_sqlResult);
    row.reserve(count);
    for (unsigned int i = 0; i < count; ++i) {
        if (values[i] == nullptr)
            row.emplace_back(std::nullopt);
        else
            row.emplace_back(std::string(values[i], lengths ? lengths[i] : 0));
    }
    return true;
}

void CMySQLW::FreeResult() {
    if (m_sqlResult != nullptr)
        m_api->freeResult(m_sqlResult);
    m_sqlResult = nullptr;
}

bool CMySQLW::HandleSqlError(std::optional<std::string_view> statementUtf8) {
    m_sqlConnected = false;
    if (m_quietErrors) {
        CloseHandle();
        return false;
    }

    // The error that starts the handling, number and text together: the
    // reconnect attempts leave errors of their own on the handle.
    uint32_t error = 0;
    std::string errorText;
    if (m_api == nullptr) {
        error = mysql_api::kErrConnectionFailed;
        errorText = sql_texts::kNoClientLibrary;
    } else if (m_sqlHandle == nullptr) {
        error = mysql_api::kErrOutOfMemory;
        errorText = sql_texts::kNoClientHandle;
    } else {
        error = m_api->errorNumber(m_sqlHandle);
        const char* text = m_api->error(m_sqlHandle);
        errorText = text ? text : "";
    }

    const bool lost = m_api != nullptr && IsConnectionLoss(error);
    if (lost && (!m_hooks.mayReconnect || m_hooks.mayReconnect())) {
        for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
            CloseHandle();
            if (m_hooks.sleepMs)
                m_hooks.sleepMs(kReconnectWaitMs);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(kReconnectWaitMs));
            if (!Connect())
                continue;
            LogSqlError(error, statementUtf8.value_or(std::string_view{}),
                        platform::Utf8ToUtf16(Replace(sql_texts::kFailedAttemptsNote, "%d",
                                                      std::to_string(attempt))));
            if (statementUtf8 && !statementUtf8->empty()) {
                if (m_api->realQuery(m_sqlHandle, statementUtf8->data(),
                                     static_cast<unsigned long>(statementUtf8->size())) != 0) {
                    platform::ShowMessage(sql_texts::kRerunFailed, sql_texts::kErrorCaption,
                                          platform::MessageIcon::Error,
                                          app_context::MainWindowHandle());
                    return false;
                }
            }
            return true;
        }
    }

    ShowError(error, errorText);
    if (lost && app_context::MainWindowHandle() != 0)
        app_context::RequestMainWindowClose();
    return false;
}

void CMySQLW::ShowError(uint32_t errorNumber, std::string_view errorTextUtf8) {
    const std::string text =
        Utf8Limited(platform::Utf8ToUtf16(errorTextUtf8), sql_texts::kErrorTextMaxChars);
    std::string message =
        Replace(Replace(sql_texts::kErrorMessage, "%u", std::to_string(errorNumber)), "%s", text);
    platform::ShowMessage(message, {}, platform::MessageIcon::None,
                          app_context::MainWindowHandle());
}

std::u16string CMySQLW::ProductVersion() const {
    if (m_hooks.productVersion)
        return m_hooks.productVersion();
    // The version text is digits and points: its code units carry over as they are.
    const std::wstring version = GetProductVersion();
    return std::u16string(version.begin(), version.end());
}

std::string CMySQLW::AppText() const {
    return platform::Utf16ToUtf8(app_context::AppName()) + sql_texts::kAppVersionSeparator +
           platform::Utf16ToUtf8(ProductVersion());
}

bool CMySQLW::LogSqlError(uint32_t errorNumber, std::string_view statementUtf8,
                          std::u16string_view note) {
    if (m_api == nullptr)
        return false;
    MySqlHandle* handle = m_api->init(nullptr);
    if (handle == nullptr)
        return false;
    if (ConnectHandle(handle) == nullptr) {
        m_api->close(handle);
        return false;
    }
    // Escaped with the log connection's own handle: it has the same
    // character set, and the wrapper's handle may be gone by now.
    auto escape = [this, handle](std::string_view raw) {
        return EscapeOn(handle, raw).value_or(std::string());  // empty when refused
    };
    const std::string sql = BuildErrLogInsert(
        errorNumber, AppText(), Utf8Prefix(statementUtf8, sql_texts::kErrLogQueryMaxBytes),
        platform::Utf16ToUtf8(app_context::CurrentUserName()),
        Utf8Limited(note, sql_texts::kErrLogNoteMaxChars), escape);
    const bool ok =
        m_api->realQuery(handle, sql.data(), static_cast<unsigned long>(sql.size())) == 0;
    m_api->close(handle);
    return ok;
}

std::string CMySQLW::BuildErrLogInsert(uint32_t errorNumber, std::string_view app,
                                       std::string_view statement, std::string_view user,
                                       std::string_view note,
                                       const std::function<std::string(std::string_view)>& escape,
                                       size_t capacity) {
    enum { kApp, kQuery, kUser, kNote };
    const std::array<std::string_view, 4> raw = {app, statement, user, note};
    std::array<std::string, 4> escaped;
    for (size_t i = 0; i < raw.size(); ++i)
        escaped[i] = escape(raw[i]);

    auto assemble = [&] {
        std::string sql = sql_texts::kErrLogInsertHead;
        sql += std::to_string(errorNumber);
        for (const std::string& value : escaped) {
            sql += ", '";
            sql += value;
            sql += '\'';
        }
        sql += ')';
        return sql;
    };

    const size_t limit = capacity > 0 ? capacity - 1 : 0;  // room for the terminator
    std::string sql = assemble();
    // The statement is cut first (it is the longest and least telling at its
    // end), then the note, the user and the application.
    for (int part : {kQuery, kNote, kUser, kApp}) {
        if (sql.size() <= limit)
            break;
        const size_t others = sql.size() - escaped[part].size();
        const size_t allowed = others < limit ? limit - others : 0;
        // Longest prefix whose escaped form fits; escaping never shrinks a
        // longer prefix, so a binary search over the raw length finds it.
        size_t low = 0, high = raw[part].size();
        while (low < high) {
            const size_t mid = low + (high - low + 1) / 2;
            if (escape(Utf8Prefix(raw[part], mid)).size() <= allowed) {
                low = mid;
            } else {
                high = mid - 1;
            }
        }
        escaped[part] = escape(Utf8Prefix(raw[part], low));
        sql = assemble();
    }
    return sql;
}

void CMySQLW::LogLockFailure(std::u16string_view statement) {
    const std::string path =
        m_hooks.lockLogPath.empty() ? std::string(kSqlLockLogFileName) : m_hooks.lockLogPath;
    // Append mode: earlier lines are never overwritten; others may read meanwhile.
    if (std::FILE* file = std::fopen(path.c_str(), "ab")) {
        const platform::CivilTime now = platform::CurrentClock().LocalNow();
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year},
                      unsigned{now.month}, unsigned{now.day}, unsigned{now.hour},
                      unsigned{now.minute}, unsigned{now.second});
        std::string line = stamp;
        line += '\t';
        line += platform::Utf16ToCp1251(app_context::AppName());
        line += '\t';
        line += platform::Utf16ToCp1251(ProductVersion());
        line += '\t';
        line += platform::Utf16ToCp1251(statement);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
    platform::ShowMessage(Replace(sql_texts::kLockFailureMessage, "%s", kSqlLockLogFileName),
                          sql_texts::kErrorCaption, platform::MessageIcon::Error, 0);
}

bool CMySQLW::RunLocked(const std::function<bool()>& action) {
    if (!m_sqlConnected || m_sqlHandle == nullptr)
        return false;
    if (!m_sqlLock->Wait())
        return false;
    const bool ok = action();
    m_sqlLock->Release();
    return ok;
}

bool CMySQLW::SetMultiStatements(bool on) {
    return RunLocked([&] {
        return m_api->setServerOption(m_sqlHandle, on ? mysql_api::kOptionMultiStatementsOn
                                                      : mysql_api::kOptionMultiStatementsOff) == 0;
    });
}

bool CMySQLW::SetAutocommit(bool on) {
    return RunLocked([&] { return m_api->autocommit(m_sqlHandle, on ? 1 : 0) == 0; });
}

bool CMySQLW::Commit() {
    return RunLocked([&] { return m_api->commit(m_sqlHandle) == 0; });
}

bool CMySQLW::Rollback() {
    // A failed statement clears m_sqlConnected, but the handle of a
    // non-connection error is still open with the transaction on it: roll
    // that back rather than leave it to the close.
    if (m_sqlHandle == nullptr)
        return false;
    if (!m_sqlLock->Wait())
        return false;
    const bool ok = m_sqlHandle != nullptr && m_api->rollback(m_sqlHandle) == 0;
    m_sqlLock->Release();
    return ok;
}

bool CMySQLW::DrainResults() {
    return RunLocked([&] {
        for (;;) {
            if (MySqlResult* result = m_api->storeResult(m_sqlHandle))
                m_api->freeResult(result);
            const int next = m_api->nextResult(m_sqlHandle);
            if (next > 0)
                return false;  // a later statement of the batch failed
            if (next < 0)
                return true;  // no more results
        }
    });
}

std::u16string CMySQLW::HostInfo() {
    if (m_sqlHandle == nullptr || !m_sqlConnected)
        return {};
    const char* info = m_api->getHostInfo(m_sqlHandle);
    return info ? platform::Utf8ToUtf16(info) : std::u16string();
}

std::optional<std::string> CMySQLW::EscapeOn(MySqlHandle* handle, std::string_view raw) const {
    if (m_api == nullptr || handle == nullptr)
        return std::nullopt;
    // Each byte escapes to at most two, plus the terminator.
    std::string out(raw.size() * 2 + 1, '\0');
    const unsigned long n = m_api->realEscapeString(handle, out.data(), raw.data(),
                                                    static_cast<unsigned long>(raw.size()));
    if (n >= out.size())
        return std::nullopt;  // the library refused ((unsigned long)-1)
    out.resize(n);
    return out;
}

std::optional<std::string> CMySQLW::EscapeString(std::string_view textUtf8) {
    if (!m_sqlConnected)
        return std::nullopt;
    // The handle is read under the lock: a repair on another thread replaces it.
    if (!m_sqlLock->Wait())
        return std::nullopt;
    std::optional<std::string> escaped = EscapeOn(m_sqlHandle, textUtf8);
    m_sqlLock->Release();
    return escaped;
}

uint32_t CMySQLW::LastErrorNumber() const {
    return (m_api && m_sqlHandle) ? m_api->errorNumber(m_sqlHandle) : 0;
}

std::string CMySQLW::LastErrorText() const {
    if (!m_api || !m_sqlHandle)
        return {};
    const char* text = m_api->error(m_sqlHandle);
    return text ? text : "";
}
