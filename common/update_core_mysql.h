// The update flow's database over CMySQLW: a quiet connection that reads the
// version row, and the update session that applies command sets in
// transactions on a connection with multi-statement mode on and auto-commit
// off.
#pragma once

#include "common/mysql_wrapper.h"
#include "common/settings_types.h"
#include "common/update_core.h"

namespace update {

class MySqlUpdateDatabase : public Database {
public:
    explicit MySqlUpdateDatabase(DbConnectionParams params, CMySQLWHooks hooks = {});

    std::unique_ptr<VersionConnection> OpenVersionConnection() override;
    std::unique_ptr<UpdateSession> OpenUpdateSession() override;

private:
    DbConnectionParams m_params;
    CMySQLWHooks m_hooks;
};

}  // namespace update
