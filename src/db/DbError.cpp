#include "db/DbError.h"

namespace mae {

namespace {
std::string Describe(const std::string& state, long native, const std::string& message,
                     const std::string& call) {
    std::string text = message.empty() ? std::string(err::Text(err::Provider)) : message;
    text += " (SQLSTATE " + (state.empty() ? std::string("?????") : state);
    text += ", native error " + std::to_string(native) + ", in " + call + ")";
    return text;
}
}  // namespace

DbError::DbError(std::string sqlState, long nativeCode, std::string message, std::string call)
    : RuntimeError(err::Provider, Describe(sqlState, nativeCode, message, call)),
      m_sqlState(std::move(sqlState)),
      m_native(nativeCode),
      m_call(std::move(call)) {}

}  // namespace mae
