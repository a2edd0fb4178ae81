#include "common/update_core_mysql.h"

#include <mutex>

#include "platform/text_codec.h"

namespace update {
namespace {

constexpr char16_t kSelectVersion[] = u"SELECT `ver`, `download` FROM `versions` WHERE `id`=1";
constexpr char16_t kCompletionChain[] = u"SET completion_type=1";

// A lost connection in the middle of a command set must not be repaired: the
// server has rolled the transaction back, and a new connection would run the
// failed statement and everything after it with auto-commit on, outside any
// transaction. The update session's connection therefore refuses to
// reconnect: the wrapper then reports the loss as an error and the set fails.
thread_local bool t_refuseReconnect = false;
const MySqlApi* g_baseApi = nullptr;

MySqlHandle* GuardedConnect(MySqlHandle* handle, const char* host, const char* user,
                            const char* password, const char* schema, unsigned int port,
                            const char* unixSocket, unsigned long flags) {
    if (t_refuseReconnect)
        return nullptr;
    return g_baseApi->realConnect(handle, host, user, password, schema, port, unixSocket, flags);
}

const MySqlApi* GuardedApi(const MySqlApi* base) {
    static MySqlApi guarded{};
    static std::once_flag once;
    if (!base)
        return nullptr;
    std::call_once(once, [base] {
        g_baseApi = base;
        guarded = *base;
        guarded.realConnect = &GuardedConnect;
    });
    return g_baseApi == base ? &guarded : base;
}

int32_t LeadingInt(const std::string& s) {
    try {
        return static_cast<int32_t>(std::stol(s));
    } catch (...) {
        return 0;
    }
}

class MySqlVersionConnection : public VersionConnection {
public:
    explicit MySqlVersionConnection(std::unique_ptr<CMySQLW> c) : m_c(std::move(c)) {}
    bool ReadVersionRow(int32_t& version, std::string& download) override {
        CMySQLW::StatementLock lock(*m_c);
        if (!m_c->SelectSql(kSelectVersion, lock))
            return false;
        version = 0;
        download.clear();
        CMySQLW::Row row;
        if (m_c->FetchRow(row)) {
            if (!row.empty() && row[0])
                version = LeadingInt(*row[0]);
            if (row.size() > 1 && row[1])
                download = *row[1];
        }
        m_c->FreeResult();
        lock.Release();
        return true;
    }

private:
    std::unique_ptr<CMySQLW> m_c;
};

class MySqlUpdateSession : public UpdateSession {
public:
    explicit MySqlUpdateSession(std::shared_ptr<CMySQLW> c) : m_c(std::move(c)) {}
    ~MySqlUpdateSession() override {
        m_c.reset();
        t_refuseReconnect = false;
    }
    bool Execute(const std::string& sql) override {
        if (!m_c->ExecuteSql(platform::Utf8ToUtf16(sql)))
            return false;
        // Result sets of a plain statement would leave the connection out of sync.
        return m_c->DrainResults();
    }
    Outcome ExecuteCommand(const std::string& sql) override {
        if (!m_c->ExecuteSql(platform::Utf8ToUtf16(sql)))
            return Outcome::Failed;
        return m_c->DrainResults() ? Outcome::Done : Outcome::LaterResultFailed;
    }
    bool Commit() override { return m_c->Commit(); }
    bool Rollback() override { return m_c->Rollback(); }
    std::string HostInfo() override { return platform::Utf16ToUtf8(m_c->HostInfo()); }

private:
    std::shared_ptr<CMySQLW> m_c;
};

}  // namespace

MySqlUpdateDatabase::MySqlUpdateDatabase(DbConnectionParams params, CMySQLWHooks hooks)
    : m_params(std::move(params)), m_hooks(std::move(hooks)) {}

std::unique_ptr<VersionConnection> MySqlUpdateDatabase::OpenVersionConnection() {
    auto c = std::make_unique<CMySQLW>(m_params, true, m_hooks);
    if (!c->OpenConnection())
        return nullptr;
    return std::make_unique<MySqlVersionConnection>(std::move(c));
}

std::unique_ptr<UpdateSession> MySqlUpdateDatabase::OpenUpdateSession() {
    CMySQLWHooks hooks = m_hooks;
    const MySqlApi* base = hooks.api ? *hooks.api : mysql_api::ClientApi();
    if (!base)
        return nullptr;
    hooks.api = GuardedApi(base);
    hooks.sleepMs = [](uint32_t) { t_refuseReconnect = true; };
    t_refuseReconnect = false;
    auto c = std::make_shared<CMySQLW>(m_params, false, hooks);
    if (!c->OpenConnection())
        return nullptr;
    // Without these the commands would not run as one transaction.
    if (!c->SetMultiStatements(true) || !c->SetAutocommit(false))
        return nullptr;
    c->ExecuteSql(kCompletionChain);
    return std::make_unique<MySqlUpdateSession>(std::move(c));
}

}  // namespace update
