#include "common/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace quillmorph {

// The suite runs under a decimal-comma locale; this also holds when it is set in-process, as Qt does.
TEST(NumberText, WritesAPointWhateverTheLocale) {
    ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8")) << "the de_DE.UTF-8 locale must be generated";
    EXPECT_EQ(NumberText::fixed(30, 3), "30.000");
    EXPECT_EQ(NumberText::fixed(1e20, 0), "100000000000000000000");
    EXPECT_EQ(NumberText::general(12.5), "12.5");
    EXPECT_EQ(NumberText::general(1234567), "1.23457e+06");
    std::setlocale(LC_ALL, "C");
}

} // namespace quillmorph
