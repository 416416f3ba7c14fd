#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace mae {

class Connection;
class Recordset;

namespace odbc {
struct Prepared;
}

// A statement prepared once and executed many times, each time with one whole number bound to
// the single `?` in its text (a case's id). Its rows are read through Recordset::Open.
class Statement {
  public:
    Statement();
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares the text on the connection (with the connection's command timeout); a statement
    // prepared before is released first. Throws DbError when the database rejects the text.
    void Prepare(std::u16string_view text, Connection& connection);
    bool IsPrepared() const noexcept;
    // Closes a recordset still reading from it, then releases the statement. Never throws.
    void Close() noexcept;

  private:
    friend class Recordset;  // executes it and reads its rows

    // Shared with the recordset whose cursor is open on it (see odbc::Prepared).
    std::shared_ptr<odbc::Prepared> m_prepared;
};

}  // namespace mae
