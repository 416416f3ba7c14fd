#include "extract/ExtractRun.h"

#include <cstdint>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/ReadSnapshot.h"
#include "db/Recordset.h"
#include "db/Statement.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/Exclusions.h"
#include "extract/OutputThread.h"
#include "extract/RunFiles.h"
#include "extract/RunUi.h"
#include "output/ByteSink.h"

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
    text += FromUtf8(JoinPath(folder, ConsolidatedFileName)) + u" ";
    text += CrLf;
    text += FromUtf8(JoinPath(folder, AbstractFileName));
    return text;
}

}  // namespace

std::u16string AbstractQuery(std::u16string_view abstractSelectList, std::u16string_view medrefId) {
    std::u16string query = u"select ";
    query += abstractSelectList;
    // Two blanks before "where": the statement's text is fixed to the character, so a trace of
    // the statements the registry received reads the same for every run.
    query += u", remarks from abstracts, abstracts_2, abstracts_3 ";
    query +=
        u" where abstracts.absrefid = abstracts_2.absrefid and abstracts.absrefid = "
        u"abstracts_3.absrefid and medrefid = ";
    query += medrefId;
    return query;
}

namespace {

std::u16string FolderBusyText(const std::string& folder) {
    std::u16string text = u"Another extract is running in this folder:";
    text += CrLf;
    text += FromUtf8(folder);
    text += CrLf;
    text += u"Nothing was written. Please try again when it has finished.";
    return text;
}

// The run once it holds its folder: its files go through files, which puts them in place.
RunOutcome RunLocked(const ExtractContext& context, RunUi& ui, RunFiles& files) {
    Connection& registry = *context.Registry;
    const std::u16string criteria = SelectionCriteria();
    const std::u16string caseQuery = CaseQuery(context.ConsolidatedSelectList);
    const std::u16string caption(WindowCaption);

    Recordset cases;
    OpenCaseRecordset(context.ApplicationFolder, caseQuery, registry, cases);
    const long selected = cases.RecordCount();
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

    // On SQLite every per-case statement reads the same state of the registry. The cases were
    // read before the confirmation, outside it: the host's writers are never held up while a
    // message waits for the user.
    ReadSnapshot snapshot(registry);

    ByteSink& consolidatedFile = files.Create(ConsolidatedFileName);
    ByteSink& abstractFile = files.Create(AbstractFileName);
    // The log of replaced characters holds this run's replacements, in order.
    ByteSink& logFile = files.Create(LogFileName);

    ui.SetProgressMax(static_cast<float>(selected));
    cases.MoveFirst();
    int32_t visited = 0;
    int32_t consolidatedWritten = 0;
    int32_t abstractsWritten = 0;
    // The records are written on a thread of their own while this one reads the next cases;
    // the counters are the writer's until Finish.
    OutputThread output([&](CaseOutput& kept) {
        consolidatedFile.Write(kept.consolidated.data());
        Increment(consolidatedWritten);
        // A case's consolidated record comes before its abstracts: the files may end here.
        files.MarkWhole(consolidatedWritten, abstractsWritten);
        if (!kept.hasAbstracts) return;
        while (!kept.abstracts.Eof()) {
            Increment(abstractsWritten);
            WriteAbstractRecord(abstractFile, kept.abstracts, *context.AbstractLayout,
                                context.Settings, logFile);
            kept.abstracts.MoveNext();
        }
        files.MarkWhole(consolidatedWritten, abstractsWritten);
    });
    // The per-case statements are prepared once and executed with the case's id bound. A case
    // whose MedrefID does not read as its own whole number (e.g. "0012" or "12.5") has its
    // statements sent as text instead: the two tests with the whole number the id converts to
    // (rounded half to even), the abstract query with the id as written, which the database may
    // read otherwise than that number.
    PreparedExclusionTests tests(registry);
    Statement abstractStatement;
    try {
        while (!cases.Eof()) {
            Increment(visited);
            const int32_t id = ToInt32(cases.Field(u"MedrefID"));
            const bool bound = DirectText(cases.Field(u"MedrefID")) == DecimalText(id);
            bool skip =
                bound ? tests.IsDeathCertificateOnly(id) : IsDeathCertificateOnly(registry, id);
            if (!skip) {
                const int32_t again = ToInt32(cases.Field(u"MedrefID"));
                skip = bound ? !tests.IsReleasable(ui.RereleaseChecked(), again)
                             : !IsReleasable(registry, ui.RereleaseChecked(), again);
            }
            if (!skip) {
                CaseOutput& kept = output.Next();
                kept.consolidated.Clear();
                kept.hasAbstracts = false;
                WriteConsolidatedRecord(kept.consolidated, cases, *context.ConsolidatedLayout,
                                        context.Settings);

                Recordset& abstracts = kept.abstracts;
                if (abstracts.State() == 1) abstracts.Close();
                const std::u16string medrefId = DirectText(cases.Field(u"MedrefID"));
                try {
                    if (bound) {
                        if (!abstractStatement.IsPrepared()) {
                            abstractStatement.Prepare(
                                AbstractQuery(context.AbstractSelectList, u"?"), registry);
                        }
                        abstracts.Open(abstractStatement, id, CursorType::Static);
                    } else {
                        abstracts.Open(AbstractQuery(context.AbstractSelectList, medrefId),
                                       registry, CursorType::Static);
                    }
                } catch (...) {
                    // The case's consolidated record is written before its abstracts are read:
                    // it stays in the file when reading them fails.
                    output.Submit();
                    throw;
                }
                const bool found = !abstracts.Eof();
                kept.hasAbstracts = found;
                output.Submit();
                if (!found) {
                    // Everything written so far stays: the files are closed whole and put in
                    // place before the message, and the program ends after it.
                    output.Finish();
                    snapshot.End();
                    files.PutInPlace();
                    ui.ShowMessage(u"Error: Abstract for MedrefID = " + medrefId +
                                       u" not found. Extract aborted.",
                                   MsgButtons::Ok, MsgIcon::None, std::u16string(ProgramName));
                    return RunOutcome::Aborted;
                }
            }
            cases.MoveNext();
            ui.SetProgressValue(static_cast<float>(visited));
        }
        output.Finish();
        snapshot.End();
    } catch (...) {
        // The cases before the failing one are written first; should writing one of them fail,
        // that failure came first and is the one reported.
        output.Finish();
        throw;
    }

    files.PutInPlace();
    ui.ShowMessage(CompletionText(consolidatedWritten, abstractsWritten, context.ApplicationFolder),
                   MsgButtons::Ok, MsgIcon::Information, caption);
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
