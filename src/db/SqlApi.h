#pragma once
// The ODBC C API, for the db sources only, and what the platform's drivers differ in. With
// mingw-w64, <sql.h> needs the Windows types declared before it.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>

#ifdef _WIN32
// The names are the functions' own below (sqlucode.h maps a few to their W forms under UNICODE).
#undef SQLAllocHandle
#undef SQLBindParameter
#undef SQLCancel
#undef SQLCloseCursor
#undef SQLDataSourcesW
#undef SQLDescribeColW
#undef SQLDisconnect
#undef SQLDriverConnectW
#undef SQLDriversW
#undef SQLEndTran
#undef SQLExecDirectW
#undef SQLExecute
#undef SQLFetch
#undef SQLFreeHandle
#undef SQLFreeStmt
#undef SQLGetData
#undef SQLGetDiagRecW
#undef SQLGetInfoW
#undef SQLGetStmtAttr
#undef SQLNumResultCols
#undef SQLPrepareW
#undef SQLSetConnectAttr
#undef SQLSetEnvAttr
#undef SQLSetStmtAttr

namespace mae::odbc {

// The Windows edition does not import odbc32.dll, which is no KnownDLL and would be looked for in
// the program's folder first: the entry points the db layer calls are looked up in the system
// folder's odbc32.dll when first used (SqlApi.cpp), and each call below goes through this table.
// A new call into ODBC adds its entry point here.
#define MAE_ODBC_ENTRY_POINTS(X) \
    X(SQLAllocHandle)            \
    X(SQLBindParameter)          \
    X(SQLCancel)                 \
    X(SQLCloseCursor)            \
    X(SQLDataSourcesW)           \
    X(SQLDescribeColW)           \
    X(SQLDisconnect)             \
    X(SQLDriverConnectW)         \
    X(SQLDriversW)               \
    X(SQLEndTran)                \
    X(SQLExecDirectW)            \
    X(SQLExecute)                \
    X(SQLFetch)                  \
    X(SQLFreeHandle)             \
    X(SQLFreeStmt)               \
    X(SQLGetData)                \
    X(SQLGetDiagRecW)            \
    X(SQLGetInfoW)               \
    X(SQLGetStmtAttr)            \
    X(SQLNumResultCols)          \
    X(SQLPrepareW)               \
    X(SQLSetConnectAttr)         \
    X(SQLSetEnvAttr)             \
    X(SQLSetStmtAttr)

struct EntryPoints {
#define MAE_ODBC_MEMBER(name) decltype(&::name) name;
    MAE_ODBC_ENTRY_POINTS(MAE_ODBC_MEMBER)
#undef MAE_ODBC_MEMBER
};

// The table, filled on the first call; throws error 48 (Error in loading DLL) saying what to do
// when odbc32.dll or one of its entry points cannot be loaded.
const EntryPoints& Api();

}  // namespace mae::odbc

// Each name as a call through the table.
#define SQLAllocHandle(...) (::mae::odbc::Api().SQLAllocHandle(__VA_ARGS__))
#define SQLBindParameter(...) (::mae::odbc::Api().SQLBindParameter(__VA_ARGS__))
#define SQLCancel(...) (::mae::odbc::Api().SQLCancel(__VA_ARGS__))
#define SQLCloseCursor(...) (::mae::odbc::Api().SQLCloseCursor(__VA_ARGS__))
#define SQLDataSourcesW(...) (::mae::odbc::Api().SQLDataSourcesW(__VA_ARGS__))
#define SQLDescribeColW(...) (::mae::odbc::Api().SQLDescribeColW(__VA_ARGS__))
#define SQLDisconnect(...) (::mae::odbc::Api().SQLDisconnect(__VA_ARGS__))
#define SQLDriverConnectW(...) (::mae::odbc::Api().SQLDriverConnectW(__VA_ARGS__))
#define SQLDriversW(...) (::mae::odbc::Api().SQLDriversW(__VA_ARGS__))
#define SQLEndTran(...) (::mae::odbc::Api().SQLEndTran(__VA_ARGS__))
#define SQLExecDirectW(...) (::mae::odbc::Api().SQLExecDirectW(__VA_ARGS__))
#define SQLExecute(...) (::mae::odbc::Api().SQLExecute(__VA_ARGS__))
#define SQLFetch(...) (::mae::odbc::Api().SQLFetch(__VA_ARGS__))
#define SQLFreeHandle(...) (::mae::odbc::Api().SQLFreeHandle(__VA_ARGS__))
#define SQLFreeStmt(...) (::mae::odbc::Api().SQLFreeStmt(__VA_ARGS__))
#define SQLGetData(...) (::mae::odbc::Api().SQLGetData(__VA_ARGS__))
#define SQLGetDiagRecW(...) (::mae::odbc::Api().SQLGetDiagRecW(__VA_ARGS__))
#define SQLGetInfoW(...) (::mae::odbc::Api().SQLGetInfoW(__VA_ARGS__))
#define SQLGetStmtAttr(...) (::mae::odbc::Api().SQLGetStmtAttr(__VA_ARGS__))
#define SQLNumResultCols(...) (::mae::odbc::Api().SQLNumResultCols(__VA_ARGS__))
#define SQLPrepareW(...) (::mae::odbc::Api().SQLPrepareW(__VA_ARGS__))
#define SQLSetConnectAttr(...) (::mae::odbc::Api().SQLSetConnectAttr(__VA_ARGS__))
#define SQLSetEnvAttr(...) (::mae::odbc::Api().SQLSetEnvAttr(__VA_ARGS__))
#define SQLSetStmtAttr(...) (::mae::odbc::Api().SQLSetStmtAttr(__VA_ARGS__))
#endif

namespace mae::odbc {

// Whether a driver's text asked for as bytes (SQL_C_CHAR) can be its own UTF-8: on Windows the
// SQLite ODBC driver may convert it to the code page instead, so text is read as UTF-16 there.
#ifdef _WIN32
inline constexpr bool DriverBytesMayBeUtf8 = false;
#else
inline constexpr bool DriverBytesMayBeUtf8 = true;
#endif

}  // namespace mae::odbc
