#include "engines/image/SizeControls.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using Side = SizeControls::Side;

TEST(NumberField, Parse) {
    const std::vector<std::pair<std::string, std::optional<double>>> cases{
        {" 50 % ", 50}, {"1,5", 1.5},  {"120PX", 120}, {"120 px", 120}, {"2.5e2", 250},
        {"0", {}},      {"-3", {}},    {"", {}},       {"12abc", {}},   {"inf", {}},
        {"nan", {}},    {"1e400", {}}, {"pxpx", {}},   {"1 2", {}},     {"0x10", {}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE("\"" + text + "\"");
        EXPECT_EQ(NumberField::parse(text), expected);
    }
}

TEST(NumberField, Text) {
    EXPECT_EQ(NumberField::text(12.04), "12");
    EXPECT_EQ(NumberField::text(12.46), "12.5");
    EXPECT_EQ(NumberField::text(99.96), "100");
    EXPECT_EQ(NumberField::text(33.333, SizeUnit::percent), "33.3");
    EXPECT_EQ(NumberField::text(0.4, SizeUnit::pixels), "1");
    EXPECT_EQ(NumberField::text(1499.5, SizeUnit::pixels), "1500");
    // Far beyond any integer type, still a plain integer text.
    EXPECT_EQ(NumberField::text(1e30, SizeUnit::pixels), "1000000000000000019884624838656");
}

// Controls as the image panel sets them up, with edits and writes counted.
struct Panel {
    int edits = 0;
    std::vector<std::pair<Side, std::string>> writes;
    SizeControls controls{FrameSizing::untouched(),
                          true,
                          {.onEdit = [this] { ++edits; },
                           .onWrite =
                               [this](Side side, const std::string& text) {
                                   writes.emplace_back(side, text);
                               }}};
};

TEST(SizeControls, ResetFillsTheSourceSizeWithoutChangingSizing) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    EXPECT_EQ(panel.controls.text(Side::width), "4000");
    EXPECT_EQ(panel.controls.text(Side::height), "3000");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::untouched());
    EXPECT_EQ(panel.edits, 0);

    panel.controls.setSizing(FrameSizing::exact(0, 720));
    panel.controls.setSource({1920, 1080});
    EXPECT_EQ(panel.controls.text(Side::width), "1");
    EXPECT_EQ(panel.controls.text(Side::height), "720");
    EXPECT_EQ(panel.edits, 0);
}

TEST(SizeControls, LinkedEditWritesTheOtherSideOnceAndIgnoresItsEcho) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    panel.writes.clear();

    panel.controls.fieldChanged(Side::width, "2000");
    EXPECT_EQ(panel.controls.text(Side::height), "1500");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(2000, 1500));
    EXPECT_EQ(panel.edits, 1);
    ASSERT_EQ(panel.writes.size(), 1u);
    EXPECT_EQ(panel.writes[0], (std::pair<Side, std::string>{Side::height, "1500"}));

    // A later user edit of the height is not mistaken for the echo.
    panel.controls.fieldChanged(Side::height, "1000");
    EXPECT_EQ(panel.controls.text(Side::width), "1333");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(1333, 1000));
    EXPECT_EQ(panel.edits, 2);
}

TEST(SizeControls, UnlinkedEditsGiveExact) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    panel.controls.toggleLock();
    EXPECT_FALSE(panel.controls.isLinked());
    EXPECT_EQ(panel.controls.lockLabel(), Phrase::lockFreeLabel);
    panel.controls.fieldChanged(Side::width, "1080");
    panel.controls.fieldChanged(Side::height, "1080");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::exact(1080, 1080));

    // Locking again derives the height from the width.
    panel.controls.toggleLock();
    EXPECT_EQ(panel.controls.lockHelp(), Phrase::lockLockedHelp);
    EXPECT_EQ(panel.controls.text(Side::height), "810");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(1080, 810));
}

TEST(SizeControls, UnknownSourceDisablesTheRules) {
    Panel panel;
    panel.controls.fieldChanged(Side::width, "2000");
    EXPECT_EQ(panel.controls.text(Side::height), "");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::untouched());
    EXPECT_EQ(panel.edits, 0);
    panel.controls.setUnit(SizeUnit::percent);
    EXPECT_EQ(panel.controls.text(Side::width), "2000");
}

TEST(SizeControls, UnitConversion) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    panel.controls.fieldChanged(Side::width, "2000");
    const int edits = panel.edits;

    panel.controls.setUnit(SizeUnit::percent);
    EXPECT_EQ(panel.controls.text(Side::width), "50");
    EXPECT_EQ(panel.controls.text(Side::height), "50");
    EXPECT_EQ(panel.edits, edits);

    // Percent edits stay mirrored as they are and convert through the source size.
    panel.controls.fieldChanged(Side::width, "25");
    EXPECT_EQ(panel.controls.text(Side::height), "25");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(1000, 750));

    panel.controls.setUnit(SizeUnit::pixels);
    EXPECT_EQ(panel.controls.text(Side::width), "1000");
    EXPECT_EQ(panel.controls.text(Side::height), "750");

    // A new source resets to pixels.
    panel.controls.setUnit(SizeUnit::percent);
    panel.controls.setSource({640, 480});
    EXPECT_EQ(panel.controls.unit(), SizeUnit::pixels);
    EXPECT_EQ(panel.controls.text(Side::width), "1000");
}

TEST(SizeControls, UnparsableOrAbsurdValuesNeverReachSizing) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    panel.controls.fieldChanged(Side::width, "2000");
    panel.controls.fieldChanged(Side::width, "abc");
    EXPECT_EQ(panel.controls.text(Side::height), "1500");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(2000, 1500));
    panel.controls.fieldChanged(Side::width, "1e300");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(2000, 1500));
    panel.controls.fieldChanged(Side::width, "9223372036854775808");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(2000, 1500));

    // The largest whole double below 2^63 still fits.
    panel.controls.toggleLock();
    panel.controls.fieldChanged(Side::width, "9223372036854774784");
    EXPECT_EQ(panel.controls.sizing().width, 9223372036854774784);

    panel.controls.setUnit(SizeUnit::percent);
    panel.controls.fieldChanged(Side::height, "1e290");
    EXPECT_EQ(panel.controls.sizing().width, 9223372036854774784);
}

TEST(NumericField, Stepping) {
    EXPECT_EQ(NumericField::stepped("100", 1, SizeUnit::pixels), "101");
    EXPECT_EQ(NumericField::stepped("100", -10, SizeUnit::pixels), "90");
    EXPECT_EQ(NumericField::stepped("5", -10, SizeUnit::pixels), "1");
    EXPECT_EQ(NumericField::stepped("12.5 %", 1, SizeUnit::percent), "13.5");
    EXPECT_EQ(NumericField::stepped("abc", 1, SizeUnit::pixels), std::nullopt);
}

TEST(SizeControls, SteppingAndEndOfEditingActAsEdits) {
    Panel panel;
    panel.controls.setSource({4000, 3000});
    EXPECT_TRUE(panel.controls.step(Side::width, 10));
    EXPECT_EQ(panel.controls.text(Side::width), "4010");
    EXPECT_EQ(panel.controls.sizing(), FrameSizing::fit(4010, 3008));

    panel.controls.fieldChanged(Side::height, "1500 px");
    panel.controls.endEditing(Side::height);
    EXPECT_EQ(panel.controls.text(Side::height), "1500");
    EXPECT_EQ(panel.controls.text(Side::width), "2000");

    panel.controls.fieldChanged(Side::width, "x");
    EXPECT_FALSE(panel.controls.step(Side::width, 1));
    EXPECT_EQ(panel.controls.text(Side::width), "x");
}

} // namespace
} // namespace quillmorph
