#pragma once

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

}  // namespace mae
