#pragma once

#include <functional>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "extract/ExtractRun.h"
#include "extract/RunUi.h"
#include "layout/ItemLayout.h"
#include "support/TestDb.h"

namespace mae::test {

// A hand-made registry with the few columns a small layout needs, for tests that must control
// every case and abstract.
class MiniRegistry {
  public:
    explicit MiniRegistry(const std::string& path);
    // A consolidated case with its patients, medicalsum and medicalsum_2 rows (patientid =
    // medrefid); withPatient/withSum2 false leaves that row out.
    void AddCase(int medrefId, const std::string& dxDate, const std::string& site,
                 const std::string& histology, int behavior, bool withPatient = true,
                 bool withSum2 = true);
    // An abstract with its abstracts_2 and abstracts_3 rows; typeRepSrc and fupUnusual are SQL
    // literals ("'07'", "null", "6").
    void AddAbstract(int absrefId, int medrefId, const std::string& typeRepSrc,
                     const std::string& fupUnusual, const std::string& remarksSql = "'a'",
                     bool withAbstracts2 = true);
    void Exec(const std::string& sql) const { ExecSql(m_path, sql); }
    const std::string& path() const { return m_path; }

    // Consolidated: item 20 PatientIdNumber at 42 (8), 390 DxDate at 530 (8), 400 PSite at 540.
    static Layout ConsolidatedLayout();
    // Abstract: item 20 at 42 (8), 400 PSite at 540 (4), text items 2520 at 2000 (10) and
    // 2530 at 3000 (10).
    static Layout AbstractLayout();
    static std::u16string ConsolidatedSelectList();
    static std::u16string AbstractSelectList();

  private:
    std::string m_path;
};

// What the run showed the user, and its answers.
class RecordingUi : public RunUi {
  public:
    struct Box {
        std::u16string text;
        MsgButtons buttons;
        MsgIcon icon;
        std::u16string title;
    };
    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override;
    void SetProgressMax(float max) override { progressMax = max; }
    void SetProgressValue(float value) override { progressValues.push_back(value); }
    bool RereleaseChecked() override { return rerelease; }

    bool answerYes = true;
    bool rerelease = false;
    // Called while each box is up, as the user would be looking at it.
    std::function<void(const Box&)> whileShown;
    std::vector<Box> boxes;
    float progressMax = -1;
    std::vector<float> progressValues;
};

// An open registry connection and a context for RunExtract over a MiniRegistry.
struct MiniRun {
    MiniRun(const MiniRegistry& registry, const std::string& folder,
            const std::u16string& scanText = u"TEXT");
    Connection connection;
    Layout consolidated = MiniRegistry::ConsolidatedLayout();
    Layout abstract = MiniRegistry::AbstractLayout();
    ExtractContext context;
};

// The lines of a record file, each without its CR LF; a file not ending in CR LF fails the test.
std::vector<std::string> RecordLines(const std::string& path);

}  // namespace mae::test
