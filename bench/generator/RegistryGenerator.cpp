#include "generator/RegistryGenerator.h"

#include <cmath>
#include <stdexcept>
#include <vector>

#include "generator/SqliteFile.h"

namespace mae::gen {

namespace {

// splitmix64: tiny, fast and the same on every platform, unlike the std distributions.
class Rng {
  public:
    explicit Rng(uint64_t seed) : m_state(seed) {}

    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= result < n (n > 0).
    size_t Below(size_t n) { return static_cast<size_t>((Next() >> 11) % n); }
    // 0 <= result < 1.
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    bool Chance(double p) { return Unit() < p; }
    template <typename T, size_t N>
    const T& Pick(const T (&choices)[N]) {
        return choices[Below(N)];
    }

  private:
    uint64_t m_state;
};

// A column value: Null, a whole number or a text (UTF-8).
struct Cell {
    enum class Type { Null, Int, Text } type = Type::Null;
    int64_t number = 0;
    std::string text;

    static Cell Null() { return {}; }
    static Cell Int(int64_t v) { return {Type::Int, v, {}}; }
    static Cell Text(std::string v) { return {Type::Text, 0, std::move(v)}; }
    bool IsNull() const { return type == Type::Null; }
};

// What a case is meant to be. The summary is still counted from the values written.
enum class Kind {
    Breast,
    Colon,
    Rectosigmoid,
    Rectum,
    Lung,
    Prostate,
    CorpusUteri,
    Year2010,
    Year2012,
    LowBehavior,
    ExcludedHistology,
    OtherSite,
    NoMedicalsum2,
    NoPatient,
};

enum class Outcome {
    Kept,           // some abstract not from a death certificate, some releasable
    DeathCertOnly,  // every abstract TypeRepSrc 6, 7 or Null
    NonReleasable,  // no abstract with FupUnusual "  " or "00"
    NoAbstracts,
};

struct Plan {
    Kind kind;
    Outcome outcome;
    bool accents;
};

// The first cases of every registry, so that a small one already holds every kind.
constexpr Plan kOpening[] = {
    {Kind::Breast, Outcome::Kept, true},
    {Kind::Colon, Outcome::Kept, false},
    {Kind::Rectosigmoid, Outcome::Kept, false},
    {Kind::Rectum, Outcome::Kept, false},
    {Kind::Lung, Outcome::Kept, false},
    {Kind::Prostate, Outcome::Kept, false},
    {Kind::CorpusUteri, Outcome::Kept, false},
    {Kind::Breast, Outcome::DeathCertOnly, false},
    {Kind::Lung, Outcome::NonReleasable, true},
    {Kind::Year2010, Outcome::Kept, false},
    {Kind::LowBehavior, Outcome::Kept, false},
    {Kind::ExcludedHistology, Outcome::Kept, false},
    {Kind::OtherSite, Outcome::Kept, false},
    {Kind::NoMedicalsum2, Outcome::Kept, false},
    {Kind::Colon, Outcome::NonReleasable, false},
    {Kind::Prostate, Outcome::DeathCertOnly, false},
    {Kind::Year2012, Outcome::Kept, false},
    {Kind::NoPatient, Outcome::Kept, false},
    {Kind::CorpusUteri, Outcome::Kept, true},
    {Kind::Breast, Outcome::NoAbstracts, false},
    {Kind::Rectum, Outcome::DeathCertOnly, false},
    {Kind::Prostate, Outcome::Kept, true},
};

struct SiteHist {
    const char* site;
    const char* hist;
};

// Sites and histologies that a group takes, bounds included.
constexpr const char* kBreastSites[] = {"C500", "C501", "C502", "C503", "C504",
                                        "C505", "C506", "C508", "C509"};
constexpr const char* kBreastHists[] = {"8500", "8500", "8500", "8520", "8522", "8480",
                                        "8000", "8576", "8940", "8950", "8980", "9020"};
constexpr const char* kColonSites[] = {"C180", "C181", "C182", "C183", "C184", "C185",
                                       "C186", "C187", "C188", "C189", "C260"};
constexpr const char* kColorectalHists[] = {"8140", "8140", "8140", "8480", "8210", "8263",
                                            "8020", "8152", "8154", "8231", "8243", "8245",
                                            "8247", "8248", "8250", "8576", "8940", "8981"};
constexpr const char* kLungSites[] = {"C340", "C341", "C342", "C343", "C348", "C349"};
constexpr const char* kLungHists[] = {"8070", "8140", "8140", "8041", "8046",
                                      "8250", "8012", "8576", "8950", "8980"};
constexpr const char* kProstateHists[] = {"8140", "8140", "8140", "8550", "8110",
                                          "8000", "8500", "8576", "8940", "8981"};
constexpr SiteHist kCorpus[] = {{"C540", "8800"}, {"C541", "8380"}, {"C541", "8441"},
                                {"C542", "8890"}, {"C543", "8933"}, {"C549", "8310"},
                                {"C559", "8380"}, {"C559", "8000"}, {"C559", "8790"},
                                {"C559", "8950"}, {"C559", "8951"}, {"C559", "8981"}};
// In a group's site range, outside its histologies.
constexpr SiteHist kExcludedHistologies[] = {{"C260", "8153"}, {"C260", "8242"}, {"C260", "8246"},
                                             {"C260", "8249"}, {"C504", "9021"}, {"C619", "8120"},
                                             {"C559", "8800"}, {"C341", "8800"}, {"C187", "9680"},
                                             {"C199", "8153"}, {"C209", "8249"}, {"C500", "8577"}};
// Outside every group, some just past a group's bounds (C510, C210, C550).
constexpr SiteHist kOtherSites[] = {{"C169", "8140"}, {"C250", "8500"}, {"C440", "8720"},
                                    {"C710", "9440"}, {"C649", "8312"}, {"C530", "8070"},
                                    {"C569", "8441"}, {"C510", "8070"}, {"C210", "8070"},
                                    {"C739", "8260"}, {"C550", "8380"}};

// The 17 text items, in layout order, with their record lengths and a few phrases each.
struct TextItem {
    int length;
    std::vector<const char*> phrases;
};

const std::vector<TextItem>& TextItems() {
    static const std::vector<TextItem> items = {
        {1000,
         {"PE: mass palpable, mobile, non tender", "No palpable adenopathy",
          "Weight loss of 4 kg over three months", "ECOG 1, afebrile"}},
        {1000,
         {"CT chest abdomen pelvis: no distant disease", "Mammogram: spiculated mass 2.1 cm",
          "PET scan: avid primary, nodes negative", "MRI pelvis: T2 lesion"}},
        {1000,
         {"Colonoscopy: ulcerated lesion at 25 cm", "Bronchoscopy: endobronchial tumour",
          "Cystoscopy negative", "Hysteroscopy: polypoid mass"}},
        {1000, {"CEA 4.2", "PSA 8.6 ng/ml", "CA-125 within normal limits", "ER+ PR+ HER2-"}},
        {1000,
         {"Lumpectomy with sentinel node biopsy", "Right hemicolectomy",
          "Lobectomy, right upper lobe", "Radical prostatectomy", "TAH-BSO"}},
        {1000,
         {"Invasive ductal carcinoma, margins clear", "Adenocarcinoma, moderately differentiated",
          "0/12 lymph nodes positive", "Gleason 3+4=7", "Endometrioid adenocarcinoma"}},
        {100, {}},  // site title: from the case
        {100, {}},  // histology title: from the case
        {1000, {"pT1c pN0 M0", "pT3 pN1a cM0", "Stage IIA", "CS extension 100, nodes 000"}},
        {1000, {"Surgery at primary hospital", "Re-excision for close margin", "No surgery"}},
        {1000, {"Whole breast RT 50 Gy in 25 fractions", "No radiation planned", "IMRT 78 Gy"}},
        {1000, {"None", "Brachytherapy boost", "Radiation other: not given"}},
        {1000, {"FOLFOX x 12 cycles", "Carboplatin and paclitaxel", "Chemotherapy refused"}},
        {1000, {"Tamoxifen 20 mg daily", "Androgen deprivation", "Letrozole", "None"}},
        {1000, {"None", "BRM not given", "Trastuzumab for one year"}},
        {1000, {"None", "Clinical trial enrolment", "Other therapy not given"}},
        {1000,
         {"Patient seen in follow-up clinic", "Referred from outside facility",
          "Second opinion only", "History of smoking, 30 pack-years"}},
    };
    return items;
}

// Accented letters and the euro sign, as a Western registry would meet them.
constexpr const char* kAccentedPhrases[] = {
    "Patiente suivie \xC3\xA0 l'h\xC3\xB4pital Saint-\xC3\x89loi",  // à ô É
    "\xC3\x9C"
    "berweisung durch Dr. M\xC3\xBCller",  // Ü ü
    "Kosten\xC3\xBC"
    "bernahme 1250 \xE2\x82\xAC",                                                  // ü €
    "Na\xC3\xAFve \xC3\xA0 tout traitement, r\xC3\xA9sultat pr\xC3\xA9liminaire",  // ï à é
};

// Letters a Windows-1252 PC writes as best-fit bytes or '?': L stroke (U+0141), D stroke
// (U+0110, d stroke U+0111), e with circumflex and tilde (U+1EC5) and an emoji (two UTF-16 units).
constexpr const char* kBeyondWindows1252Item = "\xC5\x81\xE1\xBB\x85\xC4\x90\xF0\x9F\x98\x80";
constexpr const char* kBeyondWindows1252Phrase =
    "\xC5\x81ukasz \xC4\x90or\xC4\x91"
    "evi\xC4\x87, Nguy\xE1\xBB\x85n \xF0\x9F\x98\x80";

size_t CountCodePoints(std::string_view utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

// Cuts a UTF-8 text after its first n code points.
void CutToCodePoints(std::string& utf8, size_t n) {
    size_t seen = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
        if (seen == n) {
            utf8.resize(i);
            return;
        }
        ++seen;
    }
}

bool HasNonAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return true;
    }
    return false;
}

std::string TwoDigits(int v) {
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

// The facts of one case that its row values and its abstracts are drawn from.
struct Case {
    Plan plan;
    int64_t medrefid = 0;
    int64_t patientid = 0;
    bool firstOfPatient = true;
    bool hasPatientRow = true;
    bool hasMedicalsum2Row = true;
    std::string patientNumber;  // item 20 as stored
    std::string sex;
    std::string sequence;  // item 380
    std::string dxDate;
    std::string site;
    std::string hist;
    int behavior = 3;
};

Kind DrawKind(Rng& rng, double selectedShare) {
    if (rng.Chance(selectedShare)) {
        size_t r = rng.Below(100);
        if (r < 30) return Kind::Breast;
        if (r < 50) return Kind::Colon;
        if (r < 55) return Kind::Rectosigmoid;
        if (r < 63) return Kind::Rectum;
        if (r < 83) return Kind::Lung;
        if (r < 95) return Kind::Prostate;
        return Kind::CorpusUteri;
    }
    size_t r = rng.Below(100);
    if (r < 20) return Kind::Year2010;
    if (r < 40) return Kind::Year2012;
    if (r < 55) return Kind::LowBehavior;
    if (r < 70) return Kind::ExcludedHistology;
    if (r < 90) return Kind::OtherSite;
    if (r < 95) return Kind::NoMedicalsum2;
    return Kind::NoPatient;
}

Outcome DrawOutcome(Rng& rng) {
    size_t r = rng.Below(100);
    if (r < 6) return Outcome::DeathCertOnly;
    if (r < 16) return Outcome::NonReleasable;
    if (r < 18) return Outcome::NoAbstracts;
    return Outcome::Kept;
}

// Site and histology of a case of a selected group (kind Breast..CorpusUteri).
void DrawSelectedSite(Kind kind, Rng& rng, Case& c) {
    switch (kind) {
        case Kind::Breast:
            c.site = rng.Pick(kBreastSites);
            c.hist = rng.Pick(kBreastHists);
            break;
        case Kind::Colon:
            c.site = rng.Pick(kColonSites);
            c.hist = rng.Pick(kColorectalHists);
            break;
        case Kind::Rectosigmoid:
            c.site = "C199";
            c.hist = rng.Pick(kColorectalHists);
            break;
        case Kind::Rectum:
            c.site = "C209";
            c.hist = rng.Pick(kColorectalHists);
            break;
        case Kind::Lung:
            c.site = rng.Pick(kLungSites);
            c.hist = rng.Pick(kLungHists);
            break;
        case Kind::Prostate:
            c.site = "C619";
            c.hist = rng.Pick(kProstateHists);
            break;
        default: {
            const SiteHist& sh = rng.Pick(kCorpus);
            c.site = sh.site;
            c.hist = sh.hist;
        }
    }
}

std::string DrawDate(Rng& rng, int year) {
    std::string date = std::to_string(year) + TwoDigits(1 + static_cast<int>(rng.Below(12)));
    // Now and then the day is unknown and left blank.
    return date + (rng.Chance(0.05) ? "  " : TwoDigits(1 + static_cast<int>(rng.Below(28))));
}

// Fills the diagnosis facts of a case from its kind.
void DrawDiagnosis(Rng& rng, Case& c) {
    Kind kind = c.plan.kind;
    int year = 2011;
    c.behavior = rng.Chance(0.1) ? 2 : 3;
    switch (kind) {
        case Kind::Year2010:
        case Kind::Year2012:
        case Kind::LowBehavior:
        case Kind::NoMedicalsum2:
        case Kind::NoPatient: {
            // A diagnosis that a selected group would take: only the named flaw keeps it out.
            constexpr Kind groups[] = {Kind::Breast, Kind::Colon, Kind::Lung, Kind::Prostate,
                                       Kind::Rectum};
            DrawSelectedSite(rng.Pick(groups), rng, c);
            if (kind == Kind::Year2010) year = 2010;
            if (kind == Kind::Year2012) year = 2012;
            if (kind == Kind::LowBehavior) c.behavior = rng.Chance(0.5) ? 1 : 0;
            break;
        }
        case Kind::ExcludedHistology: {
            const SiteHist& sh = rng.Pick(kExcludedHistologies);
            c.site = sh.site;
            c.hist = sh.hist;
            break;
        }
        case Kind::OtherSite: {
            const SiteHist& sh = rng.Pick(kOtherSites);
            c.site = sh.site;
            c.hist = sh.hist;
            break;
        }
        default:
            DrawSelectedSite(kind, rng, c);
    }
    c.dxDate = DrawDate(rng, year);
    c.hasMedicalsum2Row = kind != Kind::NoMedicalsum2;
    c.hasPatientRow = kind != Kind::NoPatient;
}

std::string SexFor(const std::string& site, Rng& rng) {
    if (site == "C619") return "1";
    if (site.starts_with("C5")) return rng.Chance(0.01) ? "1" : "2";  // breast and female organs
    return rng.Chance(0.5) ? "1" : "2";
}

// Plans every case: kinds, identifiers, patients and diagnoses (no abstracts yet).
std::vector<Case> PlanCases(const RegistryOptions& options, Rng& rng) {
    std::vector<Case> cases(static_cast<size_t>(options.cases));
    int64_t nextPatient = 1;
    for (size_t i = 0; i < cases.size(); ++i) {
        Case& c = cases[i];
        if (i < std::size(kOpening)) {
            c.plan = kOpening[i];
        } else {
            c.plan.kind = DrawKind(rng, options.selectedShare);
            c.plan.outcome = DrawOutcome(rng);
            c.plan.accents = rng.Chance(0.15);
        }
        c.medrefid = 100001 + static_cast<int64_t>(i);
        DrawDiagnosis(rng, c);
        std::string sex = SexFor(c.site, rng);
        // Some patients have a second primary: the case joins the patient of the one before.
        bool second = i > 0 && c.hasPatientRow && cases[i - 1].hasPatientRow &&
                      cases[i - 1].firstOfPatient && cases[i - 1].sex == sex && rng.Chance(0.1);
        if (second) {
            Case& first = cases[i - 1];
            c.patientid = first.patientid;
            c.patientNumber = first.patientNumber;
            c.firstOfPatient = false;
            first.sequence = "01";
            c.sequence = "02";
        } else {
            c.patientid = c.hasPatientRow ? nextPatient++ : 900000000 + static_cast<int64_t>(i);
            // Item 20 is stored without its leading zeros, now and then with them.
            int64_t number = 4000 + c.patientid * 7;
            c.patientNumber = std::to_string(number);
            if (rng.Chance(0.1)) {
                c.patientNumber.insert(0, 8 - std::min<size_t>(8, c.patientNumber.size()), '0');
            }
            c.sequence = "00";
        }
        c.sex = sex;
    }
    return cases;
}

// Draws a code from a list, or Null with the given chance.
Cell Code(Rng& rng, std::initializer_list<const char*> codes, double nullChance = 0) {
    if (nullChance > 0 && rng.Chance(nullChance)) return Cell::Null();
    return Cell::Text(*(codes.begin() + rng.Below(codes.size())));
}

// Items 1201, 1211, .. 1281: the flag of the treatment date item just before it.
bool IsDateFlag(int item) { return item >= 1200 && item <= 1281 && item % 10 == 1; }

Cell TreatmentDate(Rng& rng, const Case& c, bool& known) {
    known = rng.Chance(0.6) && c.dxDate.size() == 8;
    if (!known) return rng.Chance(0.5) ? Cell::Null() : Cell::Text("");
    int month = std::min(12, std::stoi(c.dxDate.substr(4, 2)) + static_cast<int>(rng.Below(3)));
    return Cell::Text(c.dxDate.substr(0, 4) + TwoDigits(month) +
                      TwoDigits(1 + static_cast<int>(rng.Below(28))));
}

// The value of one item for a case (or, with fresh draws, for one of its abstracts).
Cell ItemValue(int item, const Case& c, Rng& rng, std::vector<Cell>& dateFlags) {
    switch (item) {
        case 20:
            return Cell::Text(c.patientNumber);
        case 220:
            return Cell::Text(c.sex);
        case 380:
            return Cell::Text(c.sequence);
        case 390:
            return Cell::Text(c.dxDate);
        case 400:
            return Cell::Text(c.site);
        case 522:
            return Cell::Text(c.hist);
        case 523:
            return Cell::Int(c.behavior);
        case 410: {
            bool paired = c.site.starts_with("C50") || c.site.starts_with("C34");
            if (!paired) return Cell::Text("0");
            return Code(rng, {"1", "2", "1", "2", "9"});
        }
        case 440:
            return Code(rng, {"1", "2", "3", "4", "9"}, 0.05);
        case 670:
            return Code(rng, {"00", "20", "22", "30", "41", "50", "90"});
        case 672:
            return Code(rng, {"0", "1", "2", "3", "4", "5", "6", "7", "9"});
        case 674:
        case 1294:
            return Code(rng, {"0", "0", "1"});
        case 690:
            return Code(rng, {"0", "1", "9"});
        case 700:
        case 710:
        case 720:
        case 1390:
        case 1400:
        case 1410:
            return Code(rng, {"00", "00", "01", "02", "03", "82", "87"});
        case 730:
        case 1420:
            return Code(rng, {"0", "0", "1"});
        case 740:
        case 1350:
            return Code(rng, {"00", "02", "04"});
        case 820:
            return Code(rng, {"00", "00", "01", "03", "12", "95", "97", "98"});
        case 830:
            return Code(rng, {"00", "04", "12", "17", "25", "98"});
        case 1290:
            return Code(rng, {"00", "20", "30", "50", "90"});
        case 1292:
            return Code(rng, {"0", "1", "2", "3", "5", "7"});
        case 1380:
            return Code(rng, {"0", "0", "3", "4"});
        case 1570:
            return Code(rng, {"00", "20", "29"}, 0.1);
        case 2800:
            return Code(rng, {"000", "008", "015", "021", "045", "120", "999"});
        case 2810:
            return Code(rng, {"100", "200", "300", "400"});
        case 2820:
            return Code(rng, {"0", "1", "3", "5", "9"});
        case 2830:
            return Code(rng, {"000", "100", "200", "999"});
        case 2850:
            return Code(rng, {"00", "00", "10", "99"});
        case 2868:
            // A stray non-ASCII entry in an item column, for the scan of every item.
            if (c.plan.accents) return Cell::Text("\xC3\xA9\xE2\x82\xAC");  // é€
            [[fallthrough]];
        case 2862:
        case 2863:
        case 2864:
        case 2865:
        case 2866:
        case 2867:
        case 2880:
        case 2890:
        case 2900:
            return Code(rng, {"000", "010", "020", "988", "999"}, 0.05);
        case 3020:
            return Code(rng, {"1", "2", "3", "4", "7", "9"});
        case 3231:
            return Code(rng, {"", "", "10", "11"});
        case 3250:
            return Code(rng, {"00", "00", "10", "12"});
        default:
            break;
    }
    // Treatment dates and their flags: a blank flag beside a known date, 10/11/12 otherwise.
    if (item >= 1200 && item <= 1281) {
        if (!IsDateFlag(item)) {
            bool known = false;
            Cell date = TreatmentDate(rng, c, known);
            dateFlags.push_back(known ? Cell::Text("") : Code(rng, {"10", "11", "12"}));
            return date;
        }
        if (dateFlags.empty()) return Cell::Null();
        Cell flag = dateFlags.back();
        dateFlags.pop_back();
        return flag;
    }
    return Cell::Null();
}

// One table of the registry: key columns, item columns, trailing columns.
struct TableShape {
    std::string name;
    std::vector<std::string> lead;  // "name TYPE"
    std::vector<size_t> items;      // indexes into ItemColumns()
    std::vector<std::string> tail;

    std::string CreateSql() const {
        std::string sql = "CREATE TABLE " + name + " (";
        bool first = true;
        auto add = [&](const std::string& column) {
            sql += (first ? "" : ", ") + column;
            first = false;
        };
        for (const std::string& column : lead) add(column);
        for (size_t i : items) {
            const ItemColumn& item = ItemColumns()[i];
            add(std::string(item.column) + (item.item == 523 ? " INTEGER" : " TEXT"));
        }
        for (const std::string& column : tail) add(column);
        return sql + ")";
    }
    std::string InsertSql() const {
        size_t n = lead.size() + items.size() + tail.size();
        std::string sql = "INSERT INTO " + name + " VALUES (";
        for (size_t i = 0; i < n; ++i) sql += i ? ", ?" : "?";
        return sql + ")";
    }
};

TableShape Shape(std::string name, std::vector<std::string> lead, std::vector<std::string> tail,
                 bool caseGroup) {
    TableShape shape{name, std::move(lead), {}, std::move(tail)};
    auto items = ItemColumns();
    for (size_t i = 0; i < items.size(); ++i) {
        if ((caseGroup ? items[i].caseTable : items[i].abstractTable) == shape.name) {
            shape.items.push_back(i);
        }
    }
    return shape;
}

void Bind(SqliteStatement& statement, int index, const Cell& cell) {
    switch (cell.type) {
        case Cell::Type::Null:
            statement.BindNull(index);
            break;
        case Cell::Type::Int:
            statement.BindInt(index, cell.number);
            break;
        case Cell::Type::Text:
            statement.BindText(index, cell.text);
            break;
    }
}

// A table and its prepared insert.
class TableWriter {
  public:
    TableWriter(SqliteFile& db, TableShape shape)
        : m_shape(Created(db, std::move(shape))), m_insert(db, m_shape.InsertSql()) {}

    // lead and tail values in column order; item values from the whole-row array.
    void Insert(const std::vector<Cell>& lead, const std::vector<Cell>& values,
                const std::vector<Cell>& tail) {
        int index = 1;
        for (const Cell& cell : lead) Bind(m_insert, index++, cell);
        for (size_t i : m_shape.items) Bind(m_insert, index++, values[i]);
        for (const Cell& cell : tail) Bind(m_insert, index++, cell);
        m_insert.Run();
    }

  private:
    static TableShape Created(SqliteFile& db, TableShape shape) {
        db.Exec(shape.CreateSql());
        return shape;
    }

    TableShape m_shape;
    SqliteStatement m_insert;
};

std::string GroupLabel(const std::string& site) {
    if (site >= "C500" && site <= "C509") return "BREAST";
    if ((site >= "C180" && site <= "C189") || site == "C260") return "COLON";
    if (site == "C199") return "RECTOSIGMOID";
    if (site == "C209") return "RECTUM";
    if (site >= "C340" && site <= "C349") return "LUNG";
    if (site == "C619") return "PROSTATE";
    if (site >= "C540" && site <= "C559") return "CORPUS UTERI";
    return "OTHER";
}

std::string SiteTitle(const std::string& site) { return GroupLabel(site) + " " + site; }

std::string HistologyTitle(const std::string& hist) {
    if (hist == "8500") return "INFILTRATING DUCT CARCINOMA";
    if (hist == "8140") return "ADENOCARCINOMA, NOS";
    if (hist == "8070") return "SQUAMOUS CELL CARCINOMA, NOS";
    if (hist == "8380") return "ENDOMETRIOID ADENOCARCINOMA";
    if (hist == "8800") return "SARCOMA, NOS";
    return "MALIGNANT NEOPLASM " + hist;
}

// The 17 text pieces of one abstract joined by the character of code 2. Short pieces hold one to
// three phrases, some none; full pieces run to their item's exact length in characters.
std::string Remarks(Rng& rng, const Case& c, bool fullText, bool beyondWindows1252) {
    const std::vector<TextItem>& items = TextItems();
    bool accents = c.plan.accents;
    size_t accentedPiece = accents ? rng.Below(items.size()) : items.size();
    std::string remarks;
    std::string piece;
    for (size_t p = 0; p < items.size(); ++p) {
        const TextItem& item = items[p];
        piece.clear();
        size_t length = 0;  // in characters
        auto add = [&](std::string_view phrase) {
            if (!piece.empty()) {
                piece += ". ";
                length += 2;
            }
            piece += phrase;
            length += CountCodePoints(phrase);
        };
        auto phrase = [&]() -> std::string {
            if (p == 6) return SiteTitle(c.site);
            if (p == 7) return HistologyTitle(c.hist);
            return item.phrases[rng.Below(item.phrases.size())];
        };
        if (fullText) {
            while (length < static_cast<size_t>(item.length)) {
                bool accented = accents && rng.Chance(0.2);
                add(accented ? std::string(rng.Pick(kAccentedPhrases)) : phrase());
            }
            CutToCodePoints(piece, static_cast<size_t>(item.length));
        } else if (!rng.Chance(0.15) || p == accentedPiece) {
            size_t count = p == 6 || p == 7 ? 1 : 1 + rng.Below(3);
            for (size_t k = 0; k < count; ++k) add(phrase());
            if (p == accentedPiece) add(rng.Pick(kAccentedPhrases));
        }
        if (p == 0 && beyondWindows1252 && c.plan.accents) {
            piece = kBeyondWindows1252Phrase + (piece.empty() ? "" : ". " + piece);
            if (fullText) CutToCodePoints(piece, static_cast<size_t>(item.length));
        }
        if (p) remarks += '\x02';
        remarks += piece;
    }
    return remarks;
}

bool ReleasableCode(const Cell& fup) {
    return fup.type == Cell::Type::Text && (fup.text == "  " || fup.text == "00");
}

// TypeRepSrc other than 6 and 7 (as a number: "07" is 7); Null is neither.
bool OtherThanDeathCert(const Cell& type) {
    if (type.IsNull()) return false;
    int64_t v = type.type == Cell::Type::Int ? type.number : std::stoll(type.text);
    return v != 6 && v != 7;
}

// TypeRepSrc and FupUnusual of a case's abstracts, as its outcome wants them.
void DrawReportingCodes(Outcome outcome, int count, Rng& rng, std::vector<Cell>& types,
                        std::vector<Cell>& fups) {
    types.assign(static_cast<size_t>(count), Cell::Null());
    fups.assign(types.size(), Cell::Null());
    for (size_t a = 0; a < types.size(); ++a) {
        if (outcome == Outcome::DeathCertOnly) {
            types[a] = Code(rng, {"6", "7", "07", "7"}, 0.15);
        } else {
            types[a] = Code(rng, {"1", "1", "1", "2", "3", "4", "5", "8", "01", "7"});
        }
        if (outcome == Outcome::NonReleasable) {
            fups[a] = Code(rng, {"01", "02"}, 0.2);
        } else {
            fups[a] = Code(rng, {"  ", "00", "00", "  ", "01", "02"}, 0.1);
        }
    }
    if (count == 0 || outcome == Outcome::DeathCertOnly) return;
    bool anyOther = false, anyReleasable = false;
    for (size_t a = 0; a < types.size(); ++a) {
        anyOther = anyOther || OtherThanDeathCert(types[a]);
        anyReleasable = anyReleasable || ReleasableCode(fups[a]);
    }
    if (!anyOther) types[0] = Cell::Text("1");
    if (!anyReleasable && outcome == Outcome::Kept) fups[0] = Cell::Text("00");
}

void CheckOptions(const RegistryOptions& o) {
    if (o.cases < 0 || o.cases > 10'000'000) {
        throw std::invalid_argument("cases must be 0..10000000");
    }
    if (!(o.abstractsPerCase >= 1 && o.abstractsPerCase <= 1000)) {
        throw std::invalid_argument("abstractsPerCase must be 1..1000");
    }
    if (!(o.selectedShare >= 0 && o.selectedShare <= 1)) {
        throw std::invalid_argument("selectedShare must be 0..1");
    }
}

}  // namespace

RegistrySummary WriteRegistryDatabase(const std::string& path, const RegistryOptions& options) {
    CheckOptions(options);
    Rng planRng(options.seed);
    Rng valueRng(uint64_t{options.seed} ^ 0xA5A5A5A55A5A5A5Aull);
    std::vector<Case> cases = PlanCases(options, planRng);

    SqliteFile db(path);
    // A fresh file that nobody reads before we finish: no journal, no syncs.
    db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536");
    db.Exec("BEGIN");
    RegistrySummary summary;
    {  // the prepared inserts must be gone before the file closes
        TableWriter patients(db, Shape("patients", {"patientid INTEGER"}, {}, true));
        TableWriter medicalsum(
            db, Shape("medicalsum", {"medrefid INTEGER", "patientid INTEGER"}, {}, true));
        TableWriter medicalsum2(db, Shape("medicalsum_2", {"medrefid INTEGER"},
                                          {"grpsite2 TEXT", "grpsite3 TEXT"}, true));
        TableWriter abstracts(
            db, Shape("abstracts", {"absrefid INTEGER", "medrefid INTEGER"}, {}, false));
        TableWriter abstracts2(db,
                               Shape("abstracts_2", {"absrefid INTEGER"}, {"remarks TEXT"}, false));
        TableWriter abstracts3(
            db, Shape("abstracts_3", {"absrefid INTEGER", "TypeRepSrc TEXT", "FupUnusual TEXT"}, {},
                      false));

        auto items = ItemColumns();
        summary.casesTotal = options.cases;
        int64_t nextAbsrefid = 1;
        std::vector<Cell> caseValues(items.size());
        std::vector<Cell> abstractValues(items.size());
        std::vector<Cell> dateFlags;
        size_t beyondItem = 0;  // rxDateOther, in the case's and the abstracts' items
        while (items[beyondItem].item != 1250) ++beyondItem;

        for (const Case& c : cases) {
            dateFlags.clear();
            for (size_t i = 0; i < items.size(); ++i) {
                caseValues[i] = items[i].caseTable.empty()
                                    ? Cell::Null()
                                    : ItemValue(items[i].item, c, valueRng, dateFlags);
            }
            if (options.beyondWindows1252 && c.plan.accents) {
                caseValues[beyondItem] = Cell::Text(kBeyondWindows1252Item);
            }
            if (c.hasPatientRow && c.firstOfPatient) {
                patients.Insert({Cell::Int(c.patientid)}, caseValues, {});
            }
            medicalsum.Insert({Cell::Int(c.medrefid), Cell::Int(c.patientid)}, caseValues, {});
            if (c.hasMedicalsum2Row) {
                medicalsum2.Insert(
                    {Cell::Int(c.medrefid)}, caseValues,
                    {Cell::Text(c.site.substr(0, 3)), Cell::Text(GroupLabel(c.site))});
            }

            // Abstracts: TypeRepSrc and FupUnusual as the outcome wants them.
            int count = 0;
            if (c.plan.outcome != Outcome::NoAbstracts) {
                count = 1 + static_cast<int>(valueRng.Unit() * (2 * options.abstractsPerCase - 1));
            }
            std::vector<Cell> types, fups;
            DrawReportingCodes(c.plan.outcome, count, valueRng, types, fups);

            int othersThanDeathCert = 0, releasable = 0;
            for (size_t a = 0; a < types.size(); ++a) {
                // An abstract repeats the case's items, now and then with codes of its own. A
                // treatment date's flag follows its date (the next item), so the pair stays
                // consistent.
                dateFlags.clear();
                bool own = false;
                for (size_t i = 0; i < items.size(); ++i) {
                    if (items[i].abstractTable.empty()) {
                        abstractValues[i] = Cell::Null();
                        continue;
                    }
                    if (!IsDateFlag(items[i].item)) {
                        own = items[i].caseTable.empty() || (a > 0 && valueRng.Chance(0.2));
                    }
                    abstractValues[i] =
                        own ? ItemValue(items[i].item, c, valueRng, dateFlags) : caseValues[i];
                }
                if (options.beyondWindows1252 && c.plan.accents) {
                    abstractValues[beyondItem] = Cell::Text(kBeyondWindows1252Item);
                }
                std::string remarks =
                    Remarks(valueRng, c, options.fullText, options.beyondWindows1252);
                int64_t absrefid = nextAbsrefid++;
                abstracts.Insert({Cell::Int(absrefid), Cell::Int(c.medrefid)}, abstractValues, {});
                abstracts2.Insert({Cell::Int(absrefid)}, abstractValues, {Cell::Text(remarks)});
                abstracts3.Insert({Cell::Int(absrefid), types[a], fups[a]}, abstractValues, {});

                othersThanDeathCert += OtherThanDeathCert(types[a]);
                releasable += ReleasableCode(fups[a]);
                bool nonAscii = HasNonAscii(remarks);
                for (const Cell& cell : abstractValues)
                    nonAscii = nonAscii || HasNonAscii(cell.text);
                summary.abstractsWithNonAscii += nonAscii;
            }
            summary.abstractsTotal += count;

            int group = c.hasPatientRow && c.hasMedicalsum2Row
                            ? SelectionGroup(c.dxDate, c.behavior, c.site, c.hist)
                            : 0;
            if (group == 0) continue;
            ++summary.casesSelected;
            ++summary.selectedPerGroup[static_cast<size_t>(group - 1)];
            if (othersThanDeathCert == 0) {
                ++summary.casesDeathCertOnly;
                continue;
            }
            ++summary.casesKept;
            summary.abstractsOfKeptCases += count;
            if (releasable == 0) {
                ++summary.casesNonReleasable;
                continue;
            }
            ++summary.casesKeptReleasable;
            summary.abstractsOfKeptReleasableCases += count;
        }
    }

    db.Exec(
        "CREATE INDEX patients_patientid ON patients (patientid);"
        "CREATE INDEX medicalsum_medrefid ON medicalsum (medrefid);"
        "CREATE INDEX medicalsum_patientid ON medicalsum (patientid);"
        "CREATE INDEX medicalsum_2_medrefid ON medicalsum_2 (medrefid);"
        "CREATE INDEX abstracts_absrefid ON abstracts (absrefid);"
        "CREATE INDEX abstracts_medrefid ON abstracts (medrefid);"
        "CREATE INDEX abstracts_2_absrefid ON abstracts_2 (absrefid);"
        "CREATE INDEX abstracts_3_absrefid ON abstracts_3 (absrefid)");
    db.Exec("COMMIT");
    db.Close();
    return summary;
}

}  // namespace mae::gen
