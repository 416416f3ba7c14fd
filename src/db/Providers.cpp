#include "db/Providers.h"

#include <algorithm>
#include <iterator>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "platform/System.h"

namespace mae {

namespace {

using Pairs = std::vector<ConnectionStringPair>;

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// OLE DB reads a repeated keyword's last value (the provider's first, looked up apart): one
// pair per keyword, in the order the keywords first appear.
Pairs LastValues(const Pairs& pairs) {
    Pairs out;
    for (const auto& p : pairs) {
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const auto& o) { return EqualsIgnoreCase(o.key, p.key); });
        if (it == out.end()) {
            out.push_back(p);
        } else {
            it->value = p.value;
        }
    }
    return out;
}

// The ODBC string being built. ODBC drivers take a repeated keyword's first value, so a keyword
// already there is not added again.
class OdbcText {
  public:
    void Add(std::u16string_view key, std::u16string_view value) {
        // ODBC has no way to write '=' inside a keyword: a driver would end the keyword there
        // and read the rest, and the value after it, as keywords of their own (a Provider=,
        // a second Driver=).
        if (key.find(u'=') != std::u16string_view::npos) {
            throw BadConnectionString(
                "a keyword holding '=' (written \"==\") cannot be passed to an ODBC driver");
        }
        if (Has(key)) return;
        m_pairs.push_back({std::u16string(key), std::u16string(value)});
    }
    bool Has(std::u16string_view key) const { return FindPair(m_pairs, key) != nullptr; }
    std::u16string Text(std::u16string_view driver) const {
        std::u16string out;
        if (!driver.empty()) out = u"Driver={" + Escaped(driver) + u"}";
        for (const auto& p : m_pairs) {
            if (!out.empty()) out += u';';
            out += p.key + u'=' + Value(p.value);
        }
        return out;
    }

  private:
    static std::u16string Escaped(std::u16string_view v) {
        std::u16string out;
        for (char16_t c : v) {
            out += c;
            if (c == u'}') out += u'}';
        }
        return out;
    }
    // A value that holds ';', begins with a brace or a quote, or has blanks at its ends goes in
    // braces: read back, by a driver or by ParseConnectionString, it is the same value.
    static std::u16string Value(std::u16string_view v) {
        bool braces =
            v.find(u';') != std::u16string_view::npos ||
            (!v.empty() && (v.front() == u'{' || v.front() == u'"' || v.front() == u'\'' ||
                            IsBlankOrLineEnd(v.front()) || IsBlankOrLineEnd(v.back())));
        if (!braces) return std::u16string(v);
        // Built by appending: "literal" + string trips GCC 12's -Wrestrict in optimised builds.
        std::u16string text = u"{";
        text += Escaped(v);
        text += u'}';
        return text;
    }
    Pairs m_pairs;
};

enum class Family { Odbc, SqlServer, Access };

// The providers the program reads through, each by the ODBC driver of its family; a name is the
// stem, with a version after it ("11", ".1", ".12.0") where the stem may have one. A provider
// added here is known everywhere: the family says how its string is rewritten and which drivers
// may serve it (Candidates), and the refusal of an unknown provider names it. No provider reads
// a file engine that makes a missing database on connecting: Access's driver refuses a missing
// file, and SQLite, which would make one, has no provider and is told by its driver's library
// (SqliteDriver.h).
struct Provider {
    std::u16string_view stem;
    Family family;
    bool versioned;
};
constexpr Provider Providers[] = {
    {u"MSDASQL", Family::Odbc, true},
    {u"SQLOLEDB", Family::SqlServer, true},
    {u"SQLNCLI", Family::SqlServer, true},
    {u"MSOLEDBSQL", Family::SqlServer, true},
    {u"Microsoft.Jet.OLEDB.4.0", Family::Access, false},
    {u"Microsoft.ACE.OLEDB", Family::Access, true},
};

// How the families are named where the refusal lists them, in its order.
struct FamilyName {
    Family family;
    const char* group;  // nullptr: the providers are named alone
};
constexpr FamilyName FamilyNames[] = {
    {Family::Odbc, nullptr},
    {Family::SqlServer, "the SQL Server providers"},
    {Family::Access, "the Access providers"},
};

// The rest of a provider name after its stem: empty, or a version of digits and dots.
bool IsVersionTail(std::u16string_view rest) {
    return std::all_of(rest.begin(), rest.end(),
                       [](char16_t c) { return c == u'.' || (c >= u'0' && c <= u'9'); });
}

bool FamilyOf(std::u16string_view provider, Family& family) {
    for (const Provider& p : Providers) {
        if (!StartsWithIgnoreCase(provider, p.stem)) continue;
        const std::u16string_view rest = provider.substr(p.stem.size());
        if (rest.empty() || (p.versioned && IsVersionTail(rest))) {
            family = p.family;
            return true;
        }
    }
    return false;
}

// "MSDASQL, the SQL Server providers (SQLOLEDB, SQLNCLI, MSOLEDBSQL) and the Access providers
// (...)", from the table.
std::string KnownProviders() {
    std::string out;
    for (size_t i = 0; i < std::size(FamilyNames); ++i) {
        std::string names;
        for (const Provider& p : Providers) {
            if (p.family == FamilyNames[i].family)
                names += (names.empty() ? "" : ", ") + ToUtf8(p.stem);
        }
        if (i > 0) out += i + 1 == std::size(FamilyNames) ? " and " : ", ";
        out +=
            FamilyNames[i].group ? std::string(FamilyNames[i].group) + " (" + names + ")" : names;
    }
    return out;
}

// The drivers of a family, the newest first.
std::vector<std::u16string_view> Candidates(Family family, DriverPlatform platform,
                                            std::u16string_view dataSource) {
    if (family == Family::SqlServer) {
        if (platform == DriverPlatform::Windows)
            return {u"ODBC Driver 18 for SQL Server", u"ODBC Driver 17 for SQL Server",
                    u"SQL Server Native Client 11.0", u"SQL Server"};
        return {u"ODBC Driver 18 for SQL Server", u"ODBC Driver 17 for SQL Server", u"FreeTDS"};
    }
    // The older Access driver opens .mdb files only.
    const auto ext = Trim(dataSource, IsBlankOrLineEnd);
    if (ext.size() >= 6 && EqualsIgnoreCase(ext.substr(ext.size() - 6), u".accdb"))
        return {u"Microsoft Access Driver (*.mdb, *.accdb)"};
    return {u"Microsoft Access Driver (*.mdb, *.accdb)", u"Microsoft Access Driver (*.mdb)"};
}

std::string Joined(const std::vector<std::u16string_view>& names) {
    std::string out;
    for (auto n : names) out += (out.empty() ? "" : ", ") + ToUtf8(n);
    return out;
}

// The provider's name for a message: short, and only its printable characters.
std::string ShownProvider(std::u16string_view provider) {
    std::u16string shown;
    for (char16_t c : provider.substr(0, 60))
        if (c >= 0x20 && c != 0x7F) shown += c;
    return "'" + ToUtf8(shown) + "'";
}

// Keywords that only OLE DB knows: no ODBC driver takes them.
bool IsOleDbOnly(std::u16string_view key) {
    static constexpr std::u16string_view keys[] = {u"Persist Security Info",
                                                   u"Mode",
                                                   u"Connect Timeout",
                                                   u"General Timeout",
                                                   u"Locale Identifier",
                                                   u"Prompt",
                                                   u"OLE DB Services",
                                                   u"Window Handle",
                                                   u"Location",
                                                   u"Cache Authentication",
                                                   u"Encrypt Password",
                                                   u"Mask Password",
                                                   u"Protection Level",
                                                   u"Impersonation Level",
                                                   u"Bind Flags",
                                                   u"Asynchronous Processing",
                                                   u"Initial Catalog",
                                                   u"Integrated Security",
                                                   u"Data Provider",
                                                   u"Packet Size",
                                                   u"Use Procedure for Prepare",
                                                   u"Extended Properties"};
    for (auto k : keys)
        if (EqualsIgnoreCase(k, key)) return true;
    return StartsWithIgnoreCase(key, u"Jet OLEDB:");
}

bool IsTrue(std::u16string_view v) {
    v = Trim(v, IsBlankOrLineEnd);
    return EqualsIgnoreCase(v, u"true") || EqualsIgnoreCase(v, u"yes") ||
           EqualsIgnoreCase(v, u"sspi") || EqualsIgnoreCase(v, u"mandatory") ||
           EqualsIgnoreCase(v, u"strict");
}

// OLE DB writes switches as True/False, ODBC drivers as yes/no.
std::u16string YesNo(std::u16string_view v) {
    std::u16string_view t = Trim(v, IsBlankOrLineEnd);
    if (EqualsIgnoreCase(t, u"true")) return u"yes";
    if (EqualsIgnoreCase(t, u"false")) return u"no";
    return std::u16string(t);
}

struct KeyRule {
    std::u16string_view from;  // OLE DB keyword (or an ODBC one that the driver takes as it is)
    std::u16string_view to;    // ODBC keyword
    bool yesNo = false;        // a switch: True/False become yes/no
};

const std::u16string* Value(const Pairs& keys, std::u16string_view key) {
    const auto* p = FindPair(keys, key);
    return p ? &p->value : nullptr;
}

// MSDASQL: the string is ODBC apart from a few OLE DB keywords; Extended Properties holds an
// ODBC string, whose keywords come first.
void ForOdbc(const Pairs& keys, OdbcText& out) {
    if (const auto* extended = Value(keys, u"Extended Properties")) {
        ConnectionStringReading inner = ReadConnectionString(*extended);
        if (!inner.fault.empty())
            ThrowBadConnectionString(inner.fault, inner.faultAt, "its Extended Properties");
        for (const auto& p : inner.pairs)
            if (!EqualsIgnoreCase(p.key, u"Provider")) out.Add(p.key, p.value);
    }
    const bool named = out.Has(u"DSN") || out.Has(u"Driver") || out.Has(u"FileDSN");
    for (const auto& p : keys) {
        if (EqualsIgnoreCase(p.key, u"Data Source")) {
            if (!named) out.Add(u"DSN", p.value);
        } else if (EqualsIgnoreCase(p.key, u"User ID")) {
            out.Add(u"UID", p.value);
        } else if (EqualsIgnoreCase(p.key, u"Password")) {
            out.Add(u"PWD", p.value);
        } else if (!IsOleDbOnly(p.key)) {
            out.Add(p.key, p.value);
        }
    }
}

// The server of Data Source: FreeTDS takes a host name (or host\instance) and the port apart;
// "(local)" and "." are Windows' names for this machine.
void AddSqlServerHost(std::u16string_view dataSource, bool freeTds, OdbcText& out) {
    std::u16string_view server = Trim(dataSource, IsBlankOrLineEnd);
    if (!freeTds) {
        out.Add(u"Server", server);
        return;
    }
    if (StartsWithIgnoreCase(server, u"tcp:")) server.remove_prefix(4);
    const size_t comma = server.find(u',');
    std::u16string_view host = Trim(server.substr(0, comma), IsBlankOrLineEnd);
    if (host == u"." || EqualsIgnoreCase(host, u"(local)")) host = u"localhost";
    out.Add(u"Server", host);
    if (comma != std::u16string_view::npos)
        out.Add(u"Port", Trim(server.substr(comma + 1), IsBlankOrLineEnd));
}

void ForSqlServer(const Pairs& keys, std::u16string_view driver, OdbcText& out) {
    const bool freeTds = driver == u"FreeTDS";
    const bool network = driver == u"SQL Server Native Client 11.0" || driver == u"SQL Server";
    static constexpr KeyRule renamed[] = {
        {u"Initial Catalog", u"Database"},
        {u"User ID", u"UID"},
        {u"Password", u"PWD"},
        {u"Application Name", u"APP"},
        {u"Workstation ID", u"WSID"},
        {u"Current Language", u"Language"},
        {u"Server", u"Server"},
        {u"Database", u"Database"},
        {u"UID", u"UID"},
        {u"PWD", u"PWD"},
        {u"Trusted_Connection", u"Trusted_Connection", true},
        {u"APP", u"APP"},
        {u"WSID", u"WSID"},
        {u"Language", u"Language"},
        {u"Port", u"Port"},
    };
    static constexpr KeyRule microsoftOnly[] = {
        {u"Trust Server Certificate", u"TrustServerCertificate", true},
        {u"TrustServerCertificate", u"TrustServerCertificate", true},
        {u"Failover Partner", u"Failover_Partner"},
        {u"Auto Translate", u"AutoTranslate", true},
        {u"MultiSubnetFailover", u"MultiSubnetFailover", true},
        {u"Application Intent", u"ApplicationIntent"},
        {u"ApplicationIntent", u"ApplicationIntent"},
    };
    for (const auto& p : keys) {
        const std::u16string_view key = p.key;
        if (EqualsIgnoreCase(key, u"Data Source")) {
            AddSqlServerHost(p.value, freeTds, out);
        } else if (EqualsIgnoreCase(key, u"Integrated Security")) {
            if (IsTrue(p.value)) out.Add(u"Trusted_Connection", u"Yes");
        } else if (EqualsIgnoreCase(key, u"Use Encryption for Data") ||
                   EqualsIgnoreCase(key, u"Encrypt")) {
            // FreeTDS names it Encryption (off, request, require).
            if (!freeTds) {
                out.Add(u"Encrypt", YesNo(p.value));
            } else if (IsTrue(p.value)) {
                out.Add(u"Encryption", u"require");
            }
        } else if (EqualsIgnoreCase(key, u"Network Library") || EqualsIgnoreCase(key, u"Network")) {
            if (network) out.Add(u"Network", p.value);
        } else {
            auto rule = [&](const auto& table) {
                for (const KeyRule& r : table) {
                    if (!EqualsIgnoreCase(key, r.from)) continue;
                    out.Add(r.to, r.yesNo ? YesNo(p.value) : p.value);
                    return true;
                }
                return false;
            };
            if (!rule(renamed) && !freeTds) rule(microsoftOnly);
        }
    }
}

void ForAccess(const Pairs& keys, OdbcText& out) {
    if (const auto* file = Value(keys, u"Data Source")) out.Add(u"DBQ", *file);
    // The database password, else the workgroup user's.
    if (const auto* dbPassword = Value(keys, u"Jet OLEDB:Database Password"))
        out.Add(u"PWD", *dbPassword);
    if (const auto* user = Value(keys, u"User ID")) out.Add(u"UID", *user);
    if (const auto* password = Value(keys, u"Password"); password && !password->empty())
        out.Add(u"PWD", *password);
    if (const auto* system = Value(keys, u"Jet OLEDB:System database")) {
        out.Add(u"SystemDB", *system);
    }
    // Whatever Mode asks (even an exclusive open), the program only reads: it must never lock
    // the host out of its own database.
    out.Add(u"ReadOnly", u"1");
}

// The first of the candidates among the installed drivers (names compared case-insensitively);
// empty when none is installed.
std::u16string_view FirstInstalled(const std::vector<std::u16string_view>& candidates,
                                   const std::vector<std::u16string>& drivers) {
    for (auto c : candidates) {
        auto found = std::find_if(drivers.begin(), drivers.end(),
                                  [&](const auto& d) { return EqualsIgnoreCase(d, c); });
        if (found != drivers.end()) return c;
    }
    return {};
}

}  // namespace

DriverPlatform HostDriverPlatform() noexcept {
    return platform::IsWindows() ? DriverPlatform::Windows : DriverPlatform::Linux;
}

std::u16string OdbcConnectionString(std::u16string_view text, const DriverList& installed,
                                    DriverPlatform platform) {
    // Drivers read the string up to its first NUL: what follows (a NoCreat=1 the program adds
    // among it) would be lost without a word.
    if (const size_t nul = text.find(u'\0'); nul != std::u16string_view::npos) {
        throw BadConnectionString("it holds a NUL character at character " +
                                  std::to_string(nul + 1) +
                                  ", where a driver would stop reading it; remove it from the "
                                  "connection string");
    }
    ConnectionStringReading parsed = ReadConnectionString(text);
    const ConnectionStringPair* provider = FindPair(parsed.pairs, u"Provider");
    // No provider: ODBC's own form, which is the driver's to read (ODBC's rules differ from
    // OLE DB's in places, e.g. the first of a repeated keyword counts).
    if (!provider) return std::u16string(text);
    if (!parsed.fault.empty())
        ThrowBadConnectionString(parsed.fault, parsed.faultAt, "the connection string");

    const std::u16string_view name = Trim(provider->value, IsBlankOrLineEnd);
    Family family{};
    if (!FamilyOf(name, family)) {
        throw RuntimeError(
            err::ProviderNotFound,
            "Provider cannot be found. It may not be properly installed: the connection string "
            "names the provider " +
                ShownProvider(name) + "; this program reads through " + KnownProviders() +
                ", or an ODBC connection string");
    }
    Pairs keys;
    for (const auto& p : LastValues(parsed.pairs))
        if (!EqualsIgnoreCase(p.key, u"Provider")) keys.push_back(p);

    OdbcText out;
    if (family == Family::Odbc) {
        ForOdbc(keys, out);
        return out.Text({});
    }
    const std::u16string* dataSource = Value(keys, u"Data Source");
    const auto candidates = Candidates(family, platform, dataSource ? *dataSource : u"");
    const std::vector<std::u16string> drivers =
        installed ? installed() : std::vector<std::u16string>{};
    const std::u16string_view driver = FirstInstalled(candidates, drivers);
    if (driver.empty()) {
        throw RuntimeError(err::ProviderNotFound,
                           "Provider cannot be found. It may not be properly installed: the "
                           "connection string names the provider " +
                               ShownProvider(name) +
                               ", which is read through an ODBC driver, and none of these is "
                               "installed: " +
                               Joined(candidates));
    }
    if (family == Family::SqlServer) {
        ForSqlServer(keys, driver, out);
    } else {
        ForAccess(keys, out);
    }
    return out.Text(driver);
}

}  // namespace mae
