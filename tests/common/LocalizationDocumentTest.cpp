// Checks the language document the deliverables ship.
#include "common/Localization.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

namespace quillmorph {
namespace {

// The placeholders each phrase is given by its callers.
const std::map<std::string_view, std::set<std::string>> placeholders{
    {"image.count", {"n"}},
    {"video.count", {"n"}},
    {"pdf.count", {"n"}},
    {"audio.count", {"n"}},
    {"audio.videoCount", {"n"}},
    {"notify.imagesCount", {"n"}},
    {"notify.failuresCount", {"n"}},
    {"progress.count", {"done", "total"}},
    {"progress.itemCount", {"label", "done", "total"}},
    {"image.destinationEach", {"ext"}},
    {"audio.destinationEach", {"ext"}},
    {"setup.version", {"version"}},
    {"update.available", {"version"}},
    {"error.image.unreadable", {"file"}},
    {"error.video.unreadable", {"file"}},
    {"error.video.noTrack", {"file"}},
    {"error.video.encoding", {"file"}},
    {"error.audio.unreadable", {"file"}},
    {"error.audio.noTrack", {"file"}},
    {"error.pdf.unreadable", {"file"}},
    {"error.image.unsupported", {"format"}},
    {"error.image.encoding", {"format"}},
    {"video.posterSaved", {"name"}},
    {"video.frameRateUnchanged", {"fps"}},
    {"audio.lossless", {"bits"}},
};

TEST(LocalizationDocument, LoadsWithItsLanguagesAndKnownKeys) {
    ASSERT_TRUE(Localization::document()) << "Localizations.json is missing or malformed";
    EXPECT_EQ(Localization::fallback(), "en");
    std::vector<std::string> codes;
    for (const Language& language : Localization::languages()) {
        codes.push_back(language.code);
        EXPECT_FALSE(language.name.empty());
        EXPECT_FALSE(language.flag.empty());
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"en", "it", "de", "fr", "es"}));
    for (const auto& [key, texts] : Localization::table())
        EXPECT_TRUE(fromString<Phrase>(key)) << "unknown key " << key;
}

TEST(LocalizationDocument, EveryPhraseHasATextInEveryLanguageWithItsOwnPlaceholders) {
    const std::regex placeholder(R"(\{([^{}]*)\})");
    for (Phrase phrase : allCases<Phrase>()) {
        std::string_view key = toString(phrase);
        SCOPED_TRACE(std::string(key));
        auto row = Localization::table().find(key);
        ASSERT_NE(row, Localization::table().end());
        auto allowed = placeholders.contains(key) ? placeholders.at(key) : std::set<std::string>{};
        for (const Language& language : Localization::languages()) {
            SCOPED_TRACE(language.code);
            auto text = row->second.find(language.code);
            ASSERT_NE(text, row->second.end());
            EXPECT_FALSE(text->second.empty());
            for (std::sregex_iterator match(text->second.begin(), text->second.end(), placeholder), end;
                 match != end; ++match) {
                EXPECT_TRUE(allowed.contains((*match)[1].str())) << "unexpected {" << (*match)[1] << "}";
            }
        }
    }
}

} // namespace
} // namespace quillmorph
