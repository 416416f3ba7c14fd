#include "app/startup/Startup.h"

#include "app/startup/ConnectionHint.h"
#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Value.h"
#include "extract/RunFiles.h"
#include "layout/ItemLists.h"
#include "layout/LayoutLoader.h"
#include "platform/FileSystem.h"

namespace mae {

namespace {

// Control and ScanText are read into a buffer of 250 characters, one of them the terminating NUL:
// a longer value keeps its first 249 (a cut connection string then fails to open, named).
constexpr size_t ProfileBufferSize = 250;

// Runs one start-up step; a failure says which step it was, keeping its error number.
template <typename Step>
void InStep(const char* what, Step step) {
    try {
        step();
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.number(), std::string(what) + ": " + e.description());
    }
}

// Opens the connection; a failure that the system can explain further (a driver installed for
// programs of the other bitness only) says so after the driver's own words.
void OpenConnection(Connection& connection) {
    try {
        connection.Open();
    } catch (const RuntimeError& e) {
        const std::string hint = ConnectionFailureHint(e, connection.ConnectionString());
        if (hint.empty()) throw;
        std::string description = e.description();
        description += description.empty() || description.back() == '.' ? " " : ". ";
        throw RuntimeError(e.number(), description + hint);
    }
}

}  // namespace

std::string ApplicationFolder() {
    std::string folder;
    const platform::IoStatus status = platform::ExecutableFolder(folder);
    if (!status.ok() || folder.empty()) {
        throw ErrorOf(err::PathAccess,
                      "the program's folder cannot be found (" +
                          (status.ok() ? std::string("empty path") : status.reason) + ")");
    }
    return folder;
}

ExtractContext AppState::MakeExtractContext() {
    ExtractContext context;
    context.Registry = &RegistryConnection;
    context.ConsolidatedLayout = &ConsolidatedLayout;
    context.AbstractLayout = &AbstractLayout;
    context.ConsolidatedSelectList = ConsolidatedSelectList;
    context.AbstractSelectList = AbstractSelectList;
    context.Settings.NaaccrVersion = NaaccrVersion;
    context.Settings.ScanTextMode = ScanTextMode;
    context.Settings.LayoutTable = ControlTableName;
    context.ApplicationFolder = ApplicationFolder;
    return context;
}

void Form_Load(AppState& s) {
    // A run killed while it put its files in place left a journal: the folder gets one run's
    // whole set back before anything else reads or writes there.
    s.StartNote = RunFiles::FinishInterrupted(s.ApplicationFolder);
    s.ConsolidatedItemList = ConsolidatedItemList();
    s.AbstractItemList = AbstractItemList();

    InStep("Opening the registry database", [&] {
        ConnectionStringProvider provider;
        s.RegistryConnection.SetConnectionString(provider.GetConnectionString());
        s.RegistryConnection.SetCommandTimeout(RegistryCommandTimeout);
        // The case rows are held by the run: the driver is not asked to hold a copy too.
        s.RegistryConnection.SetRowByRow(true);
        OpenConnection(s.RegistryConnection);
    });

    InStep("Opening the control database (Meridane.ini, [Databases] Control)", [&] {
        s.ControlConnection.SetConnectionString(
            ReadProfileString(u"Databases", u"Control", ControlNotAvailable, ProfileBufferSize));
        s.ControlConnection.SetCommandTimeout(ControlCommandTimeout);
        OpenConnection(s.ControlConnection);
    });

    s.ScanTextMode = ReadProfileString(u"Options", u"ScanText", u"TEXT", ProfileBufferSize);

    InStep("Reading naaccrparameters from the control database", [&] {
        s.LayoutRecordset.Open(
            u"select controltablename, naaccrversion from naaccrparameters where [current]=-1",
            s.ControlConnection);
        // The first current row wins; with none, both settings stay empty.
        if (!s.LayoutRecordset.Eof()) {
            s.ControlTableName = DirectText(s.LayoutRecordset.Field(0));
            s.NaaccrVersion = DirectText(s.LayoutRecordset.Field(1));
        }
        // The name is pasted into every lookup: a name, or start-up ends here, naming the row.
        s.ControlTableName = CheckedTableName(s.ControlTableName);
    });

    InStep("Loading the record layouts from the control database", [&] {
        auto consolidatedItems = SplitItemList(s.ConsolidatedItemList);
        auto abstractItems = SplitItemList(s.AbstractItemList);
        LoadLayout(LayoutKind::Consolidated, consolidatedItems, s.ControlConnection,
                   s.ControlTableName, s.LayoutRecordset, s.ConsolidatedLayout,
                   s.ConsolidatedSelectList);
        LoadLayout(LayoutKind::Abstract, abstractItems, s.ControlConnection, s.ControlTableName,
                   s.LayoutRecordset, s.AbstractLayout, s.AbstractSelectList);
    });
}

}  // namespace mae
