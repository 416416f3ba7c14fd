#include <array>

#include "generator/RegistryGenerator.h"

namespace mae::gen {

namespace {

constexpr std::string_view P = "patients";
constexpr std::string_view M = "medicalsum";
constexpr std::string_view M2 = "medicalsum_2";
constexpr std::string_view A = "abstracts";
constexpr std::string_view A2 = "abstracts_2";
constexpr std::string_view A3 = "abstracts_3";
constexpr std::string_view None = "";

// The diagnosis items keep the host's own column names, which the selection criteria name; the
// others are named after the NAACCR item. Patient items sit in patients, the case summary in
// medicalsum, site/histology/behaviour and staging in medicalsum_2; an abstract spreads the same
// items over its three tables.
constexpr std::array<ItemColumn, 83> kItems{{
    {20, "PatientIdNumber", P, A, false},
    {220, "sex", P, A, false},
    {380, "sequenceNumberCentral", M, A, false},
    {390, "DxDate", M, A, false},
    {400, "PSite", M2, A, false},
    {410, "laterality", M, A, false},
    {440, "grade", M, A, false},
    {522, "HistTypeICDO3", M2, A, false},
    {523, "BehaviorICDO3", M2, A, false},
    {670, "rxHospSurgPrimSite", None, A, false},
    {672, "rxHospScopeRegLnSur", None, A, false},
    {674, "rxHospSurgOthRegDis", None, A, false},
    {690, "rxHospRadiation", None, A, false},
    {700, "rxHospChemo", None, A, false},
    {710, "rxHospHormone", None, A, false},
    {720, "rxHospBrm", None, A, false},
    {730, "rxHospOther", None, A, false},
    {740, "rxHospDxStgProc", None, A, false},
    {820, "regionalNodesPositive", M, A2, false},
    {830, "regionalNodesExamined", M, A2, false},
    {1200, "rxDateSurgery", M, A2, false},
    {1201, "rxDateSurgeryFlag", M, A2, false},
    {1210, "rxDateRadiation", M, A2, false},
    {1211, "rxDateRadiationFlag", M, A2, false},
    {1220, "rxDateChemo", M, A2, false},
    {1221, "rxDateChemoFlag", M, A2, false},
    {1230, "rxDateHormone", M, A2, false},
    {1231, "rxDateHormoneFlag", M, A2, false},
    {1240, "rxDateBrm", M, A2, false},
    {1241, "rxDateBrmFlag", M, A2, false},
    {1250, "rxDateOther", M, A2, false},
    {1251, "rxDateOtherFlag", M, A2, false},
    {1260, "dateInitialRxSeer", M, A2, false},
    {1261, "dateInitialRxSeerFlag", M, A2, false},
    {1270, "date1stCrsRxCoc", M, A2, false},
    {1271, "date1stCrsRxCocFlag", M, A2, false},
    {1280, "rxDateDxStgProc", M, A2, false},
    {1281, "rxDateDxStgProcFlag", M, A2, false},
    {1290, "rxSummSurgPrimSite", M, A2, false},
    {1292, "rxSummScopeRegLnSur", M, A2, false},
    {1294, "rxSummSurgOthRegDis", M, A2, false},
    {1350, "rxSummDxStgProc", M, A2, false},
    {1380, "rxSummSurgRadSeq", M, A2, false},
    {1390, "rxSummChemo", M, A2, false},
    {1400, "rxSummHormone", M, A2, false},
    {1410, "rxSummBrm", M, A2, false},
    {1420, "rxSummOther", M, A2, false},
    {1570, "radRegionalRxModality", M, A2, false},
    {2520, "textDxProcPe", None, None, true},
    {2530, "textDxProcXRayScan", None, None, true},
    {2540, "textDxProcScopes", None, None, true},
    {2550, "textDxProcLabTests", None, None, true},
    {2560, "textDxProcOp", None, None, true},
    {2570, "textDxProcPath", None, None, true},
    {2580, "textPrimarySiteTitle", None, None, true},
    {2590, "textHistologyTitle", None, None, true},
    {2600, "textStaging", None, None, true},
    {2610, "rxTextSurgery", None, None, true},
    {2620, "rxTextRadiation", None, None, true},
    {2630, "rxTextRadiationOther", None, None, true},
    {2640, "rxTextChemo", None, None, true},
    {2650, "rxTextHormone", None, None, true},
    {2660, "rxTextBrm", None, None, true},
    {2670, "rxTextOther", None, None, true},
    {2680, "textRemarks", None, None, true},
    {2800, "csTumorSize", M2, A3, false},
    {2810, "csExtension", M2, A3, false},
    {2820, "csTumorSizeExtEval", M2, A3, false},
    {2830, "csLymphNodes", M2, A3, false},
    {2850, "csMetsAtDx", M2, A3, false},
    {2862, "csSiteSpecificFactor8", M2, A3, false},
    {2863, "csSiteSpecificFactor9", M2, A3, false},
    {2864, "csSiteSpecificFactor10", M2, A3, false},
    {2865, "csSiteSpecificFactor11", M2, A3, false},
    {2866, "csSiteSpecificFactor12", M2, A3, false},
    {2867, "csSiteSpecificFactor13", M2, A3, false},
    {2868, "csSiteSpecificFactor14", M2, A3, false},
    {2880, "csSiteSpecificFactor1", M2, A3, false},
    {2890, "csSiteSpecificFactor2", M2, A3, false},
    {2900, "csSiteSpecificFactor3", M2, A3, false},
    {3020, "derivedSs2000", M2, A3, false},
    {3231, "rxDateSystemicFlag", M, None, false},
    {3250, "rxSummTransplntEndocr", M, A2, false},
}};

bool Between(std::string_view value, std::string_view low, std::string_view high) {
    return value >= low && value <= high;
}

// Histologies shared by the colorectal groups (2, 3 and 4).
bool ColorectalHistology(std::string_view h) {
    return Between(h, "8000", "8152") || Between(h, "8154", "8231") || Between(h, "8243", "8245") ||
           Between(h, "8247", "8248") || Between(h, "8250", "8576") || Between(h, "8940", "8950") ||
           Between(h, "8980", "8981");
}

}  // namespace

std::span<const ItemColumn> ItemColumns() { return kItems; }

int SelectionGroup(std::string_view dxDate, std::optional<int> behavior, std::string_view site,
                   std::string_view h) {
    if (dxDate.substr(0, 4) != "2011") return 0;
    if (!behavior || (*behavior != 2 && *behavior != 3)) return 0;
    if (Between(site, "C500", "C509") &&
        (Between(h, "8000", "8576") || Between(h, "8940", "8950") || Between(h, "8980", "8981") ||
         h == "9020")) {
        return 1;
    }
    if ((Between(site, "C180", "C189") || site == "C260") && ColorectalHistology(h)) return 2;
    if (site == "C199" && ColorectalHistology(h)) return 3;
    if (site == "C209" && ColorectalHistology(h)) return 4;
    if (Between(site, "C340", "C349") &&
        (Between(h, "8000", "8576") || Between(h, "8940", "8950") || Between(h, "8980", "8981"))) {
        return 5;
    }
    if (site == "C619" && (Between(h, "8000", "8110") || Between(h, "8140", "8576") ||
                           Between(h, "8940", "8950") || Between(h, "8980", "8981"))) {
        return 6;
    }
    // The criteria join "C540-C549 OR C559 AND histologies" without brackets: AND binds first.
    if (Between(site, "C540", "C549") ||
        (site == "C559" && (Between(h, "8000", "8790") || Between(h, "8950", "8951") ||
                            Between(h, "8980", "8981")))) {
        return 7;
    }
    return 0;
}

}  // namespace mae::gen
