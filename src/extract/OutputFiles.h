#pragma once

#include <string>

namespace mae {

// The files a run writes into the program's folder.
inline constexpr const char* ConsolidatedFileName = "ConsolidatedAuditExtract.txt";
inline constexpr const char* AbstractFileName = "AbstractAuditExtract.txt";
inline constexpr const char* SelectFileName = "select.sql";
inline constexpr const char* LogFileName = "extract.log";
// Beside them: held locked by the run that is writing into the folder.
inline constexpr const char* LockFileName = "AuditExtract.lock";
// Beside them while a run puts its files in place (hidden, with a dot before it): which new file
// goes where, and where the old one was moved aside.
inline constexpr const char* JournalName = "AuditExtract.journal";

// Joins a folder and a file name with the platform's separator, with no check for a separator
// already at the folder's end.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace mae
