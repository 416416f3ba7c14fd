#include "extract/ExclusionTests.h"

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Value.h"

namespace mae {

std::u16string DeathCertificateQuery(int32_t medrefId) {
    return u"select TypeRepSrc from abstracts, abstracts_3 where abstracts.absrefid = "
           u"abstracts_3.absrefid AND MedrefID = " +
           DecimalText(medrefId);
}

std::u16string ReleaseQuery(int32_t medrefId) {
    // The two characters between the first pair of quotes are two blanks.
    return u"select count(*) from abstracts, abstracts_3 where abstracts.absrefid = "
           u"abstracts_3.absrefid and (FupUnusual='  ' OR FupUnusual='00') AND MedrefID = " +
           DecimalText(medrefId);
}

bool IsDeathCertificateOnly(Connection& registry, int32_t medrefId) {
    Recordset rs;
    rs.Open(DeathCertificateQuery(medrefId), registry);
    // Counts abstracts from any source other than death certificate (6) or autopsy (7); the
    // count is kept in 16 bits, as it always was.
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

bool IsReleasable(Connection& registry, bool rereleaseChecked, int32_t medrefId) {
    if (!rereleaseChecked) return true;
    Recordset rs;
    rs.Open(ReleaseQuery(medrefId), registry);
    bool releasable = ToDouble(rs.Field(0)) >= 1;
    rs.Close();
    return releasable;
}

}  // namespace mae
