// Driver messages made safe to show: the passwords of the string that was sent, in the forms a
// driver manager quotes them in, and whatever a message itself gives as a password's value.

#include <gtest/gtest.h>

#include "common/Text.h"
#include "db/Secrets.h"

namespace mae {
namespace {

struct Masking {
    const char* name;
    const char16_t* connectionString;
    const char* message;  // UTF-8, as a driver's message reaches us
    const char* shown;
};

class SecretMasking : public ::testing::TestWithParam<Masking> {};

TEST_P(SecretMasking, ShowsNoPassword) {
    const Masking& m = GetParam();
    EXPECT_EQ(WithoutSecrets(m.message, ConnectionStringSecrets(m.connectionString)), m.shown);
}

const Masking maskings[] = {
    {"BothFormsAndExtendedProperties",
     u"Provider=MSDASQL;Password=abc123;Extended Properties=\"DSN=x;PWD={def;456}\";"
     u"Jet OLEDB:Database Password=ghi789;pwd=xy",
     "login abc123 failed for 'DSN=x;PWD=def;456' ghi789 xy",
     "login *** failed for 'DSN=x;PWD=***' *** xy"},
    // Unparsed: found by the keyword, up to ';' or the end; a keyword that only ends in
    // "Password" is another one, but its value in a message is masked all the same.
    {"UnclosedBrace", u"Provider=SQLOLEDB;Mask Password=True;Password={abcdef;gh",
     "True abcdef;gh 'abcdef;gh", "True *** '***"},
    // unixODBC narrows a wide string to one byte a unit before it quotes it.
    {"LatinExtendedNarrowedToLowBytes", u"Driver={x;PWD=\u0141\u00f3d\u017a-Hunter2",
     "Can't open lib 'x;PWD=A\u00f3dz-Hunter2' : file not found",
     "Can't open lib 'x;PWD=***' : file not found"},
    {"EuroNarrowedToLowByte", u"Driver={Geld\u20ac2024x};PWD=Geld\u20ac2024x",
     "Can't open lib 'Geld\u00ac2024x'", "Can't open lib '***'"},
    {"CyrillicNarrowedToLowBytes",
     u"Driver={\u043f\u0430\u0440\u043e\u043b\u044c2024};Password="
     u"\u043f\u0430\u0440\u043e\u043b\u044c2024",
     "Can't open lib '?0@>;L2024'", "Can't open lib '***'"},
    {"CyrillicNarrowedToQuestionMarks",
     u"Driver={\u043f\u0430\u0440\u043e\u043b\u044c2024};PWD={"
     u"\u043f\u0430\u0440\u043e\u043b\u044c2024}",
     "Can't open lib '??????2024'", "Can't open lib '***'"},
    // Whatever the message gives as a password's value is masked, whether or not it is one of
    // the string's: a driver may quote a string it rewrote or another one.
    {"KeyedValueOfAnotherString", u"DSN=x", "bad 'UID=a; pwd = zz9;Server=s'",
     "bad 'UID=a; pwd = ***;Server=s'"},
    {"KeyedValueInBraces", u"DSN=x", "Password={a;b}}c} refused", "Password=*** refused"},
    {"KeyedValueToTheEnd", u"DSN=x", "Jet OLEDB:Database Password=\u00e9t\u00e9",
     "Jet OLEDB:Database Password=***"},
    {"KeyedValueEmpty", u"DSN=x", "PWD=;UID=u", "PWD=;UID=u"},
    {"NoKeyNoSecret", u"DSN=x", "password authentication failed for user \"u\"",
     "password authentication failed for user \"u\""},
};

INSTANTIATE_TEST_SUITE_P(Messages, SecretMasking, ::testing::ValuesIn(maskings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mae
