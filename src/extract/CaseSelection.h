#pragma once

#include <string>
#include <string_view>

namespace mae {

class Connection;
class Recordset;

// The fixed WHERE clause (with the table joins) that picks the audited cases.
std::u16string SelectionCriteria();
// "SELECT " + select list + the fixed columns and tables + SelectionCriteria().
std::u16string CaseQuery(std::u16string_view consolidatedSelectList);
// Writes the query as one line in the files' code page (AnsiCodePage.h), CR LF, to
// folder/select.sql, replacing the file in one step (a new file renamed into place).
void SaveSelectSql(const std::string& folder, std::u16string_view caseQuery);
// Saves the query, then opens it with a static cursor.
void OpenCaseRecordset(const std::string& folder, std::u16string_view caseQuery,
                       Connection& registry, Recordset& cases);

}  // namespace mae
