// The MySQL C client functions the suite uses, as one table of pointers.
//
// The Windows programs load the client library at run time ("libmysql.dll",
// then "libmariadb.dll", from the program's folder or the system folder), so a
// machine without it still starts the programs; they then behave as with an
// unreachable database server. The native build binds the same table to the
// MariaDB Connector/C it links. Handles are opaque here: nothing outside the
// client library looks inside them.
#pragma once

#include <cstdint>

struct MySqlHandle;  // the client library's MYSQL
struct MySqlResult;  // its MYSQL_RES
using MySqlRow = char**;
using MySqlBool = char;  // my_bool (one byte, as the C++ bool of newer libraries)

struct MySqlApi {
    MySqlHandle* (*init)(MySqlHandle* handle);
    MySqlHandle* (*realConnect)(MySqlHandle* handle, const char* host, const char* user,
                                const char* password, const char* schema, unsigned int port,
                                const char* unixSocket, unsigned long clientFlags);
    int (*setCharacterSet)(MySqlHandle* handle, const char* charset);
    int (*query)(MySqlHandle* handle, const char* statement);
    int (*realQuery)(MySqlHandle* handle, const char* statement, unsigned long length);
    MySqlResult* (*useResult)(MySqlHandle* handle);
    MySqlResult* (*storeResult)(MySqlHandle* handle);
    MySqlRow (*fetchRow)(MySqlResult* result);
    unsigned long* (*fetchLengths)(MySqlResult* result);
    unsigned int (*numFields)(MySqlResult* result);
    void (*freeResult)(MySqlResult* result);
    int (*nextResult)(MySqlHandle* handle);
    unsigned int (*errorNumber)(MySqlHandle* handle);
    const char* (*error)(MySqlHandle* handle);
    unsigned long (*realEscapeString)(MySqlHandle* handle, char* to, const char* from,
                                      unsigned long length);
    MySqlBool (*autocommit)(MySqlHandle* handle, MySqlBool on);
    MySqlBool (*commit)(MySqlHandle* handle);
    MySqlBool (*rollback)(MySqlHandle* handle);
    int (*setServerOption)(MySqlHandle* handle, int option);
    const char* (*getHostInfo)(MySqlHandle* handle);
    void (*close)(MySqlHandle* handle);
};

namespace mysql_api {

// Client flag: the server may answer one statement with several result sets.
inline constexpr unsigned long kClientMultiResults = 0x20000;

// enum_mysql_set_option
inline constexpr int kOptionMultiStatementsOn = 0;
inline constexpr int kOptionMultiStatementsOff = 1;

// Client error numbers the wrapper tells apart.
inline constexpr unsigned int kErrConnectionFailed = 2003;  // can't connect to the server
inline constexpr unsigned int kErrUnknownHost = 2005;
inline constexpr unsigned int kErrServerGone = 2006;
inline constexpr unsigned int kErrOutOfMemory = 2008;
inline constexpr unsigned int kErrLostConnection = 2013;
inline constexpr unsigned int kErrCommandsOutOfSync = 2014;

// The library file names tried in this order on Windows.
inline constexpr const wchar_t* kClientLibraryNames[] = {L"libmysql.dll", L"libmariadb.dll"};

// The client library of this platform, loaded on first use; nullptr when it
// is not there (or lacks one of the functions).
const MySqlApi* ClientApi();

}  // namespace mysql_api
