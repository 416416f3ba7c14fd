#pragma once

#include <string>

#include "db/Connection.h"
#include "db/Recordset.h"
#include "extract/ExtractRun.h"
#include "layout/ItemLayout.h"

namespace mae {

// The state that start-up builds and every run reads, held by the window for the program's life.
struct AppState {
    std::u16string ConsolidatedItemList;
    std::u16string AbstractItemList;
    Connection RegistryConnection;
    Connection ControlConnection;
    Recordset LayoutRecordset;
    std::u16string ScanTextMode;
    std::u16string ControlTableName;
    std::u16string NaaccrVersion;
    Layout ConsolidatedLayout;
    Layout AbstractLayout;
    std::u16string ConsolidatedSelectList;
    std::u16string AbstractSelectList;
    std::string ApplicationFolder;
    // What the user is told once start-up is done: an earlier run's replacement that had to be
    // put back (RunFiles::FinishInterrupted). Empty when there is nothing to tell.
    std::string StartNote;

    ExtractContext MakeExtractContext();
};

inline constexpr int RegistryCommandTimeout = 120;
// The control database's statements: a control file held by a writer ends start-up with the
// timeout error after this long, rather than the window waiting without a word.
inline constexpr int ControlCommandTimeout = 30;

// The folder that holds the program's executable, as the system names it (bytes on POSIX, so a
// name that is not UTF-8 still works); never empty. Error 75 when it cannot be found.
std::string ApplicationFolder();

// The start-up sequence: a replacement of the output files that a killed run left in
// ApplicationFolder (when set) is finished first; then item lists, registry connection (string from
// the host component), control connection and ScanText from Meridane.ini, the parameters row, both
// layouts. Throws RuntimeError at the first failing step.
void Form_Load(AppState& state);

}  // namespace mae
