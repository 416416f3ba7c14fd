#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/Recordset.h"
#include "db/Row.h"
#include "db/Statement.h"
#include "extract/Exclusions.h"

namespace mae {

class Connection;
class RunFiles;
class Value;

// The fixed WHERE clause (with the table joins) that picks the audited cases.
std::u16string SelectionCriteria();
// "SELECT " + select list + the fixed columns and tables + SelectionCriteria().
std::u16string CaseQuery(std::u16string_view consolidatedSelectList);
// The abstract query of one case.
std::u16string AbstractQuery(std::u16string_view abstractSelectList, std::u16string_view medrefId);
// Writes the query as one line in the files' code page (AnsiCodePage.h), CR LF, to select.sql
// among the run's files, replacing the file in one step (a new file renamed into place).
void SaveSelectSql(RunFiles& files, std::u16string_view caseQuery);
// Saves the query, then opens it with a static cursor.
void OpenCaseRecordset(RunFiles& files, std::u16string_view caseQuery, Connection& registry,
                       Recordset& cases);

// The statements a run sends for each case: the two exclusion tests and the abstract query.
// They are prepared on their first use and executed with the case's id bound. A case whose
// MedrefID does not read as its own whole number (e.g. "0012" or "12.5") has its statements sent
// as text instead: the two tests with the whole number the id converts to (rounded half to
// even), the abstract query with the id as written, which the database may read otherwise than
// that number.
class CaseStatements {
  public:
    CaseStatements(Connection& registry, std::u16string_view abstractSelectList)
        : m_registry(registry), m_abstractSelectList(abstractSelectList), m_tests(registry) {}

    // The case the calls below are about, by its MedrefID field.
    void SetCase(const Value& medrefId);
    // The case's MedrefID as written.
    const std::u16string& MedrefIdText() const noexcept { return m_text; }
    bool IsDeathCertificateOnly();
    bool IsReleasable(bool rereleaseChecked);
    // Reads the case's abstracts whole (a static cursor) into rows[0..n) and returns n; the
    // storage rows held before is used for the next case's abstracts.
    size_t ReadAbstracts(std::vector<Row>& rows);

  private:
    Connection& m_registry;
    std::u16string_view m_abstractSelectList;
    PreparedExclusionTests m_tests;
    Statement m_abstract;
    Recordset m_abstracts;  // after m_abstract: it reads from that statement
    int32_t m_id = 0;
    bool m_bound = false;
    std::u16string m_text;
};

}  // namespace mae
