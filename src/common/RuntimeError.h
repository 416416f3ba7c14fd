#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mae {

// The run-time errors the program reports, by number, and the standard text of each: the one
// table of them. A description starts with its number's text and goes on to say what failed.
namespace err {
inline constexpr int32_t InvalidCall = 5;         // Invalid procedure call or argument
inline constexpr int32_t Overflow = 6;            // Overflow
inline constexpr int32_t OutOfMemory = 7;         // Out of memory
inline constexpr int32_t TypeMismatch = 13;       // Type mismatch
inline constexpr int32_t Internal = 51;           // Internal error
inline constexpr int32_t BadFileNumber = 52;      // Bad file name or number
inline constexpr int32_t DeviceIo = 57;           // Device I/O error
inline constexpr int32_t DiskFull = 61;           // Disk full
inline constexpr int32_t PathAccess = 75;         // Path/File access error
inline constexpr int32_t InvalidNull = 94;        // Invalid use of Null
inline constexpr int32_t CannotCreate = 429;      // ActiveX component can't create object
inline constexpr int32_t NoCurrentRecord = 3021;  // BOF or EOF
inline constexpr int32_t ItemNotFound = 3265;     // no column of that name or position
inline constexpr int32_t ObjectClosed = 3704;     // operation on a closed object
inline constexpr int32_t Provider = -2147467259;  // database driver error (0x80004005)

struct Entry {
    int32_t number;
    std::string_view text;
};
inline constexpr Entry Table[] = {
    {InvalidCall, "Invalid procedure call or argument"},
    {Overflow, "Overflow"},
    {OutOfMemory, "Out of memory"},
    {TypeMismatch, "Type mismatch"},
    {Internal, "Internal error"},
    {BadFileNumber, "Bad file name or number"},
    {DeviceIo, "Device I/O error"},
    {DiskFull, "Disk full"},
    {PathAccess, "Path/File access error"},
    {InvalidNull, "Invalid use of Null"},
    {CannotCreate, "ActiveX component can't create object"},
    {NoCurrentRecord,
     "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
     "requires a current record."},
    {ItemNotFound,
     "Item cannot be found in the collection corresponding to the requested name "
     "or ordinal."},
    {ObjectClosed, "Operation is not allowed when the object is closed."},
    {Provider, "The database driver reported an error."},
};

// The standard text of a number of the table; "" for any other number.
constexpr std::string_view Text(int32_t number) noexcept {
    for (const Entry& entry : Table) {
        if (entry.number == number) return entry.text;
    }
    return {};
}
}  // namespace err

// The one error type of the program: a run-time error number and a description (UTF-8).
// Every failing call throws it; only start-up and the extract run catch it.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(int32_t number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    int32_t number() const noexcept { return m_number; }
    std::string description() const { return what(); }

  private:
    int32_t m_number;
};

// The error whose description is its number's text, ": " and what failed (or the text alone when
// detail is empty).
inline RuntimeError ErrorOf(int32_t number, std::string_view detail = {}) {
    std::string description(err::Text(number));
    if (!detail.empty()) {
        description += ": ";
        description += detail;
    }
    return RuntimeError(number, description);
}

}  // namespace mae
