#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/Row.h"
#include "db/Value.h"

namespace mae {

class Connection;
class Statement;

enum class CursorType {
    ForwardOnly,  // rows fetched one at a time as the recordset moves
    Static,       // every row fetched when the recordset opens; RecordCount known
};

// The rows of one statement, read only: nothing is ever written through a recordset. A recordset
// reused for statement after statement keeps its row storage, so a run of per-case statements
// allocates only while its rows grow.
class Recordset {
  public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Sends the statement and positions on the first row (or at the end when there is none).
    void Open(std::u16string_view source, Connection& connection,
              CursorType cursor = CursorType::ForwardOnly);
    // Executes a prepared statement with parameter bound to its `?` and positions as above. A
    // recordset still reading from that statement is closed first. A static recordset lets go
    // of the statement once its rows are fetched; a forward-only one holds it until Close.
    void Open(Statement& statement, int32_t parameter, CursorType cursor = CursorType::ForwardOnly);
    // 1 when open, 0 when closed.
    int State() const noexcept;
    bool IsOpen() const noexcept { return State() == 1; }
    void Close() noexcept;

    bool Eof() const;
    void MoveFirst();  // static cursor only
    void MoveNext();
    // Number of rows of a static cursor; -1 for a forward-only one, whose rows are not known
    // until they are read.
    long RecordCount() const;

    int FieldCount() const;
    const std::u16string& FieldName(int position) const;
    // Position of the first column of that name, letter case ignored; error 3265 when none.
    int FieldIndex(std::u16string_view name) const;
    // The current row's value; error 3021 at the end, 3265 for a bad position or name.
    const Value& Field(int position) const;
    const Value& Field(std::u16string_view name) const;
    // The current row whole, with its columns; error 3021 at the end. Valid until the recordset
    // moves, opens again or closes.
    const Row& CurrentRow() const;
    // Hands over a static recordset's rows and closes it: rows[0..n) receive them in order, and
    // n is returned. The recordset keeps the storage rows held before, for the rows of its next
    // open, so a recordset and those it hands rows to pass the same storage round.
    size_t TakeRows(std::vector<Row>& rows);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mae
