// The native build binds the client function table to the MariaDB
// Connector/C it links. Thin adapters keep the opaque handle types honest.
#include <mysql.h>

#include "common/mysql_api.h"

namespace {

MYSQL* H(MySqlHandle* h) {
    return reinterpret_cast<MYSQL*>(h);
}
MYSQL_RES* R(MySqlResult* r) {
    return reinterpret_cast<MYSQL_RES*>(r);
}

MySqlHandle* Init(MySqlHandle* h) {
    return reinterpret_cast<MySqlHandle*>(mysql_init(H(h)));
}
MySqlHandle* RealConnect(MySqlHandle* h, const char* host, const char* user, const char* password,
                         const char* schema, unsigned int port, const char* unixSocket,
                         unsigned long flags) {
    return reinterpret_cast<MySqlHandle*>(
        mysql_real_connect(H(h), host, user, password, schema, port, unixSocket, flags));
}
int SetCharacterSet(MySqlHandle* h, const char* charset) {
    return mysql_set_character_set(H(h), charset);
}
int Query(MySqlHandle* h, const char* statement) {
    return mysql_query(H(h), statement);
}
int RealQuery(MySqlHandle* h, const char* statement, unsigned long length) {
    return mysql_real_query(H(h), statement, length);
}
MySqlResult* UseResult(MySqlHandle* h) {
    return reinterpret_cast<MySqlResult*>(mysql_use_result(H(h)));
}
MySqlResult* StoreResult(MySqlHandle* h) {
    return reinterpret_cast<MySqlResult*>(mysql_store_result(H(h)));
}
MySqlRow FetchRow(MySqlResult* r) {
    return mysql_fetch_row(R(r));
}
unsigned long* FetchLengths(MySqlResult* r) {
    return mysql_fetch_lengths(R(r));
}
unsigned int NumFields(MySqlResult* r) {
    return mysql_num_fields(R(r));
}
void FreeResult(MySqlResult* r) {
    mysql_free_result(R(r));
}
int NextResult(MySqlHandle* h) {
    return mysql_next_result(H(h));
}
unsigned int ErrorNumber(MySqlHandle* h) {
    return mysql_errno(H(h));
}
const char* Error(MySqlHandle* h) {
    return mysql_error(H(h));
}
unsigned long RealEscapeString(MySqlHandle* h, char* to, const char* from, unsigned long length) {
    return mysql_real_escape_string(H(h), to, from, length);
}
MySqlBool Autocommit(MySqlHandle* h, MySqlBool on) {
    return static_cast<MySqlBool>(mysql_autocommit(H(h), on));
}
MySqlBool Commit(MySqlHandle* h) {
    return static_cast<MySqlBool>(mysql_commit(H(h)));
}
MySqlBool Rollback(MySqlHandle* h) {
    return static_cast<MySqlBool>(mysql_rollback(H(h)));
}
int SetServerOption(MySqlHandle* h, int option) {
    return mysql_set_server_option(H(h), static_cast<enum_mysql_set_option>(option));
}
const char* GetHostInfo(MySqlHandle* h) {
    return mysql_get_host_info(H(h));
}
void Close(MySqlHandle* h) {
    mysql_close(H(h));
}

static_assert(MYSQL_OPTION_MULTI_STATEMENTS_ON == mysql_api::kOptionMultiStatementsOn);
static_assert(MYSQL_OPTION_MULTI_STATEMENTS_OFF == mysql_api::kOptionMultiStatementsOff);
static_assert(CLIENT_MULTI_RESULTS == mysql_api::kClientMultiResults);

const MySqlApi kLinkedApi = {
    Init,       RealConnect, SetCharacterSet, Query,           RealQuery,
    UseResult,  StoreResult, FetchRow,        FetchLengths,    NumFields,
    FreeResult, NextResult,  ErrorNumber,     Error,           RealEscapeString,
    Autocommit, Commit,      Rollback,        SetServerOption, GetHostInfo,
    Close,
};

}  // namespace

namespace mysql_api {

const MySqlApi* ClientApi() {
    return &kLinkedApi;
}

}  // namespace mysql_api
