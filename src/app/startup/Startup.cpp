#include "app/startup/Startup.h"

#include "app/startup/ConnectionStringProvider.h"
#include "app/startup/ProfileReader.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Value.h"
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

bool IsIdentifier(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                  (c >= u'0' && c <= u'9') || c == u'_';
        if (!ok) return false;
    }
    return true;
}

bool IsPlainNamePart(std::u16string_view part) {
    if (part.size() >= 2 && part.front() == u'[' && part.back() == u']') {
        part = part.substr(1, part.size() - 2);
    }
    return IsIdentifier(part);
}

// The layout table's name is pasted into every lookup statement: it must be a plain name
// (letters, digits, underscores; in brackets or not; with at most one schema part).
void CheckTableName(std::u16string_view name) {
    if (name.empty()) return;  // the lookup itself then fails, naming no table
    size_t dot = name.find(u'.');
    bool ok = dot == std::u16string_view::npos
                  ? IsPlainNamePart(name)
                  : IsPlainNamePart(name.substr(0, dot)) && IsPlainNamePart(name.substr(dot + 1));
    if (!ok) {
        throw ErrorOf(err::InvalidCall,
                      "the layout table named in "
                      "naaccrparameters.controltablename ('" +
                          ToUtf8(name.substr(0, 80)) + "') is not a plain table name");
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
    s.ConsolidatedItemList = ConsolidatedItemList();
    s.AbstractItemList = AbstractItemList();

    InStep("Opening the registry database", [&] {
        ConnectionStringProvider provider;
        s.RegistryConnection.SetConnectionString(provider.GetConnectionString());
        s.RegistryConnection.SetCommandTimeout(RegistryCommandTimeout);
        // The case rows are held by the run: the driver is not asked to hold a copy too.
        s.RegistryConnection.SetRowByRow(true);
        s.RegistryConnection.Open();
    });

    InStep("Opening the control database (Meridane.ini, [Databases] Control)", [&] {
        s.ControlConnection.SetConnectionString(
            ReadProfileString(u"Databases", u"Control", u"Not Available", ProfileBufferSize));
        s.ControlConnection.Open();
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
        CheckTableName(s.ControlTableName);
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
