#pragma once
// Shared by the db sources only: the connection's handles and the checked-call funnel.
// ODBC handles are plain pointers (SQLHANDLE); <sql.h> stays in the .cpp files.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/Connection.h"
#include "db/Statement.h"

namespace mae {

struct Connection::Impl {
    void* env = nullptr;
    void* dbc = nullptr;
    bool open = false;
    std::u16string connectionString;
    int commandTimeout = 0;
    // Text is read as the driver's UTF-8 bytes and turned into units here (DriverText.h).
    bool driverUtf8 = false;
};

// The result columns of a statement: described once per text statement, and once for all
// executions of a prepared one.
struct ColumnSet {
    std::vector<std::u16string> names;
    std::vector<bool> numeric;
    std::unordered_map<std::u16string, int> byName;  // lower-case name -> first position
};

struct Statement::Impl {
    void* stmt = nullptr;
    int32_t parameter = 0;    // bound to the `?`; set before each execution
    bool driverUtf8 = false;  // as its connection's
    std::shared_ptr<const ColumnSet> columns;
    Recordset* reader = nullptr;  // the recordset whose cursor is open on the statement
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
// Error 3704: the connection, statement or recordset is not open.
[[noreturn]] void ThrowClosed();
// Frees a handle; never throws.
void Free(short handleType, void*& handle) noexcept;

}  // namespace odbc
}  // namespace mae
