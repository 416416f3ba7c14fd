#pragma once

// A thin RAII layer over the SQLite C library for the generator: one database file, prepared
// statements, errors as std::runtime_error naming the file.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace mae::gen {

class SqliteFile {
  public:
    // Creates a new database at path, replacing any file there.
    explicit SqliteFile(const std::string& path);
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    // Runs one or more statements without results.
    void Exec(const std::string& sql);
    // Closes the file, reporting a failure (the destructor swallows it).
    void Close();

    sqlite3* handle() const noexcept { return m_db; }
    [[noreturn]] void Fail(std::string_view what) const;

  private:
    sqlite3* m_db = nullptr;
    std::string m_path;
};

// A prepared statement with positional parameters counted from 1.
class SqliteStatement {
  public:
    SqliteStatement(SqliteFile& file, const std::string& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void BindNull(int index);
    void BindInt(int index, int64_t value);
    // The text is copied by SQLite; it need not outlive the call.
    void BindText(int index, std::string_view value);
    // Runs the statement once (expects no result rows), then resets it and clears its bindings.
    void Run();

  private:
    SqliteFile& m_file;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace mae::gen
