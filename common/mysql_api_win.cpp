// The Windows programs load the MySQL client library at run time, by name,
// from the program folder or the system path: the suite's binaries import
// only system DLLs, and a machine without the library still starts them.
#include <windows.h>

#include <mutex>

#include "common/mysql_api.h"

namespace mysql_api {
namespace {

template <typename F>
bool Bind(HMODULE module, const char* name, F& slot) {
    FARPROC proc = ::GetProcAddress(module, name);
    slot = reinterpret_cast<F>(reinterpret_cast<void*>(proc));
    return proc != nullptr;
}

// Fills `api` from `module`; false when any function is missing.
bool BindAll(HMODULE module, MySqlApi& api) {
    bool ok = true;
    ok &= Bind(module, "mysql_init", api.init);
    ok &= Bind(module, "mysql_real_connect", api.realConnect);
    ok &= Bind(module, "mysql_set_character_set", api.setCharacterSet);
    ok &= Bind(module, "mysql_query", api.query);
    ok &= Bind(module, "mysql_real_query", api.realQuery);
    ok &= Bind(module, "mysql_use_result", api.useResult);
    ok &= Bind(module, "mysql_store_result", api.storeResult);
    ok &= Bind(module, "mysql_fetch_row", api.fetchRow);
    ok &= Bind(module, "mysql_fetch_lengths", api.fetchLengths);
    ok &= Bind(module, "mysql_num_fields", api.numFields);
    ok &= Bind(module, "mysql_free_result", api.freeResult);
    ok &= Bind(module, "mysql_next_result", api.nextResult);
    ok &= Bind(module, "mysql_errno", api.errorNumber);
    ok &= Bind(module, "mysql_error", api.error);
    ok &= Bind(module, "mysql_real_escape_string", api.realEscapeString);
    ok &= Bind(module, "mysql_autocommit", api.autocommit);
    ok &= Bind(module, "mysql_commit", api.commit);
    ok &= Bind(module, "mysql_rollback", api.rollback);
    ok &= Bind(module, "mysql_set_server_option", api.setServerOption);
    ok &= Bind(module, "mysql_get_host_info", api.getHostInfo);
    ok &= Bind(module, "mysql_close", api.close);
    return ok;
}

const MySqlApi* Load() {
    static MySqlApi api{};
    for (const wchar_t* name : kClientLibraryNames) {
        // Default search order: the program folder first, then the system path.
        HMODULE module = ::LoadLibraryW(name);
        if (module == nullptr)
            continue;
        if (BindAll(module, api))
            return &api;  // kept loaded for the life of the process
        ::FreeLibrary(module);
    }
    return nullptr;
}

}  // namespace

const MySqlApi* ClientApi() {
    static const MySqlApi* api = Load();
    return api;
}

}  // namespace mysql_api
