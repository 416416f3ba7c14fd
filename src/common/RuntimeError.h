#pragma once

#include <cstdint>
#include <exception>
#include <new>
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
inline constexpr int32_t DllLoad = 48;            // Error in loading DLL
inline constexpr int32_t DiskFull = 61;           // Disk full
inline constexpr int32_t PermissionDenied = 70;   // Permission denied
inline constexpr int32_t PathAccess = 75;         // Path/File access error
inline constexpr int32_t InvalidNull = 94;        // Invalid use of Null
inline constexpr int32_t CannotCreate = 429;      // ActiveX component can't create object
inline constexpr int32_t NoCurrentRecord = 3021;  // BOF or EOF
inline constexpr int32_t ItemNotFound = 3265;     // no column of that name or position
inline constexpr int32_t ObjectClosed = 3704;     // operation on a closed object
inline constexpr int32_t Provider = -2147467259;  // database driver error (0x80004005)
// Connection strings that name a provider.
inline constexpr int32_t ProviderNotFound = 3706;      // unknown provider, or its driver is missing
inline constexpr int32_t BadInitString = -2147217805;  // malformed string (0x80040E73)
// A statement that ran past its connection's command timeout.
inline constexpr int32_t QueryTimeout = -2147217871;  // 0x80040E31

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
    {DllLoad, "Error in loading DLL"},
    {DiskFull, "Disk full"},
    {PermissionDenied, "Permission denied"},
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
    {ProviderNotFound, "Provider cannot be found. It may not be properly installed."},
    {BadInitString,
     "Format of the initialization string does not conform to the OLE DB specification."},
    {QueryTimeout, "Query timeout expired"},
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

// A failure as the run-time error it is reported as: a RuntimeError as it is, a bad_alloc error 7
// "Out of memory", any other exception error 51 "Internal error" with its text.
inline RuntimeError AsRunTimeError(const std::exception& error) {
    if (auto* known = dynamic_cast<const RuntimeError*>(&error)) return *known;
    if (dynamic_cast<const std::bad_alloc*>(&error)) return ErrorOf(err::OutOfMemory);
    return ErrorOf(err::Internal, error.what());
}

// The same for a caught failure of any type; one that is no std::exception is error 51.
inline RuntimeError AsRunTimeError(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return AsRunTimeError(error);
    } catch (...) {
        return ErrorOf(err::Internal);
    }
}

}  // namespace mae
