#include "common/UserDefaults.h"

#include "common/LanguageSettings.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

class UserDefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("QUILLMORPH_CONFIG_DIR", (m_directory / "config").c_str(), 1); }
    void TearDown() override { unsetenv("QUILLMORPH_CONFIG_DIR"); }

    testing::TemporaryDirectory m_directory;
};

TEST_F(UserDefaultsTest, StoresValuesByKeyAndReadsTypesStrictlyThenFallsBackToXDGConfigHome) {
    EXPECT_EQ(UserDefaults::file(), m_directory / "config" / "defaults.json");
    LanguageSettings settings;
    EXPECT_FALSE(settings.setCode(settings.code())) << "the same language is not stored again";
    EXPECT_FALSE(UserDefaults::string("QuillmorphLanguage"));
    ASSERT_TRUE(UserDefaults::setString("QuillmorphLanguage", "it"));
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphChecksForUpdates", false));
    EXPECT_EQ(UserDefaults::string("QuillmorphLanguage"), "it");
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), false);
    EXPECT_FALSE(UserDefaults::boolean("QuillmorphLanguage"));
    EXPECT_FALSE(UserDefaults::string("QuillmorphChecksForUpdates"));
    // The write leaves no temporary file behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_directory / "config"), {}), 1);
    unsetenv("QUILLMORPH_CONFIG_DIR");
    setenv("XDG_CONFIG_HOME", m_directory.path().c_str(), 1);
    EXPECT_EQ(UserDefaults::file(), m_directory / "quillmorph" / "defaults.json");
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(UserDefaultsTest, ACorruptFileReadsAsEmptyAndIsNotRewrittenByReads) {
    std::filesystem::create_directories(m_directory / "config");
    testing::writeFile(UserDefaults::file(), "{\"QuillmorphLanguage\": \"it\"");
    EXPECT_FALSE(UserDefaults::string("QuillmorphLanguage"));
    EXPECT_EQ(testing::readFile(UserDefaults::file()), "{\"QuillmorphLanguage\": \"it\"");
    ASSERT_TRUE(UserDefaults::setString("QuillmorphLanguage", "de"));
    EXPECT_EQ(UserDefaults::string("QuillmorphLanguage"), "de");
}

} // namespace
} // namespace quillmorph
