// Run with QUILLMORPH_RESOURCE_DIR pointing at a folder without a language document.
#include "common/Localization.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(MissingDocument, EveryPhraseShowsItsKey) {
    EXPECT_FALSE(Localization::document());
    EXPECT_TRUE(Localization::languages().empty());
    EXPECT_TRUE(Localization::available().empty());
    EXPECT_EQ(Localization::fallback(), "en");
    EXPECT_EQ(Localization::language(), "en");
    for (Phrase phrase : allCases<Phrase>())
        EXPECT_EQ(Localization::string(phrase, {{"n", "2"}}), toString(phrase));
}

} // namespace
} // namespace quillmorph
