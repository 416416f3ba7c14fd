// Values read straight through ODBC as the driver's own UTF-16, beside the db layer, to hold its
// reading against. Shared by the Linux and Windows test support.
#include <stdexcept>
#include <vector>

#include "db/SqlApi.h"
#include "support/TestDb.h"

namespace mae::test {

std::vector<std::optional<std::u16string>> DriverUtf16(const std::u16string& connectionString,
                                                       const std::string& sql) {
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    std::vector<std::optional<std::u16string>> values;
    auto fail = [&](const char* what) {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
        throw std::runtime_error(std::string("DriverUtf16: ") + what);
    };
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) fail("env");
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) fail("dbc");
    std::u16string cs = connectionString;
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()),
                                         static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, nullptr,
                                         SQL_DRIVER_NOPROMPT))) {
        fail("connect");
    }
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) fail("stmt");
    std::u16string text(sql.begin(), sql.end());
    if (!SQL_SUCCEEDED(SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                      static_cast<SQLINTEGER>(text.size())))) {
        fail("execute");
    }
    // Room for every test value in one piece.
    std::vector<SQLWCHAR> buffer(1 << 20);
    while (SQLFetch(stmt) == SQL_SUCCESS) {
        SQLLEN indicator = 0;
        if (!SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_WCHAR, buffer.data(),
                                      static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)),
                                      &indicator))) {
            fail("SQLGetData");
        }
        if (indicator == SQL_NULL_DATA) {
            values.emplace_back();
        } else {
            values.emplace_back(std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                                               static_cast<size_t>(indicator) / sizeof(SQLWCHAR)));
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return values;
}

}  // namespace mae::test
