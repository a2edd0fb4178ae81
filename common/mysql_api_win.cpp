// The Windows programs load the MySQL client library at run time, by name,
// from the program's folder or the system folder (never the current
// directory or PATH): the suite's binaries import only system DLLs, and a
// machine without the library still starts them.
#include <windows.h>

#include "common/mysql_api.h"
#include "platform/known_library.h"

namespace mysql_api {
namespace {

// Fills `api` from `module`; false when any function is missing.
bool BindAll(HMODULE module, MySqlApi& api) {
    bool ok = true;
    ok &= platform::BindProc(module, "mysql_init", api.init);
    ok &= platform::BindProc(module, "mysql_real_connect", api.realConnect);
    ok &= platform::BindProc(module, "mysql_set_character_set", api.setCharacterSet);
    ok &= platform::BindProc(module, "mysql_query", api.query);
    ok &= platform::BindProc(module, "mysql_real_query", api.realQuery);
    ok &= platform::BindProc(module, "mysql_use_result", api.useResult);
    ok &= platform::BindProc(module, "mysql_store_result", api.storeResult);
    ok &= platform::BindProc(module, "mysql_fetch_row", api.fetchRow);
    ok &= platform::BindProc(module, "mysql_fetch_lengths", api.fetchLengths);
    ok &= platform::BindProc(module, "mysql_num_fields", api.numFields);
    ok &= platform::BindProc(module, "mysql_free_result", api.freeResult);
    ok &= platform::BindProc(module, "mysql_next_result", api.nextResult);
    ok &= platform::BindProc(module, "mysql_errno", api.errorNumber);
    ok &= platform::BindProc(module, "mysql_error", api.error);
    ok &= platform::BindProc(module, "mysql_real_escape_string", api.realEscapeString);
    ok &= platform::BindProc(module, "mysql_autocommit", api.autocommit);
    ok &= platform::BindProc(module, "mysql_commit", api.commit);
    ok &= platform::BindProc(module, "mysql_rollback", api.rollback);
    ok &= platform::BindProc(module, "mysql_set_server_option", api.setServerOption);
    ok &= platform::BindProc(module, "mysql_get_host_info", api.getHostInfo);
    ok &= platform::BindProc(module, "mysql_close", api.close);
    return ok;
}

const MySqlApi* Load() {
    static MySqlApi api{};
    for (const wchar_t* name : kClientLibraryNames) {
        platform::UniqueModule module = platform::LoadKnownLibrary(name);
        if (!module)
            continue;
        if (BindAll(module.Get(), api)) {
            module.Release();  // kept loaded for the life of the process
            return &api;
        }
    }
    return nullptr;
}

}  // namespace

const MySqlApi* ClientApi() {
    static const MySqlApi* api = Load();
    return api;
}

}  // namespace mysql_api
