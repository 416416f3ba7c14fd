#pragma once

#include <cstdint>
#include <string>

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

}  // namespace mae
