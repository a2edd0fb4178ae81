// CMySQLW: one connection to the suite's MySQL database with a statement
// lock, reconnection after a lost connection and the suite's error policy.
//
// The connection talks UTF-8 ("utf8", collation utf8_general_ci). Statements
// run one at a time under the connection's lock. A lost connection (client
// errors 2005, 2006, 2013) is repaired by at most two reconnects 2000 ms
// apart; every repaired loss is recorded as a row of `err_log`, written on a
// connection of its own. Unrecoverable errors are shown to the user and,
// after a lost connection, the program's main window is asked to close. A
// quiet object shows and logs nothing: any error just closes the connection.
//
// Portable: the client library comes through MySqlApi, messages through
// platform::ShowMessage, the program's name, main window and user through
// app_context, the waits and the lock through CMySQLWHooks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/mysql_api.h"
#include "common/settings_types.h"

// The statement lock: a binary semaphore whose wait may fail (a Win32 wait on
// a broken handle does); the default one never fails.
class SqlStatementSemaphore {
public:
    virtual ~SqlStatementSemaphore() = default;
    // Waits without limit for the semaphore; false when the wait itself failed.
    virtual bool Wait() = 0;
    virtual void Release() = 0;
};
std::shared_ptr<SqlStatementSemaphore> MakeSqlStatementSemaphore();

// What the wrapper takes from its surroundings; every member left empty
// means the program's own.
struct CMySQLWHooks {
    // Unset: mysql_api::ClientApi(); nullptr: no client library at all.
    std::optional<const MySqlApi*> api;
    std::function<void(uint32_t ms)> sleepMs;        // null: the thread sleeps
    std::shared_ptr<SqlStatementSemaphore> lock;     // null: MakeSqlStatementSemaphore()
    std::function<std::u16string()> productVersion;  // null: the program's version text
    std::string lockLogPath;  // empty: kSqlLockLogFileName in the current directory
    // Asked when a lost connection is to be repaired; false reports the loss
    // at once, without the waits and reconnects. Null: always repaired.
    std::function<bool()> mayReconnect;
};

inline constexpr const char* kSqlLockLogFileName = "sql_lock_erors.log";
// The statement buffer of one `err_log` row, terminator included.
inline constexpr size_t kErrLogStatementCapacity = 8192;
// Wait before each reconnect attempt and the number of attempts.
inline constexpr uint32_t kReconnectWaitMs = 2000;
inline constexpr int kReconnectAttempts = 2;

class CMySQLW {
public:
    // The caller's hold on the connection's statement lock (SelectSql takes
    // it and leaves it held for reading the rows). Releases on destruction.
    class StatementLock {
    public:
        explicit StatementLock(CMySQLW& connection) : m_connection(connection) {}
        ~StatementLock() { Release(); }
        StatementLock(const StatementLock&) = delete;
        StatementLock& operator=(const StatementLock&) = delete;

        // Waits for the lock; false when the wait failed. Holding it already is fine.
        bool Acquire();
        void Release();
        bool Held() const { return m_held; }

    private:
        friend class CMySQLW;
        CMySQLW& m_connection;
        bool m_held = false;
    };

    // One fetched row: each column's bytes (UTF-8), nullopt for NULL.
    using Row = std::vector<std::optional<std::string>>;

    CMySQLW(const DbConnectionParams& params, bool quietErrors);
    CMySQLW(const DbConnectionParams& params, bool quietErrors, CMySQLWHooks hooks);
    ~CMySQLW();
    CMySQLW(const CMySQLW&) = delete;
    CMySQLW& operator=(const CMySQLW&) = delete;

    // Opens a new client handle and connects with the stored parameters.
    bool OpenConnection();
    // Runs one statement (several where multi-statement mode is on).
    bool ExecuteSql(std::u16string_view statement);
    // Runs a query and starts an unbuffered result set. `lock` stays held on
    // return whatever the result; the caller reads the rows (FetchRow),
    // frees the result (FreeResult) and then releases the lock.
    bool SelectSql(std::u16string_view query, StatementLock& lock);
    // The next row of the current result set; false at its end (or with none).
    bool FetchRow(Row& row);
    void FreeResult();
    bool HasResult() const { return m_sqlResult != nullptr; }

    // The error policy for the error now on the handle; `statementUtf8` is
    // the failed statement, if any. True: the connection is usable again and
    // the statement has run.
    bool HandleSqlError(std::optional<std::string_view> statementUtf8);
    // Writes one `err_log` row on a connection of its own.
    bool LogSqlError(uint32_t errorNumber, std::string_view statementUtf8,
                     std::u16string_view note);
    // Appends the statement to the lock log and tells the user.
    void LogLockFailure(std::u16string_view statement);

    // Transaction control for the update step; each takes the statement lock
    // (never call them while holding it) and returns false when not connected
    // or the library refused. They show nothing.
    bool SetMultiStatements(bool on);
    bool SetAutocommit(bool on);
    bool Commit();
    bool Rollback();
    // Fetches and discards every result set the last statement produced;
    // false when the server reported an error for one of them.
    bool DrainResults();
    // The client library's description of the connection ("127.0.0.1 via
    // TCP/IP"); empty when not connected.
    std::u16string HostInfo();
    // `textUtf8` escaped for a quoted literal by the client library on this
    // connection (it follows the server's mode, NO_BACKSLASH_ESCAPES
    // included); nullopt when not connected or the library refused.
    std::optional<std::string> EscapeString(std::string_view textUtf8);

    bool IsConnected() const { return m_sqlConnected; }
    // The error now on the handle (0 and empty without one).
    uint32_t LastErrorNumber() const;
    std::string LastErrorText() const;  // UTF-8

    // The text of an `err_log` insert whose statement fits `capacity` bytes
    // with its terminator: the texts are cut (at character boundaries,
    // statement first, then note, user, application) until it does.
    // `escape` is the client library's string escaping.
    static std::string BuildErrLogInsert(uint32_t errorNumber, std::string_view app,
                                         std::string_view statement, std::string_view user,
                                         std::string_view note,
                                         const std::function<std::string(std::string_view)>& escape,
                                         size_t capacity = kErrLogStatementCapacity);

private:
    bool Connect();  // steps of OpenConnection without the error policy
    MySqlHandle* ConnectHandle(MySqlHandle* handle);
    std::optional<std::string> EscapeOn(MySqlHandle* handle, std::string_view raw) const;
    void CloseHandle();
    bool RunLocked(const std::function<bool()>& action);
    std::string AppText() const;  // "<name> 64bit v.<version>", UTF-8
    std::u16string ProductVersion() const;
    void ShowError(uint32_t errorNumber, std::string_view errorTextUtf8);

    const MySqlApi* m_api;
    CMySQLWHooks m_hooks;

    MySqlResult* m_sqlResult = nullptr;
    std::shared_ptr<SqlStatementSemaphore> m_sqlLock;
    std::atomic<bool> m_sqlConnected{false};  // read without the lock by IsConnected
    MySqlHandle* m_sqlHandle = nullptr;
    std::string m_sqlServer;
    int32_t m_sqlPort = 0;
    std::string m_sqlSchema;
    std::string m_sqlUser;
    std::string m_sqlPassword;
    bool m_quietErrors = false;
};
