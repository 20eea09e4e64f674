#include "engines/pdf/PDFSettings.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(PDFSettings, ResolutionsRunFromLowToHighDensityAndReadBackFromTheirDPI) {
    int previous = 0;
    for (const PDFSettings::Resolution each : allCases<PDFSettings::Resolution>()) {
        SCOPED_TRACE(toString(each));
        EXPECT_GT(dpi(each), previous);
        previous = dpi(each);
        EXPECT_EQ(resolution(dpi(each)), each);
    }
    EXPECT_EQ(dpi(PDFSettings::Resolution::web), 96);
    for (int other : {0, 72, 97, -150})
        EXPECT_EQ(resolution(other), std::nullopt) << other;
}

} // namespace
} // namespace quillmorph
