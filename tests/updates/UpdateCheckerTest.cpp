#include "updates/UpdateChecker.h"

#include "common/Bundle.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"
#include "updates/SiteLinks.h"

#include <gtest/gtest.h>

using namespace quillmorph;

TEST(Release, DecodesOnlyAReleaseWithAWebDownloadPage) {
    const std::vector<std::pair<const char*, std::optional<Release>>> cases{
        {R"({"version": "2.0", "url": "HTTP://example.org", "notes": {"en": "New.", "it": "Nuovo."}})",
         Release{.version = "2.0", .url = "HTTP://example.org", .notes = {{"en", "New."}, {"it", "Nuovo."}}}},
        {R"({"url": "https://example.org/get"})", std::nullopt},
        {R"({"version": 2, "url": "https://example.org/get"})", std::nullopt},
        {R"({"version": "2.0", "url": "https://example.org/get", "notes": "New."})", std::nullopt},
        {R"({"version": "2.0", "url": "file:///home/user/.ssh/id_rsa"})", std::nullopt},
        {R"({"version": "2.0", "url": "https://"})", std::nullopt},
        {R"({"version": "2.0", "url": "https://example.org/a b"})", std::nullopt},
        {R"({"version": "2.0", "url": "https://example.org/get")", std::nullopt},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(Release::decode(json), expected);
    }
}

TEST(Release, SummaryIsInTheCurrentLanguageElseTheFallback) {
    ASSERT_EQ(Localization::fallback(), "en");
    Localization::setLanguage("it");
    EXPECT_EQ((Release{.notes = {{"en", "Faster."}, {"it", "Più veloce."}}}.summary()), "Più veloce.");
    EXPECT_EQ((Release{.notes = {{"en", "Faster."}}}.summary()), "Faster.");
    EXPECT_EQ((Release{.notes = {{"de", "Schneller."}}}.summary()), std::nullopt);
}

TEST(UpdateChecker, IsNewer) {
    const std::vector<std::tuple<const char*, const char*, bool>> cases{
        {"1.9", "1.10", false},
        {"2.0.1", "2.0", true},
        {"2.0-rc1", "2.0", false},
        {"2.1-rc1", "2.0", true},
        {"", "0.0.0", false},
        {"beta", "0.1", false},
        // A number too long to hold counts as 0, as does a piece that starts with a letter.
        {"99999999999999999999.1", "0.2", false},
        {"v2.1", "0.0.9", true},
    };
    for (const auto& [version, than, expected] : cases) {
        SCOPED_TRACE(std::string(version) + " than " + than);
        EXPECT_EQ(UpdateChecker::isNewer(version, than), expected);
    }
}

TEST(UpdateChecker, FeedSiteAndSwitchFollowTheDefaults) {
    quillmorph::testing::TemporaryDirectory folder;
    setenv("QUILLMORPH_CONFIG_DIR", folder.path().c_str(), 1);
    const std::string builtInSite(Bundle::site().substr(0, Bundle::site().find_last_not_of('/') + 1));
    struct Case {
        std::optional<std::string> site;
        std::optional<std::string> feed;
        std::optional<std::string> expectedHome;
        std::optional<std::string> expectedFeed;
    };
    const std::vector<Case> cases{
        {std::nullopt, std::nullopt, builtInSite, builtInSite + "/version.json"},
        {"https://example.org/", std::nullopt, "https://example.org", "https://example.org/version.json"},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {"not a site", std::nullopt, std::nullopt, std::nullopt},
        {"", "http://127.0.0.1:8000/feed.json", std::nullopt, "http://127.0.0.1:8000/feed.json"},
        {"https://example.org", "file:///tmp/version.json", "https://example.org",
         "https://example.org/version.json"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.site.value_or("(no site)") + ", " + test.feed.value_or("(no feed)"));
        std::filesystem::remove(UserDefaults::file());
        if (test.site)
            UserDefaults::setString("QuillmorphSite", *test.site);
        if (test.feed)
            UserDefaults::setString("QuillmorphUpdateFeed", *test.feed);
        EXPECT_EQ(SiteLinks::home(), test.expectedHome);
        EXPECT_EQ(UpdateChecker::feed(), test.expectedFeed);
        EXPECT_EQ(SiteLinks::page("install"),
                  test.expectedHome ? std::optional(*test.expectedHome + "#install") : std::nullopt);
    }
    // Checks stay on unless stored as false.
    EXPECT_TRUE(UpdateChecker::isEnabled());
    UserDefaults::setString("QuillmorphChecksForUpdates", "no");
    EXPECT_TRUE(UpdateChecker::isEnabled());
    UserDefaults::setBoolean("QuillmorphChecksForUpdates", false);
    EXPECT_FALSE(UpdateChecker::isEnabled());
    unsetenv("QUILLMORPH_CONFIG_DIR");
}
