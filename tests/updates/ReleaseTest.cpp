#include "updates/Release.h"

#include "common/Localization.h"

#include <gtest/gtest.h>

using namespace quillmorph;

TEST(Release, DecodesOnlyAReleaseWithAWebDownloadPage) {
    struct Case {
        const char* json;
        std::optional<Release> expected;
    };
    const Release plain{.version = "1.4.2", .url = "https://example.org/get"};
    const std::vector<Case> cases{
        {R"({"version": "1.4.2", "url": "https://example.org/get"})", plain},
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
    for (const Case& test : cases) {
        SCOPED_TRACE(test.json);
        EXPECT_EQ(Release::decode(test.json), test.expected);
    }
}

TEST(Release, SummaryIsInTheCurrentLanguageElseTheFallback) {
    ASSERT_EQ(Localization::fallback(), "en");
    Localization::setLanguage("it");
    const Release both{.notes = {{"en", "Faster."}, {"it", "Più veloce."}}};
    EXPECT_EQ(both.summary(), "Più veloce.");
    EXPECT_EQ((Release{.notes = {{"en", "Faster."}}}.summary()), "Faster.");
    EXPECT_EQ((Release{.notes = {{"de", "Schneller."}}}.summary()), std::nullopt);
    EXPECT_EQ(Release{}.summary(), std::nullopt);
}
