#include "engines/pdf/PDFSettings.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(PDFSettings, ResolutionsRunFromLowToHighDensity) {
    using Resolution = PDFSettings::Resolution;
    const struct {
        Resolution resolution;
        std::string_view name;
        int dpi;
    } cases[] = {
        {Resolution::web, "web", 96}, {Resolution::docs, "docs", 150}, {Resolution::print, "print", 300}};
    ASSERT_EQ(allCases<Resolution>().size(), std::size(cases));
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        SCOPED_TRACE(cases[index].name);
        EXPECT_EQ(allCases<Resolution>()[index], cases[index].resolution);
        EXPECT_EQ(toString(cases[index].resolution), cases[index].name);
        EXPECT_EQ(dpi(cases[index].resolution), cases[index].dpi);
        EXPECT_EQ(resolution(cases[index].dpi), cases[index].resolution);
    }
    for (int other : {0, 72, 97, 149, 600, -150}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(resolution(other), std::nullopt);
    }
}

} // namespace
} // namespace quillmorph
