#include "extract/ExtractRun.h"

#include <cstdint>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/CaseSelection.h"
#include "extract/ExclusionTests.h"
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

RunOutcome RunExtract(const ExtractContext& context, RunUi& ui) {
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

    FileSink consolidatedFile(JoinPath(context.ApplicationFolder, ConsolidatedFileName));
    FileSink abstractFile(JoinPath(context.ApplicationFolder, AbstractFileName));
    // The log of replaced characters holds this run's replacements, in order.
    FileSink logFile(JoinPath(context.ApplicationFolder, LogFileName));

    ui.SetProgressMax(static_cast<float>(selected));
    cases.MoveFirst();
    int32_t visited = 0;
    int32_t consolidatedWritten = 0;
    int32_t abstractsWritten = 0;
    Recordset abstracts;
    while (!cases.Eof()) {
        Increment(visited);
        bool skip = IsDeathCertificateOnly(registry, ToInt32(cases.Field(u"MedrefID")));
        if (!skip) {
            skip =
                !IsReleasable(registry, ui.RereleaseChecked(), ToInt32(cases.Field(u"MedrefID")));
        }
        if (!skip) {
            WriteConsolidatedRecord(consolidatedFile, cases, *context.ConsolidatedLayout,
                                    context.Settings);
            Increment(consolidatedWritten);

            if (abstracts.State() == 1) abstracts.Close();
            const std::u16string medrefId = DirectText(cases.Field(u"MedrefID"));
            abstracts.Open(AbstractQuery(context.AbstractSelectList, medrefId), registry,
                           CursorType::Static);
            if (abstracts.Eof()) {
                // Everything written so far stays: the files are closed whole before the
                // message, and the program ends after it.
                consolidatedFile.Close();
                abstractFile.Close();
                logFile.Close();
                ui.ShowMessage(
                    u"Error: Abstract for MedrefID = " + medrefId + u" not found. Extract aborted.",
                    MsgButtons::Ok, MsgIcon::None, std::u16string(ProgramName));
                return RunOutcome::Aborted;
            }
            while (!abstracts.Eof()) {
                Increment(abstractsWritten);
                WriteAbstractRecord(abstractFile, abstracts, *context.AbstractLayout,
                                    context.Settings, logFile);
                abstracts.MoveNext();
            }
        }
        cases.MoveNext();
        ui.SetProgressValue(static_cast<float>(visited));
    }

    consolidatedFile.Close();
    abstractFile.Close();
    logFile.Close();
    ui.ShowMessage(CompletionText(consolidatedWritten, abstractsWritten, context.ApplicationFolder),
                   MsgButtons::Ok, MsgIcon::Information, caption);
    return RunOutcome::Completed;
}

}  // namespace mae
