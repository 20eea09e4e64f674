#include "updates/Release.h"

#include "common/Localization.h"

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
