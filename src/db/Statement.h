#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace mae {

class Connection;
class Recordset;

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

    struct Impl;
    Impl& impl() const;  // for Recordset only

  private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mae
