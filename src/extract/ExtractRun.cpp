#include "extract/ExtractRun.h"

#include <cstdint>
#include <optional>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/ReadSnapshot.h"
#include "db/Recordset.h"
#include "db/Row.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/OutputThread.h"
#include "extract/RunFiles.h"
#include "extract/RunUi.h"
#include "output/ByteSink.h"
#include "platform/FileSystem.h"

namespace mae {

namespace {

constexpr std::u16string_view CrLf = u"\r\n";

// The run's counters are 32-bit signed: one more past INT32_MAX would wrap and the totals shown
// at the end would be wrong, so it is error 6 instead.
void Increment(int32_t& counter) {
    if (counter == INT32_MAX) throw ErrorOf(err::Overflow, "too many records");
    ++counter;
}

std::u16string ConfirmationText(long selected) {
    return DecimalText(selected) + u" consolidated records were selected. " +
           u"These consolidated records along with associated abstracts will be extracted. " +
           u"Records that are death certificate only and records that are marked for "
           u"non-release " +
           u"will be excluded when writing to files. The total number of consolidated and "
           u"abstract records actually extracted will be shown at the end of export. " +
           u"Do you want to proceed?";
}

std::u16string CompletionText(int32_t consolidated, int32_t abstracts, const std::string& folder) {
    std::u16string text = u"Extract completed!";
    text += CrLf;
    text += u"Total consolidated records: " + DecimalText(consolidated);
    text += CrLf;
    text += u"Total abstract records: " + DecimalText(abstracts);
    text += CrLf;
    text += u"Files are saved to: ";
    text += CrLf;
    text += FromUtf8(platform::JoinPath(folder, ConsolidatedFileName)) + u" ";
    text += CrLf;
    text += FromUtf8(platform::JoinPath(folder, AbstractFileName));
    return text;
}

std::u16string FolderBusyText(const std::string& folder) {
    std::u16string text = u"Another extract is running in this folder:";
    text += CrLf;
    text += FromUtf8(folder);
    text += CrLf;
    text += u"Nothing was written. Please try again when it has finished.";
    return text;
}

// Saves and opens the case query, then asks the user to go on. Returns how the run ends when it
// stops here; nothing when the user confirmed.
std::optional<RunOutcome> SelectAndConfirm(const ExtractContext& context, RunUi& ui,
                                           RunFiles& files, Recordset& cases, long& selected) {
    const std::u16string criteria = SelectionCriteria();
    const std::u16string caseQuery = CaseQuery(context.ConsolidatedSelectList);
    const std::u16string caption(WindowCaption);

    OpenCaseRecordset(files, caseQuery, *context.Registry, cases);
    selected = cases.RecordCount();
    if (selected == 0) {
        ui.ShowMessage(u"No records were selected with the specified criteria: " +
                           std::u16string(CrLf) + criteria,
                       MsgButtons::Ok, MsgIcon::Warning, caption);
        return RunOutcome::NothingSelected;
    }
    if (ui.ShowMessage(ConfirmationText(selected), MsgButtons::YesNo, MsgIcon::None, caption) !=
        MsgAnswer::Yes) {
        return RunOutcome::Declined;
    }
    return std::nullopt;
}

// The writing side of a run: its three files and the thread that writes the kept cases' records
// into them while the run's thread reads the next cases. The counts are the writer's until
// Finish.
class RunOutput {
  public:
    RunOutput(const ExtractContext& context, RunFiles& files)
        : m_context(context),
          m_files(files),
          m_consolidatedFile(files.Create(ConsolidatedFileName)),
          m_abstractFile(files.Create(AbstractFileName)),
          // The log of replaced characters holds this run's replacements, in order.
          m_logFile(files.Create(LogFileName)),
          m_thread([this](CaseOutput& kept) { Write(kept); }) {}

    OutputThread& Thread() noexcept { return m_thread; }
    int32_t ConsolidatedWritten() const noexcept { return m_consolidatedWritten; }
    int32_t AbstractsWritten() const noexcept { return m_abstractsWritten; }

  private:
    void Write(CaseOutput& kept) {
        m_consolidatedFile.Write(kept.consolidated.data());
        Increment(m_consolidatedWritten);
        for (size_t i = 0; i < kept.abstractCount; ++i) {
            Increment(m_abstractsWritten);
            WriteAbstractRecord(m_abstractFile, kept.abstracts[i], m_abstractColumns,
                                m_context.Settings, m_logFile);
        }
        // Only the end of a case is a point the files may be cut back to: its consolidated
        // record and every one of its abstracts (none for the case a run stops at).
        m_files.MarkWhole(m_consolidatedWritten, m_abstractsWritten);
    }

    const ExtractContext& m_context;
    RunFiles& m_files;
    ByteSink& m_consolidatedFile;
    ByteSink& m_abstractFile;
    ByteSink& m_logFile;
    int32_t m_consolidatedWritten = 0;
    int32_t m_abstractsWritten = 0;
    LayoutColumns m_abstractColumns{*m_context.AbstractLayout};  // the writing thread's
    OutputThread m_thread;  // last: it stops before what it writes with goes
};

// Makes a kept case's consolidated record, reads its abstracts and hands both to the writer.
// False when the case has no abstract; its record is handed over all the same. The consolidated
// record is made here, on the reading thread, because its row is the case recordset's current
// one, which the next MoveNext replaces: one record made from it costs less than a copy of the
// row. The abstract rows are the case's own (swapped out of the abstract recordset), so their
// records are made on the writing thread.
bool HandOver(const Recordset& cases, LayoutColumns& caseColumns, const WriterSettings& settings,
              CaseStatements& statements, OutputThread& output) {
    CaseOutput& kept = output.Next();
    kept.consolidated.Clear();
    kept.abstractCount = 0;
    WriteConsolidatedRecord(kept.consolidated, cases.CurrentRow(), caseColumns, settings);
    try {
        kept.abstractCount = statements.ReadAbstracts(kept.abstracts);
    } catch (...) {
        // The case's consolidated record is written before its abstracts are read: it stays in
        // the file when reading them fails.
        output.Submit();
        throw;
    }
    const bool found = kept.abstractCount > 0;
    output.Submit();
    return found;
}

// Reads the cases from the first, leaves out those that are death certificate only or not to be
// released, and hands the others to the writer. Returns the MedrefID of a kept case without
// abstracts, where the run stops; nothing when every case was read.
std::optional<std::u16string> WalkCases(const ExtractContext& context, RunUi& ui, Recordset& cases,
                                        long selected, CaseStatements& statements,
                                        OutputThread& output) {
    ui.SetProgressMax(static_cast<float>(selected));
    LayoutColumns caseColumns(*context.ConsolidatedLayout);
    cases.MoveFirst();
    int32_t visited = 0;
    while (!cases.Eof()) {
        Increment(visited);
        statements.SetCase(cases.Field(u"MedrefID"));
        const bool kept =
            !statements.IsDeathCertificateOnly() && statements.IsReleasable(ui.RereleaseChecked());
        if (kept && !HandOver(cases, caseColumns, context.Settings, statements, output)) {
            return statements.MedrefIdText();
        }
        cases.MoveNext();
        ui.SetProgressValue(static_cast<float>(visited));
    }
    return std::nullopt;
}

// The run once it holds its folder: its files go through files, which puts them in place.
RunOutcome RunLocked(const ExtractContext& context, RunUi& ui, RunFiles& files) {
    Recordset cases;
    long selected = 0;
    if (const std::optional<RunOutcome> stop =
            SelectAndConfirm(context, ui, files, cases, selected)) {
        return *stop;
    }
    // On SQLite every per-case statement reads the same state of the registry. The cases were
    // read before the confirmation, outside it: the host's writers are never held up while a
    // message waits for the user.
    ReadSnapshot snapshot(*context.Registry);
    // The previous files must all be replaceable before any of them is made anew.
    files.CheckNotHeld({ConsolidatedFileName, AbstractFileName, LogFileName});
    RunOutput output(context, files);
    CaseStatements statements(*context.Registry, context.AbstractSelectList);
    std::optional<std::u16string> missing;
    try {
        missing = WalkCases(context, ui, cases, selected, statements, output.Thread());
        // The end of every run that gets here, also one stopped at a case without abstracts:
        // everything written so far stays, the files closed whole and put in place before the
        // message.
        output.Thread().Finish();
        snapshot.End();
        files.PutInPlace();
    } catch (...) {
        // The cases before the failing one are written first; should writing one of them fail,
        // that failure came first and is the one reported.
        output.Thread().Finish();
        throw;
    }
    if (missing) {
        // The program ends after this message.
        ui.ShowMessage(
            u"Error: Abstract for MedrefID = " + *missing + u" not found. Extract aborted.",
            MsgButtons::Ok, MsgIcon::None, std::u16string(ProgramName));
        return RunOutcome::Aborted;
    }
    ui.ShowMessage(CompletionText(output.ConsolidatedWritten(), output.AbstractsWritten(),
                                  context.ApplicationFolder),
                   MsgButtons::Ok, MsgIcon::Information, std::u16string(WindowCaption));
    return RunOutcome::Completed;
}

}  // namespace

RunOutcome RunExtract(const ExtractContext& context, RunUi& ui) {
    RunFiles files(context.ApplicationFolder);
    if (!files.Lock()) {
        ui.ShowMessage(FolderBusyText(context.ApplicationFolder), MsgButtons::Ok, MsgIcon::Warning,
                       std::u16string(WindowCaption));
        return RunOutcome::FolderBusy;
    }
    if (!files.RecoveryNote().empty()) {
        ui.ShowMessage(FromUtf8(files.RecoveryNote()), MsgButtons::Ok, MsgIcon::Warning,
                       std::u16string(WindowCaption));
    }
    try {
        return RunLocked(context, ui, files);
    } catch (const RuntimeError& error) {
        // A run-time error is an end of the run too: what was written goes in place, and the
        // report says what became of the files when that is not all of it.
        const std::string note = files.PutInPlaceAfterFailure();
        if (note.empty()) throw;
        throw RuntimeError(error.number(), error.description() + " " + note);
    } catch (...) {
        files.PutInPlaceAfterFailure();
        throw;
    }
}

}  // namespace mae
