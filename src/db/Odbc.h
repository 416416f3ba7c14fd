#pragma once
// Shared by the db sources only: the connection's handles and the checked-call funnel.
// ODBC handles are plain pointers (SQLHANDLE); <sql.h> stays in the .cpp files.

#include <string>

#include "db/Connection.h"

namespace mae {

struct Connection::Impl {
    void* env = nullptr;
    void* dbc = nullptr;
    bool open = false;
    std::u16string connectionString;
    int commandTimeout = 0;
};

namespace odbc {

inline constexpr short HandleEnv = 1;   // SQL_HANDLE_ENV
inline constexpr short HandleDbc = 2;   // SQL_HANDLE_DBC
inline constexpr short HandleStmt = 3;  // SQL_HANDLE_STMT

// Throws DbError for any return code but success (with or without info). Reads only the first
// diagnostic record: with unixODBC, asking for more has crashed the SQLite and PostgreSQL drivers.
void Check(short rc, short handleType, void* handle, const char* call);
// The first diagnostic record's SQLSTATE ("" when none).
std::string FirstSqlState(short handleType, void* handle);
// Frees a handle; never throws.
void Free(short handleType, void*& handle) noexcept;

}  // namespace odbc
}  // namespace mae
