#include "support/MiniRegistry.h"

#include <gtest/gtest.h>

namespace mae::test {

MiniRegistry::MiniRegistry(const std::string& path) : m_path(path) {
    ExecSql(m_path,
            "create table patients (patientid integer, PatientIdNumber text);"
            "create table medicalsum (medrefid integer, patientid integer, DxDate text);"
            "create table medicalsum_2 (medrefid integer, PSite text, HistTypeICDO3 text,"
            " BehaviorICDO3 integer, grpsite2 text, grpsite3 text);"
            "create table abstracts (absrefid integer, medrefid integer, PatientIdNumber text, "
            "DxDate text);"
            "create table abstracts_2 (absrefid integer, PSite text, remarks text);"
            "create table abstracts_3 (absrefid integer, TypeRepSrc, FupUnusual text);");
}

void MiniRegistry::AddCase(int medrefId, const std::string& dxDate, const std::string& site,
                           const std::string& histology, int behavior, bool withPatient,
                           bool withSum2) {
    std::string id = std::to_string(medrefId);
    std::string sql;
    if (withPatient) sql += "insert into patients values (" + id + ", '" + id + "');";
    sql += "insert into medicalsum values (" + id + ", " + id + ", '" + dxDate + "');";
    if (withSum2) {
        sql += "insert into medicalsum_2 values (" + id + ", '" + site + "', '" + histology +
               "', " + std::to_string(behavior) + ", 'g2', 'g3');";
    }
    Exec(sql);
}

void MiniRegistry::AddAbstract(int absrefId, int medrefId, const std::string& typeRepSrc,
                               const std::string& fupUnusual, const std::string& remarksSql,
                               bool withAbstracts2) {
    std::string a = std::to_string(absrefId), m = std::to_string(medrefId);
    std::string sql = "insert into abstracts values (" + a + ", " + m + ", '" + m + "', null);";
    if (withAbstracts2)
        sql += "insert into abstracts_2 values (" + a + ", 'C509', " + remarksSql + ");";
    sql += "insert into abstracts_3 values (" + a + ", " + typeRepSrc + ", " + fupUnusual + ");";
    Exec(sql);
}

Layout MiniRegistry::ConsolidatedLayout() {
    return {{u"20", u"PatientIdNumber", 42, 8, u""},
            {u"390", u"DxDate", 530, 8, u""},
            {u"400", u"PSite", 540, 4, u""}};
}

Layout MiniRegistry::AbstractLayout() {
    return {{u"20", u"PatientIdNumber", 42, 8, u""},
            {u"400", u"PSite", 540, 4, u""},
            {u"2520", u"TextDx", 2000, 10, u"X"},
            {u"2530", u"TextXray", 3000, 10, u"X"}};
}

std::u16string MiniRegistry::ConsolidatedSelectList() {
    return u"Medicalsum.medrefid, Patients.PatientIdNumber, DxDate, PSite";
}

std::u16string MiniRegistry::AbstractSelectList() { return u"medrefid, PatientIdNumber, PSite"; }

MsgAnswer RecordingUi::ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                                   const std::u16string& title) {
    boxes.push_back({text, buttons, icon, title});
    if (whileShown) whileShown(boxes.back());
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    return answerYes ? MsgAnswer::Yes : MsgAnswer::No;
}

MiniRun::MiniRun(const MiniRegistry& registry, const std::string& folder,
                 const std::u16string& scanText) {
    connection.SetConnectionString(SqliteConnectionString(registry.path()));
    connection.SetCommandTimeout(120);
    connection.SetRowByRow(true);
    connection.Open();
    context.Registry = &connection;
    context.ConsolidatedLayout = &consolidated;
    context.AbstractLayout = &abstract;
    context.ConsolidatedSelectList = MiniRegistry::ConsolidatedSelectList();
    context.AbstractSelectList = MiniRegistry::AbstractSelectList();
    context.Settings.NaaccrVersion = u"130";
    context.Settings.ScanTextMode = scanText;
    context.ApplicationFolder = folder;
}

std::vector<std::string> RecordLines(const std::string& path) {
    std::string bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << path << " does not end in CR LF";
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace mae::test
