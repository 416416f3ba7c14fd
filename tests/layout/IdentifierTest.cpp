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
    {u"2ndPrimary", Passes},
    {u"Größe", Passes},
    {u"Pacient_Číslo", Passes},
    {u"Фамилия", Passes},
    {u"患者番号", Passes},
    {u"[naaccr 13 layout]", Passes},
    {u"\"Date of Birth\"", Passes},
    {u"dbo.naaccr13layout", Passes},
    {u"main.x", Passes},
    {u"[dbo].[naaccr 13 layout]", Passes},
    {u"Meridane.dbo.naaccr13layout", Passes},
    {u"srv.Meridane.dbo.naaccr13layout", Passes},
    {u"Patients.[Patient Id]", Passes},
    // A fixed-width CHAR column pads its value: the padding is not sent.
    {u"naaccr13layout    ", Passes, u"naaccr13layout"},
    {u"[naaccr 13 layout]  ", Passes, u"[naaccr 13 layout]"},
    // SQLite: the registry connection can load a library through load_extension().
    {u"sex, load_extension('/path/x.so')", 3},
    // PostgreSQL: psqlODBC runs every statement of a text.
    {u"sex from patients, medicalsum limit 0; SET SESSION CHARACTERISTICS AS TRANSACTION READ "
     u"WRITE; COMMIT; delete from canary; create table pwned(x int); select sex",
     3},
    {u"naaccr13layout where 1=1; --", 14},
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
    {u"[x'y]", 2},
    {u"[x;y]", 2},
    {u"[x]y", 3},
    {u"x[y]", 1},
    {u"\"x\"\"y\"", 3},
    {u"[a]]", 3},
    {u"a b", 1},
    {u" a", 0},
    {u"a\tb", 1},
    {u"a\n", 1},
    {u"a.b.c.d.e", 7},
    {u"a..b", 2},
    {u"a.", 2},
    {u".a", 0},
    {u"[abc", 4},
    {u"[ ]", 2},
    {u"", 0},
    {u"   ", 0},
    {u"?", 0},
    {u"@x", 0},
    {u"x\u037Ey", 1},  // the Greek question mark, a ';' once normalised
    {u"x\uFF1By", 1},  // fullwidth ';', which a code page's best fit makes a ';'
    {u"x\u02BCy", 1},  // modifier letter apostrophe, best-fit to a quote
    {u"x\u00A0y", 1},  // no-break space
    {u"x\u2019y", 1},
    {u"x\U0001F600", 1},  // outside the letters of the table (a surrogate pair)
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

}  // namespace
}  // namespace mae
