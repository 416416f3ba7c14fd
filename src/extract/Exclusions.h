#pragma once

#include <cstdint>
#include <string>

#include "db/Recordset.h"
#include "db/Statement.h"

namespace mae {

class Connection;

// True when no abstract of the case has a TypeRepSrc other than 6 and 7 (Null rows do not count).
bool IsDeathCertificateOnly(Connection& registry, int32_t medrefId);
// True when rereleaseChecked is false (nothing is sent), else when at least one abstract of the
// case has FupUnusual two blanks or "00".
bool IsReleasable(Connection& registry, bool rereleaseChecked, int32_t medrefId);

// The statements, for tests and the benchmark's query floor.
std::u16string DeathCertificateQuery(int32_t medrefId);
std::u16string ReleaseQuery(int32_t medrefId);
// The same statements with `?` where the id goes, for preparing once.
std::u16string DeathCertificateQuery();
std::u16string ReleaseQuery();

// The two tests for a run of cases: each statement is prepared on its first use and then
// executed with the case's id bound. The results are those of the functions above.
class PreparedExclusionTests {
  public:
    explicit PreparedExclusionTests(Connection& registry) : m_registry(registry) {}
    bool IsDeathCertificateOnly(int32_t medrefId);
    bool IsReleasable(bool rereleaseChecked, int32_t medrefId);

  private:
    Connection& m_registry;
    Statement m_deathCertificate;
    Statement m_release;
    Recordset m_rows;
};

}  // namespace mae
