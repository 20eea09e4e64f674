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
        EXPECT_EQ(Localization::resolve(row.override, row.preferred, row.system, row.available, "en"),
                  row.expected);
    }
}

TEST(Localization, TakesTheLanguageThenTheFallbackThenTheKeyAndFillsEveryPlaceholder) {
    Localization::Table table{{"notify.failedTitle", {{"en", "Failed"}, {"it", "Non riuscito"}}},
                              {"common.cancel", {{"en", "Cancel"}}},
                              {"common.compress", {{"fr", "Compresser"}}},
                              {"image.count", {{"it", "{n} immagini, {n} in tutto"}}},
                              {"progress.itemCount", {{"en", "{label}: {done} of {total} {unknown}"}}},
                              {"error.image.unreadable", {{"en", "Cannot read {file}"}}}};
    auto text = [&](Phrase phrase, const Localization::Arguments& arguments = {}) {
        return Localization::string(table, "it", "en", phrase, arguments);
    };
    EXPECT_EQ(text(Phrase::notifyFailedTitle), "Non riuscito");
    EXPECT_EQ(text(Phrase::commonCancel), "Cancel");
    EXPECT_EQ(text(Phrase::commonCompress), "common.compress");
    EXPECT_EQ(text(Phrase::commonConvert), "common.convert");
    EXPECT_EQ(text(Phrase::imageCount, {{"n", "3"}}), "3 immagini, 3 in tutto");
    EXPECT_EQ(
        text(Phrase::progressItemCount, {{"label", "a.mov"}, {"done", "2"}, {"total", "5"}, {"unused", "x"}}),
        "a.mov: 2 of 5 {unknown}");
    EXPECT_EQ(text(Phrase::errorImageUnreadable, {{"File", "x"}}), "Cannot read {file}");
}

// The shipped document's test covers a well-formed one.
TEST(Localization, DocumentNeedsAllThreeKeysWithTheirTypes) {
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
