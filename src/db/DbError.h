#pragma once

#include <string>

#include "common/RuntimeError.h"

namespace mae {

// A failed ODBC call: the driver's SQLSTATE, native code and message, and the call's name.
class DbError : public RuntimeError {
  public:
    DbError(std::string sqlState, long nativeCode, std::string message, std::string call);

    const std::string& sqlState() const noexcept { return m_sqlState; }
    long nativeCode() const noexcept { return m_native; }
    const std::string& call() const noexcept { return m_call; }

  private:
    std::string m_sqlState;
    long m_native;
    std::string m_call;
};

}  // namespace mae
