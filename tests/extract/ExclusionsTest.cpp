#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "extract/Exclusions.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

using test::MiniRegistry;

class ExclusionsTest : public ::testing::Test {
  protected:
    ExclusionsTest() : m_registry(m_dir.file("registry.db")) {}
    bool DeathCertOnly(int medrefId) {
        test::MiniRun run(m_registry, m_dir.path());
        return IsDeathCertificateOnly(run.connection, medrefId);
    }
    bool Releasable(int medrefId, bool checked = true) {
        test::MiniRun run(m_registry, m_dir.path());
        return IsReleasable(run.connection, checked, medrefId);
    }
    test::TempDir m_dir;
    MiniRegistry m_registry;
};

TEST_F(ExclusionsTest, DeathCertificateOnlyCountsOtherSources) {
    // case 1: no abstracts at all
    m_registry.AddAbstract(20, 2, "6", "'00'");  // case 2: 6, 7, 7
    m_registry.AddAbstract(21, 2, "7", "'00'");
    m_registry.AddAbstract(22, 2, "'07'", "'00'");
    m_registry.AddAbstract(30, 3, "1", "'00'");  // case 3: 1, 7
    m_registry.AddAbstract(31, 3, "7", "'00'");
    m_registry.AddAbstract(40, 4, "null", "'00'");  // case 4: Null, 6
    m_registry.AddAbstract(41, 4, "6", "'00'");
    m_registry.AddAbstract(50, 5, "null", "'00'");  // case 5: Null alone
    m_registry.AddAbstract(60, 6, "'1'", "'00'");   // case 6: text 1
    EXPECT_TRUE(DeathCertOnly(1));
    EXPECT_TRUE(DeathCertOnly(2));
    EXPECT_FALSE(DeathCertOnly(3));
    EXPECT_TRUE(DeathCertOnly(4));
    EXPECT_TRUE(DeathCertOnly(5));
    EXPECT_FALSE(DeathCertOnly(6));
    m_registry.AddAbstract(70, 7, "'  '", "'00'");  // blanks are not a number
    try {
        DeathCertOnly(7);
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::TypeMismatch);
    }
}

TEST_F(ExclusionsTest, ReleaseNeedsOneClearAbstract) {
    m_registry.AddAbstract(10, 1, "1", "'01'");
    m_registry.AddAbstract(11, 1, "1", "'02'");
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_registry.AddAbstract(21, 2, "1", "'01'");
    m_registry.AddAbstract(30, 3, "1", "null");
    m_registry.AddAbstract(40, 4, "1", "'  '");
    EXPECT_FALSE(Releasable(1));
    EXPECT_TRUE(Releasable(2));
    EXPECT_FALSE(Releasable(3));
    EXPECT_TRUE(Releasable(4));
    // Unchecked: true without asking the database, even one that could not answer.
    m_registry.Exec("drop table abstracts_3");
    EXPECT_TRUE(Releasable(1, false));
    EXPECT_THROW(Releasable(1, true), RuntimeError);
}

TEST(ExclusionQueries, EndInTheCaseNumber) {
    EXPECT_EQ(DeathCertificateQuery(123),
              u"select TypeRepSrc from abstracts, abstracts_3 where abstracts.absrefid = "
              u"abstracts_3.absrefid AND MedrefID = 123");
    EXPECT_EQ(ReleaseQuery(123),
              u"select count(*) from abstracts, abstracts_3 where abstracts.absrefid = "
              u"abstracts_3.absrefid and (FupUnusual='  ' OR FupUnusual='00') AND MedrefID = 123");
    EXPECT_EQ(ReleaseQuery(-5).substr(ReleaseQuery(-5).size() - 13), u"MedrefID = -5");
}

}  // namespace
}  // namespace mae
