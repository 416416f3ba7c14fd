#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mae {

// Run-time error numbers, as the program reports them to the user.
namespace err {
inline constexpr int32_t InvalidCall = 5;         // Invalid procedure call or argument
inline constexpr int32_t Overflow = 6;            // Overflow
inline constexpr int32_t SubscriptRange = 9;      // Subscript out of range
inline constexpr int32_t TypeMismatch = 13;       // Type mismatch
inline constexpr int32_t FileNotFound = 53;       // File not found
inline constexpr int32_t DeviceIo = 57;           // Device I/O error
inline constexpr int32_t DiskFull = 61;           // Disk full
inline constexpr int32_t PathAccess = 75;         // Path/File access error
inline constexpr int32_t InvalidNull = 94;        // Invalid use of Null
inline constexpr int32_t CannotCreate = 429;      // ActiveX component can't create object
inline constexpr int32_t ItemNotFound = 3265;     // no column of that name or position
inline constexpr int32_t NoCurrentRecord = 3021;  // BOF or EOF
inline constexpr int32_t ObjectClosed = 3704;     // operation on a closed object
inline constexpr int32_t Provider = -2147467259;  // database driver error (0x80004005)

// Connection strings that name a provider.
inline constexpr int32_t ProviderNotFound = 3706;      // unknown provider, or its driver is missing
inline constexpr int32_t BadInitString = -2147217805;  // malformed string (0x80040E73)
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

}  // namespace mae
