#include "common/update_core_mysql.h"

#include <atomic>

#include "platform/text_codec.h"

namespace update {
namespace {

constexpr char16_t kSelectVersion[] = u"SELECT `ver`, `download` FROM `versions` WHERE `id`=1";
constexpr char16_t kCompletionChain[] = u"SET completion_type=1";

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
    std::optional<std::string> Escape(std::string_view text) override {
        return m_c->EscapeString(text);
    }

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
    const MySqlApi* api = m_hooks.api ? *m_hooks.api : mysql_api::ClientApi();
    if (!api)
        return nullptr;
    // The first connection is repaired like any other lost connection (two
    // waits, then a reconnect): no transaction exists yet. Once it is open,
    // a loss must not be repaired: the server has rolled the transaction
    // back, and a new connection would run the failed statement and
    // everything after it with auto-commit on, outside any transaction. The
    // wrapper then reports the loss as an error and the set fails.
    auto repairable = std::make_shared<std::atomic<bool>>(true);
    CMySQLWHooks hooks = m_hooks;
    hooks.mayReconnect = [repairable] { return repairable->load(); };
    auto c = std::make_shared<CMySQLW>(m_params, false, hooks);
    if (!c->OpenConnection())
        return nullptr;
    *repairable = false;
    // Without these the commands would not run as one transaction.
    if (!c->SetMultiStatements(true) || !c->SetAutocommit(false))
        return nullptr;
    c->ExecuteSql(kCompletionChain);
    return std::make_unique<MySqlUpdateSession>(std::move(c));
}

}  // namespace update
