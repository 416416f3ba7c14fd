#pragma once

// Synthetic registries for the demo, the tests and the benchmark.
//
// A registry database holds the six host tables the extraction reads:
//
//   patients      patientid, PatientIdNumber (item 20), sex (220)
//   medicalsum    medrefid, patientid, DxDate (390), the other case-level items
//   medicalsum_2  medrefid, PSite (400), HistTypeICDO3 (522), BehaviorICDO3 (523, INTEGER),
//                 grpsite2, grpsite3, the collaborative-staging items
//   abstracts     absrefid, medrefid, the abstract's identification and diagnosis items
//   abstracts_2   absrefid, the treatment items, remarks
//   abstracts_3   absrefid, TypeRepSrc, FupUnusual, the collaborative-staging items
//
// Every item column exists in exactly one table of the case group (patients, medicalsum,
// medicalsum_2) and, when the item is in the abstract list, in exactly one table of the abstract
// group (abstracts, abstracts_2, abstracts_3), so the unqualified names of the case query, the
// abstract query and the two exclusion tests are never ambiguous. The 17 text items have no column:
// an abstract carries them in "remarks", one piece after another, separated by the character of
// code 2. Item columns hold text (codes keep their leading zeros: "C500", "8500", "20110315"),
// except BehaviorICDO3, which is an INTEGER.
//
// Everything is decided by the seed through our own PRNG, so a seed gives the same bytes on every
// platform and library version.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mae::gen {

struct RegistryOptions {
    // Consolidated cases (medicalsum rows); 0 gives the empty schema, for hand-made registries.
    int cases = 60;
    uint32_t seed = 1;
    // Mean number of abstracts of a case that has any; at least 1.
    double abstractsPerCase = 2.5;
    // Share of the cases after the fixed opening mix (see below) that are drawn from the seven
    // selected site groups; the rest fail the selection in one of its ways. 0..1.
    double selectedShare = 0.6;
    // false: short text pieces (a few words, some empty). true: every text item filled to its full
    // NAACCR length (1000 characters, 100 for the two title items), as the benchmark wants.
    bool fullText = false;
    // true: the cases with accents also carry letters outside Windows-1252 (L stroke, D stroke,
    // e with circumflex and tilde, an emoji) in an item column of the case and of its abstracts
    // (rxDateOther) and at the start of their first remarks piece.
    bool beyondWindows1252 = false;
};

// What an extraction of the registry must produce, worked out from the generated values (not from
// the SQL). "Kept" counts assume the extraction's two exclusion tests.
struct RegistrySummary {
    int casesTotal = 0;     // medicalsum rows
    int casesSelected = 0;  // rows the case query returns
    // Selected cases by the first site group (1 breast .. 7 corpus uteri) they match, at [group-1].
    std::array<int, 7> selectedPerGroup{};
    // Selected cases whose every abstract has TypeRepSrc 6, 7 or Null, those without any abstract
    // included: skipped by the death-certificate test.
    int casesDeathCertOnly = 0;
    // Selected cases not skipped above with no abstract whose FupUnusual is two blanks or "00":
    // skipped only when the non-release check box is ticked.
    int casesNonReleasable = 0;
    int casesKept = 0;             // consolidated records with the check box unchecked
    int casesKeptReleasable = 0;   // consolidated records with the check box checked
    int abstractsTotal = 0;        // abstracts rows (each has its abstracts_2 and abstracts_3 row)
    int abstractsOfKeptCases = 0;  // abstract records, check box unchecked
    int abstractsOfKeptReleasableCases = 0;  // abstract records, check box checked
    // Abstracts whose remarks or item columns hold a character outside ASCII.
    int abstractsWithNonAscii = 0;
};

// Writes a new registry database at path (an existing file is replaced). The first cases follow
// a fixed mix, so even a small registry holds: a selected case in each of the seven site groups,
// cases that are not selected (diagnosed 2010 and 2012, behaviour 1, excluded histologies, other
// sites, no medicalsum_2 row, no patients row), death-certificate-only cases, non-releasable
// cases, a selected case without abstracts, and accented letters and the euro sign in remarks and
// in an item column. Every selected case that survives the death-certificate test has at least
// one abstract. Throws std::invalid_argument for bad options, std::runtime_error on a SQLite error.
RegistrySummary WriteRegistryDatabase(const std::string& path, const RegistryOptions& options = {});

// The project's copy of the NAACCR 13 layout (demo/naaccr13-layout.csv in the source tree).
const std::string& DefaultLayoutCsvPath();

// Writes a new control database at path: "naaccrparameters" (one current row naming tableName,
// version "130", and one older row that is not current) and the layout table tableName with one
// row per item of the consolidated and abstract item lists (83), start and length taken from the
// layout CSV (item_number,name,long_label,start,length,...), "X" in Prompting for the text items.
// Throws std::runtime_error when the CSV is missing or lacks an item, or on a SQLite error.
void WriteControlDatabase(const std::string& path,
                          const std::string& layoutCsvPath = DefaultLayoutCsvPath(),
                          const std::string& tableName = "naaccr13layout");

// Writes folder/Meridane.ini (CR LF lines): [Databases] Control and Registry as SQLite3 ODBC
// connection strings with absolute paths, [Options] ScanText. Throws std::invalid_argument for a
// path the connection string cannot carry (a ";", a line break, or a value past 249 characters,
// which the program's profile read would cut), std::runtime_error when the file cannot be written.
void WriteIni(const std::string& folder, const std::string& controlDbPath,
              const std::string& registryDbPath, const std::string& scanText = "TEXT");

// Where an item lives in the registry. caseTable and abstractTable are empty when the item is not
// a column of that group (consolidated-only, abstract-only, or a text item carried in remarks).
struct ItemColumn {
    int item;
    std::string_view column;  // the layout's FieldName
    std::string_view caseTable;
    std::string_view abstractTable;
    bool textItem;  // Prompting "X"
};
// The 83 items of both item lists, ascending.
std::span<const ItemColumn> ItemColumns();

// The site group (1..7) a case falls into under the fixed selection criteria, 0 when it is not
// selected. Sites and histologies compare as text, as the registry stores them; a missing
// behaviour or date never matches. Group 7 takes C540-C549 with any histology but C559 only with
// the listed ones, as the criteria's text reads.
int SelectionGroup(std::string_view dxDate, std::optional<int> behavior, std::string_view site,
                   std::string_view histology);

}  // namespace mae::gen
