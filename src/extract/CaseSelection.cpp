#include "extract/CaseSelection.h"

#include <array>
#include <initializer_list>

#include "common/AnsiCodePage.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"
#include "extract/OutputFiles.h"
#include "extract/RunFiles.h"
#include "output/ByteSink.h"
#include "output/RecordFormat.h"

namespace mae {

namespace {

// The conditions of the selection clause. Several serve more than one site group.
constexpr std::u16string_view Piece[32] = {
    u"",
    u"substring(DxDate,1,4) = '2011'",                               // 1
    u"(BehaviorICDO3=2 OR BehaviorICDO3=3)",                         // 2
    u" ((psite>='C500' AND psite <='C509')",                         // 3
    u" AND ((HistTypeICDO3>='8000' AND HistTypeICDO3<='8576')",      // 4
    u" OR (HistTypeICDO3 >= '8940' AND HistTypeICDO3 <= '8950')",    // 5
    u" OR (HistTypeICDO3 >= '8980' AND HistTypeICDO3 <= '8981')",    // 6
    u" OR (HistTypeICDO3 = '9020')))",                               // 7
    u" ((psite>='C180' AND psite<='C189' OR psite='C260')",          // 8
    u" AND ((HistTypeICDO3 >= '8000' AND HistTypeICDO3 <= '8152')",  // 9
    u" OR (HistTypeICDO3>='8154' AND HistTypeICDO3 <= '8231')",      // 10
    u" OR (HistTypeICDO3>='8243' AND HistTypeICDO3 <= '8245')",      // 11
    u" OR (HistTypeICDO3>='8247' AND HistTypeICDO3 <= '8248')",      // 12
    u" OR (HistTypeICDO3>='8250' AND HistTypeICDO3<='8576')",        // 13
    u" OR (HistTypeICDO3>='8940' AND HistTypeICDO3<='8950')",        // 14
    u" OR (HistTypeICDO3>='8980' AND HistTypeICDO3<='8981')))",      // 15
    u" ((psite='C199')",                                             // 16
    u" AND ((HistTypeICDO3>='8000' AND HistTypeICDO3<='8152') ",     // 17
    u" OR (HistTypeICDO3>='8154' AND HistTypeICDO3<='8231') ",       // 18
    u" OR (HistTypeICDO3>='8243' AND HistTypeICDO3<='8245') ",       // 19
    u" OR (HistTypeICDO3>='8247' AND HistTypeICDO3<='8248')",        // 20
    u"((Psite = 'C209')",                                            // 21
    u" AND ((HistTypeICDO3>='8000' AND HistTypeICDO3<='8152')",      // 22
    u" OR (HistTypeICDO3>='8154' AND HistTypeICDO3<='8231')",        // 23
    u" OR (HistTypeICDO3>='8243' AND HistTypeICDO3<='8245')",        // 24
    u"((Psite >= 'C340' AND PSite <= 'C349')",                       // 25
    u"((PSite='C619')",                                              // 26
    u" AND ((HistTypeICDO3>='8000' AND HistTypeICDO3<='8110')",      // 27
    u" OR (HistTypeICDO3>='8140' AND HistTypeICDO3<='8576')",        // 28
    u"((PSite >= 'C540' AND PSite <= 'C549') OR (PSite = 'C559')",   // 29
    u" AND ((HistTypeICDO3>='8000' AND HistTypeICDO3<='8790')",      // 30
    u" OR (HistTypeICDO3>='8950' AND HistTypeICDO3<='8951')",        // 31
};

// What joins the conditions: the clause opens with the diagnosis year, then behaviour, then the
// site groups one after the other, and closes with the joins of the three tables.
constexpr std::u16string_view OpenClause = u" WHERE (";
constexpr std::u16string_view AndNext = u") AND (";
constexpr std::u16string_view OrNextGroup = u" OR ";
constexpr std::u16string_view CloseWithJoins =
    u") AND patients.patientid = medicalsum.patientid and medicalsum.medrefid = "
    u"medicalsum_2.medrefid";

// select.sql holds the clause character for character, so the blanks inside the pieces are part
// of it: pieces 3, 8 and 16 begin with one and 17 to 19 end with one, which doubles some blanks.
// In the corpus uteri group AND binds before OR, so its histology ranges apply to C559 alone.
constexpr std::array<std::initializer_list<int>, 7> SiteGroups = {{
    {3, 4, 5, 6, 7},                   // breast
    {8, 9, 10, 11, 12, 13, 14, 15},    // colon
    {16, 17, 18, 19, 20, 13, 14, 15},  // rectosigmoid junction
    {21, 22, 23, 24, 20, 13, 14, 15},  // rectum
    {25, 4, 14, 15},                   // lung
    {26, 27, 28, 14, 15},              // prostate
    {29, 30, 31, 15},                  // corpus uteri
}};

}  // namespace

std::u16string SelectionCriteria() {
    std::u16string text;
    text.reserve(2400);
    text += OpenClause;
    text += Piece[1];
    text += AndNext;
    text += Piece[2];
    text += AndNext;
    for (size_t g = 0; g < SiteGroups.size(); ++g) {
        if (g > 0) text += OrNextGroup;
        for (int p : SiteGroups[g]) text += Piece[p];
    }
    text += CloseWithJoins;
    return text;
}

std::u16string CaseQuery(std::u16string_view consolidatedSelectList) {
    std::u16string query = u"SELECT ";
    query += consolidatedSelectList;
    query += u", medicalsum.medrefid, grpsite2, grpsite3 FROM patients, medicalsum, medicalsum_2 ";
    query += SelectionCriteria();
    return query;
}

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

void SaveSelectSql(RunFiles& files, std::u16string_view caseQuery) {
    std::string line = EncodeAnsi(caseQuery);
    line += LineEnd;
    files.SaveAlone(SelectFileName, line);
}

void OpenCaseRecordset(RunFiles& files, std::u16string_view caseQuery, Connection& registry,
                       Recordset& cases) {
    SaveSelectSql(files, caseQuery);
    cases.Open(caseQuery, registry, CursorType::Static);
}

void CaseStatements::SetCase(const Value& medrefId) {
    m_id = ToInt32(medrefId);
    m_text = DirectText(medrefId);
    m_bound = m_text == DecimalText(m_id);
}

bool CaseStatements::IsDeathCertificateOnly() {
    return m_bound ? m_tests.IsDeathCertificateOnly(m_id)
                   : mae::IsDeathCertificateOnly(m_registry, m_id);
}

bool CaseStatements::IsReleasable(bool rereleaseChecked) {
    return m_bound ? m_tests.IsReleasable(rereleaseChecked, m_id)
                   : mae::IsReleasable(m_registry, rereleaseChecked, m_id);
}

size_t CaseStatements::ReadAbstracts(std::vector<Row>& rows) {
    if (!m_bound) {
        m_abstracts.Open(AbstractQuery(m_abstractSelectList, m_text), m_registry,
                         CursorType::Static);
    } else {
        if (!m_abstract.IsPrepared()) {
            m_abstract.Prepare(AbstractQuery(m_abstractSelectList, u"?"), m_registry);
        }
        m_abstracts.Open(m_abstract, m_id, CursorType::Static);
    }
    return m_abstracts.TakeRows(rows);
}

}  // namespace mae
