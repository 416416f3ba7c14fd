#pragma once

// Copies a SQLite registry into a PostgreSQL database, for the server tests and by hand
// (mae-pgload). Every table keeps its name, its columns (unquoted names, so PostgreSQL folds
// them to lower case, as the program's unquoted statements do) and its rows, byte for byte:
// Nulls stay Null, text stays the same UTF-8 (the character of code 2, accented letters, the euro
// sign, trailing blanks). Declared types map to INTEGER (any type naming INT), DOUBLE PRECISION
// (REAL, FLOA, DOUB) or TEXT (everything else, an undeclared type too). The primary key and the
// indexes are rebuilt on the same columns. Tables of the same names already in the database are
// replaced.

#include <string>

namespace mae::pgload {

struct LoadSummary {
    int tables = 0;
    long long rows = 0;
    int indexes = 0;
};

// conninfo is a libpq connection string ("host=... port=... dbname=... user=... password=...").
// Throws std::runtime_error naming the table or statement that failed; the message never holds
// the password.
LoadSummary LoadSqliteIntoPostgres(const std::string& sqlitePath, const std::string& conninfo);

// The libpq connection string for an ODBC connection string of the PostgreSQL driver
// ("Driver=PostgreSQL Unicode;Server=...;Port=...;Database=...;UID=...;PWD=..."): Server, Port,
// Database, UID and PWD (key case ignored) become host, port, dbname, user and password.
std::string LibpqConnInfo(const std::string& odbcConnectionString);

}  // namespace mae::pgload
