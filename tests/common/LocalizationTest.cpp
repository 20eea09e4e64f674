#include "common/Localization.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

using Available = std::set<std::string, std::less<>>;

TEST(Localization, ResolvesOverrideThenPreferredThenSystemThenFallback) {
    struct Row {
        const char* why;
        std::optional<std::string> override;
        std::vector<std::string> preferred, system;
        Available available;
        std::string expected;
    };
    const Row rows[] = {
        {"override wins", "de", {"fr"}, {"it"}, {"en", "de", "fr", "it"}, "de"},
        {"unlisted override is ignored", "de", {"fr"}, {"it-IT"}, {"en", "it"}, "it"},
        {"preferred before system", std::nullopt, {"fr_FR.UTF-8"}, {"it"}, {"en", "fr", "it"}, "fr"},
        {"POSIX locale with charset and modifier", std::nullopt, {}, {"pt_PT.UTF-8@euro"}, {"pt"}, "pt"},
        {"upper-case document code never matches", std::nullopt, {"it"}, {}, {"IT", "en"}, "en"},
        {"C and POSIX count as nothing", std::nullopt, {"C"}, {"POSIX", "es"}, {"es", "C"}, "es"},
        {"candidate without language code skipped", std::nullopt, {"-BR", "_", "12"}, {"fr"}, {"fr"}, "fr"},
        {"empty available gives the fallback", "it", {"it"}, {"it"}, {}, "en"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(Localization::resolve(row.override, row.preferred, row.system, row.available, "en"), row.expected);
    }
}

TEST(Localization, FallsBackToTheFallbackLanguageThenTheKey) {
    Localization::Table table{{"notify.failedTitle", {{"en", "Failed"}, {"it", "Non riuscito"}}},
                              {"common.cancel", {{"en", "Cancel"}}},
                              {"common.compress", {{"fr", "Compresser"}}}};
    EXPECT_EQ(Localization::string(table, "it", "en", Phrase::notifyFailedTitle), "Non riuscito");
    EXPECT_EQ(Localization::string(table, "it", "en", Phrase::commonCancel), "Cancel");
    EXPECT_EQ(Localization::string(table, "it", "en", Phrase::commonCompress), "common.compress");
    EXPECT_EQ(Localization::string(table, "it", "en", Phrase::commonConvert), "common.convert");
}

TEST(Localization, SubstitutesEveryOccurrenceAndKeepsUnknownPlaceholders) {
    Localization::Table table{{"image.count", {{"en", "{n} images, {n} in all"}}},
                              {"progress.itemCount", {{"en", "{label}: {done} of {total} {unknown}"}}},
                              {"error.image.unreadable", {{"en", "Cannot read {file}"}}}};
    EXPECT_EQ(Localization::string(table, "en", "en", Phrase::imageCount, {{"n", "3"}}), "3 images, 3 in all");
    EXPECT_EQ(Localization::string(table, "en", "en", Phrase::progressItemCount,
                                   {{"label", "a.mov"}, {"done", "2"}, {"total", "5"}, {"unused", "x"}}),
              "a.mov: 2 of 5 {unknown}");
    EXPECT_EQ(Localization::string(table, "en", "en", Phrase::errorImageUnreadable, {{"File", "x"}}),
              "Cannot read {file}");
}

TEST(Localization, DocumentNeedsAllThreeKeysWithTheirTypes) {
    auto document = Localization::decode(
        R"({"fallback":"en","languages":[{"code":"en","name":"English","flag":"F"}],"strings":{"menu.quit":{"en":"Quit"}}})");
    ASSERT_TRUE(document);
    EXPECT_EQ(document->languages, (std::vector<Language>{{"en", "English", "F"}}));
    EXPECT_EQ(document->strings.at("menu.quit").at("en"), "Quit");

    for (const char* json : {
             "not json",
             "[]",
             R"({"languages":[],"strings":{}})",
             R"({"fallback":1,"languages":[],"strings":{}})",
             R"({"fallback":"en","languages":[{"code":"en","name":"English"}],"strings":{}})",
             R"({"fallback":"en","languages":[],"strings":{"menu.quit":"Quit"}})",
         }) {
        EXPECT_FALSE(Localization::decode(json)) << json;
    }
}

} // namespace
} // namespace quillmorph
