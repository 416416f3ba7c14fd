#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "layout/Identifier.h"

namespace mae {
namespace {

constexpr size_t Passes = std::u16string_view::npos;

struct NameCase {
    std::u16string_view name;
    size_t fault;                // Passes, or where the rule is broken
    std::u16string_view sent{};  // for a name that passes: what is sent (the name when empty)
};

// What real schemas name tables and columns with passes; what could steer a statement does not.
const NameCase cases[] = {
    {u"naaccr13layout", Passes},
    {u"PSite", Passes},
    {u"Grp_Site$2#", Passes},
    {u"x@y", Passes},
    {u"_x", Passes},
    {u"Größe", Passes},
    {u"Pacient_Číslo", Passes},
    {u"Фамилия", Passes},
    {u"患者番号", Passes},
    {u"ชื่อผู้ป่วย", Passes},                // Thai, its vowels and tone marks combining
    {u"პაციენტი", Passes},              // Georgian
    {u"रोगी_संख्या", Passes},             // Devanagari, vowel signs and virama
    {u"ἡμερομηνία", Passes},            // polytonic Greek
    {u"Cafe\u0301_re\u0301f", Passes},  // decomposed accents: e and U+0301
    {u"x\U0001D400", Passes},           // a letter beyond the basic plane
    {u"x\u0663", Passes},               // an Arabic-Indic digit after a letter
    {u"[naaccr 13 layout]", Passes},
    {u"[naaccr13-layout]", Passes},
    {u"[NAACCR 13.0 Layout]", Passes},
    {u"[Layout (v13)]", Passes},
    {u"[Date-of-Birth]", Passes},
    {u"[Tumor Size (mm)]", Passes},
    {u"[1]", Passes},
    {u"[NULL]", Passes},
    {u"[a]]b]", Passes},
    {u"\"Date of Birth\"", Passes},
    {u"\"naaccr-13\"", Passes},
    {u"\"x\"\"y\"", Passes},
    {u"\"x;y\"", Passes},
    {u"dbo.naaccr13layout", Passes},
    {u"main.x", Passes},
    {u"[dbo].[naaccr 13 layout]", Passes},
    {u"Meridane.dbo.naaccr13layout", Passes},
    {u"srv.Meridane.dbo.naaccr13layout", Passes},
    {u"Patients.[Patient Id]", Passes},
    {u"NULL.x", Passes},
    // Around the name: padding of a fixed-width CHAR column, a pasted blank, TAB or line end.
    {u"naaccr13layout    ", Passes, u"naaccr13layout"},
    {u"[naaccr 13 layout]  ", Passes, u"[naaccr 13 layout]"},
    {u" naaccr13layout", Passes, u"naaccr13layout"},
    {u"naaccr13layout\t", Passes, u"naaccr13layout"},
    {u"naaccr13layout\r\n", Passes, u"naaccr13layout"},
    // SQLite: the registry connection can load a library through load_extension().
    {u"sex, load_extension('/path/x.so')", 3},
    // PostgreSQL: psqlODBC runs every statement of a text.
    {u"sex from patients, medicalsum limit 0; SET SESSION CHARACTERISTICS AS TRANSACTION READ "
     u"WRITE; COMMIT; delete from canary; create table pwned(x int); select sex",
     3},
    {u"naaccr13layout where 1=1; --", 14},
    // PostgreSQL reads $$ and $tag$ as the start of a string.
    {u"$$", 0},
    {u"$tag$", 0},
    {u"x.$$", 2},
    // Variables, temporary tables and numbers.
    {u"@x", 0},
    {u"@@version", 0},
    {u"#x", 0},
    {u"1", 0},
    {u"0x41", 0},
    {u"2ndPrimary", 0},
    {u"1e5", 0},
    // Words that are values: as the whole name or its last part, in any letter case.
    {u"NULL", 0},
    {u"CURRENT_TIMESTAMP", 0},
    {u"current_user", 0},
    {u"patients.current_user", 9},
    {u"  LocalTimeStamp ", 2},
    {u"x;y", 1},
    {u"x--", 1},
    {u"x/*y*/", 1},
    {u"count(*)", 5},
    {u"a,b", 1},
    {u"a+b", 1},
    {u"a=b", 1},
    {u"a||b", 1},
    {u"x'y", 1},
    {u"`x`", 0},
    // Where brackets are no quoting (PostgreSQL, psqlODBC), a quote or ';' inside them would be.
    {u"[x'y]", 2},
    {u"[x;y]", 2},
    {u"[x\"y]", 2},
    {u"[x]y", 3},
    {u"x[y]", 1},
    {u"\"x\"y\"", 3},
    {u"[a]]", 4},  // "]]" is a ']' inside: the part is never closed
    {u"[a]]b", 5},
    {u"\"a\"\"", 4},
    {u"[a", 2},  // left open
    {u"\"a", 2},
    {u"[a\tb]", 2},  // a control character inside
    {u"\"a\nb\"", 2},
    {u"a b", 1},
    {u"a\tb", 1},
    {u"a.b.c.d.e", 7},
    {u"a..b", 2},
    {u"a.", 2},
    {u".a", 0},
    {u"[ ]", 2},
    {u"[]", 1},
    {u"", 0},
    {u"   ", 3},
    {u"?", 0},
    {u"x\u037Ey", 1},  // the Greek question mark, a ';' once normalised
    {u"x\uFF1By", 1},  // fullwidth ';', which a code page's best fit makes a ';'
    {u"x\u02BCy", 1},  // modifier letter apostrophe: a letter, best-fit to a quote
    {u"x\u00A0y", 1},  // no-break space
    {u"x\u2019y", 1},
    {u"x\U0001F600", 1},  // not a letter (a surrogate pair)
    {u"x\xD800y", 1},     // half a surrogate pair
    // Letters the code page writes as delimiters: rxDateSystemicFlagǀǀsex would reach an ANSI
    // driver as rxDateSystemicFlag||sex.
    {u"rxDateSystemicFlag\u01C0\u01C0sex", 18},
    {u"x\u01C3", 1},
    {u"[x\uFF3D;y]", 2},   // fullwidth ']' inside brackets
    {u"\"x\uFF02y\"", 2},  // fullwidth '"' inside quotes
    {u"e\u0300", 1},       // the combining grave is written as '`'
};

TEST(Identifier, NamesThatPassAndNamesThatAreRefused) {
    for (const NameCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        EXPECT_EQ(IdentifierFault(c.name), c.fault);
        if (c.fault == Passes) {
            const std::u16string_view sent = c.sent.empty() ? c.name : c.sent;
            EXPECT_EQ(CheckedIdentifier(c.name, "the name"), sent);
        } else {
            try {
                CheckedIdentifier(c.name, "the FieldName of item 220 in layout table lay");
                ADD_FAILURE() << "passed";
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.number(), err::InvalidCall);
                EXPECT_EQ(e.description().rfind("Invalid procedure call or argument: the FieldName "
                                                "of item 220 in layout table lay (",
                                                0),
                          0u)
                    << e.description();
                EXPECT_NE(e.description().find("correct it in the control database"),
                          std::string::npos);
            }
        }
    }
}

TEST(Identifier, TheRefusalShowsTheNameShortAndSaysWhere) {
    try {
        CheckedIdentifier(u"sex, load_extension('/path/x.so')\n" + std::u16string(100, u'x'), "N");
        FAIL();
    } catch (const RuntimeError& e) {
        const std::string d = e.description();
        EXPECT_NE(d.find("N ('sex, load_extension('/path/x.so')?xxx"), std::string::npos) << d;
        EXPECT_NE(d.find("xxx'...) is not a name"), std::string::npos) << d;
        EXPECT_NE(d.find("character 4 (',') cannot stand there"), std::string::npos) << d;
    }
}

TEST(Identifier, AWordThatIsAValueIsNamedAsSuch) {
    try {
        CheckedIdentifier(u"patients.current_user", "N");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.description().find(
                      "'current_user' is a word the database reads as a value, not a column"),
                  std::string::npos)
            << e.description();
    }
}

// The writers find an item's value by the name the query's result gives its column.
TEST(Identifier, ResultColumnNameIsTheLastPartUnquoted) {
    const struct {
        std::u16string_view name, column;
    } cases[] = {
        {u"PSite", u"PSite"},
        {u" PSite\r\n", u"PSite"},
        {u"abstracts_2.E2", u"E2"},
        {u"Patients.[Patient Id]", u"Patient Id"},
        {u"[Tumor Size (mm)]", u"Tumor Size (mm)"},
        {u"dbo.[NAACCR 13.0 Layout]", u"NAACCR 13.0 Layout"},
        {u"[a.b].c", u"c"},
        {u"\"x.y\".\"z\"\"q\"", u"z\"q"},
        {u"[a]]b]", u"a]b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResultColumnName(c.name), c.column) << ToUtf8(c.name);
    }
}

}  // namespace
}  // namespace mae
