#include "extract/Exclusions.h"

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"

namespace mae {

namespace {

constexpr std::u16string_view DeathCertificateText =
    u"select TypeRepSrc from abstracts, abstracts_3 where abstracts.absrefid = "
    u"abstracts_3.absrefid AND MedrefID = ";
// The two characters between the first pair of quotes are two blanks.
constexpr std::u16string_view ReleaseText =
    u"select count(*) from abstracts, abstracts_3 where abstracts.absrefid = "
    u"abstracts_3.absrefid and (FupUnusual='  ' OR FupUnusual='00') AND MedrefID = ";

// Reads the death-certificate test's rows to their end and closes them.
bool DeathCertificateOnlyFrom(Recordset& rs, int32_t medrefId) {
    // Counts abstracts from any source other than death certificate (6) or autopsy (7). The
    // counter is 16 bits wide: a case past 32767 such abstracts is error 6, never a count that
    // wraps round to a wrong answer.
    int16_t others = 0;
    while (!rs.Eof()) {
        const Value& source = rs.Field(u"TypeRepSrc");
        if (!source.isNull()) {
            double code = ToDouble(source);
            if (code != 6 && code != 7) {
                if (others == INT16_MAX) {
                    throw RuntimeError(err::Overflow,
                                       "Overflow: more than 32767 abstracts counted for MedrefID " +
                                           std::to_string(medrefId));
                }
                ++others;
            }
        }
        rs.MoveNext();
    }
    rs.Close();
    return others == 0;
}

// The count query always gives one row: its first column is read without an end test.
bool ReleasableFrom(Recordset& rs) {
    bool releasable = ToDouble(rs.Field(0)) >= 1;
    rs.Close();
    return releasable;
}

}  // namespace

std::u16string DeathCertificateQuery(int32_t medrefId) {
    return std::u16string(DeathCertificateText) + DecimalText(medrefId);
}

std::u16string ReleaseQuery(int32_t medrefId) {
    return std::u16string(ReleaseText) + DecimalText(medrefId);
}

std::u16string DeathCertificateQuery() { return std::u16string(DeathCertificateText) + u"?"; }

std::u16string ReleaseQuery() { return std::u16string(ReleaseText) + u"?"; }

bool IsDeathCertificateOnly(Connection& registry, int32_t medrefId) {
    Recordset rs;
    rs.Open(DeathCertificateQuery(medrefId), registry);
    return DeathCertificateOnlyFrom(rs, medrefId);
}

bool IsReleasable(Connection& registry, bool rereleaseChecked, int32_t medrefId) {
    if (!rereleaseChecked) return true;
    Recordset rs;
    rs.Open(ReleaseQuery(medrefId), registry);
    return ReleasableFrom(rs);
}

bool PreparedExclusionTests::IsDeathCertificateOnly(int32_t medrefId) {
    if (!m_deathCertificate.IsPrepared()) {
        m_deathCertificate.Prepare(DeathCertificateQuery(), m_registry);
    }
    m_rows.Open(m_deathCertificate, medrefId);
    return DeathCertificateOnlyFrom(m_rows, medrefId);
}

bool PreparedExclusionTests::IsReleasable(bool rereleaseChecked, int32_t medrefId) {
    if (!rereleaseChecked) return true;
    if (!m_release.IsPrepared()) m_release.Prepare(ReleaseQuery(), m_registry);
    m_rows.Open(m_release, medrefId);
    return ReleasableFrom(m_rows);
}

}  // namespace mae
