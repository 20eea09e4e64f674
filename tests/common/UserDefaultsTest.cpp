#include "common/LanguageSettings.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillmorph {
namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QUILLMORPH_CONFIG_DIR", (m_directory / "config").c_str(), 1); }
    void TearDown() override { unsetenv("QUILLMORPH_CONFIG_DIR"); }

    testing::TemporaryDirectory m_directory;
};

TEST_F(UserDefaultsTest, StoresValuesByKeyAndReadsTypesStrictly) {
    EXPECT_EQ(UserDefaults::file(), m_directory / "config" / "defaults.json");
    EXPECT_FALSE(UserDefaults::string("QuillmorphLanguage"));
    ASSERT_TRUE(UserDefaults::setString("QuillmorphLanguage", "it"));
    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphChecksForUpdates", false));
    EXPECT_EQ(UserDefaults::string("QuillmorphLanguage"), "it");
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), false);
    EXPECT_FALSE(UserDefaults::boolean("QuillmorphLanguage"));
    EXPECT_FALSE(UserDefaults::string("QuillmorphChecksForUpdates"));
    // The write leaves no temporary file behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_directory / "config"), {}), 1);
}

TEST_F(UserDefaultsTest, FallsBackToXDGConfigHome) {
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

TEST_F(UserDefaultsTest, LanguageSettingsStoreOnlyAChange) {
    LanguageSettings settings;
    EXPECT_FALSE(settings.setCode(settings.code()));
    EXPECT_FALSE(std::filesystem::exists(UserDefaults::file()));
    std::string other = settings.code() == "it" ? "de" : "it";
    EXPECT_TRUE(settings.setCode(other));
    EXPECT_EQ(Localization::language(), other);
    EXPECT_EQ(UserDefaults::string("QuillmorphLanguage"), other);
}

} // namespace
} // namespace quillmorph
