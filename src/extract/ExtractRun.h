#pragma once

#include <string>

#include "extract/OutputFiles.h"
#include "layout/ItemLayout.h"
#include "output/RecordWriters.h"

namespace mae {

class Connection;
class RunUi;

// Everything a run reads: built by start-up, unchanged by the run.
struct ExtractContext {
    Connection* Registry = nullptr;
    const Layout* ConsolidatedLayout = nullptr;
    const Layout* AbstractLayout = nullptr;
    std::u16string ConsolidatedSelectList;
    std::u16string AbstractSelectList;
    WriterSettings Settings;
    std::string ApplicationFolder;  // where select.sql, the output files and extract.log go
};

enum class RunOutcome {
    NothingSelected,  // warning shown; only select.sql written
    Declined,         // user answered No; no output file touched
    Completed,        // both files written, totals shown
    Aborted,          // a kept case had no abstract; files closed, the program must end
    FolderBusy,       // another run is writing into the folder; warning shown, nothing written
};

// The whole extract run started by "Run Extract", holding the folder's lock. Throws RuntimeError
// on any failure, after the output files written so far have been closed whole and put in place.
RunOutcome RunExtract(const ExtractContext& context, RunUi& ui);

}  // namespace mae
