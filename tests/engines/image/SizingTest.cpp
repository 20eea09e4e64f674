#include "engines/image/FrameSizing.h"
#include "engines/image/SizeControls.h"

#include <clocale>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace quillmorph {
namespace {

using Side = SizeControls::Side;
using Dimensions = FrameSizing::Dimensions;
using enum FrameSizing::Dimensions;

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

// Under a decimal-comma locale too, as the application runs once Qt has set it from the desktop.
TEST(NumberField, TextIsTheSameInEveryLocale) {
    const std::vector<std::tuple<double, std::optional<SizeUnit>, std::string>> cases{
        {12.04, {}, "12"},
        {12.46, {}, "12.5"},
        {99.96, {}, "100"},
        {33.333, SizeUnit::percent, "33.3"},
        {0.4, SizeUnit::pixels, "1"},
        {1499.5, SizeUnit::pixels, "1500"},
        // Far beyond any integer type, still a plain integer text.
        {1e30, SizeUnit::pixels, "1000000000000000019884624838656"},
    };
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        for (const auto& [value, unit, expected] : cases) {
            SCOPED_TRACE(std::string(locale) + " " + expected);
            EXPECT_EQ(unit ? NumberField::text(value, *unit) : NumberField::text(value), expected);
        }
    }
    std::setlocale(LC_ALL, "C");
}

// One user session, step by step: the texts, the sizing and the notifications after each step.
TEST(SizeControls, FollowTheUsersEdits) {
    using Action = std::function<void(SizeControls&)>;
    using enum Side;
    const auto edit = [](Side side, std::string text) {
        return Action([=](SizeControls& controls) { controls.fieldChanged(side, text); });
    };
    const auto source = [](Size size) {
        return Action([=](SizeControls& controls) { controls.setSource(size); });
    };
    const auto stepWidth = [](double delta) {
        return Action([=](SizeControls& controls) { controls.step(Side::width, delta); });
    };
    const Action percent([](SizeControls& controls) { controls.setUnit(SizeUnit::percent); });
    const Action pixels([](SizeControls& controls) { controls.setUnit(SizeUnit::pixels); });
    const Action lock([](SizeControls& controls) { controls.toggleLock(); });
    const Action endHeight([](SizeControls& controls) { controls.endEditing(Side::height); });
    const Action sizingThenSource([](SizeControls& controls) {
        controls.setSizing(FrameSizing::exact(0, 720));
        controls.setSource({1920, 1080});
    });
    const FrameSizing untouched = FrameSizing::untouched();
    const auto fit = FrameSizing::fit;
    const auto exact = FrameSizing::exact;
    const std::vector<std::tuple<Action, std::string, std::string, FrameSizing, int, int>> steps{
        // While the source size is unknown no rule runs.
        {edit(width, "2000"), "2000", "", untouched, 0, 0},
        {percent, "2000", "", untouched, 0, 0},
        {source({4000, 3000}), "4000", "3000", untouched, 0, 2},
        // Only the controls' own writes count: the height once, its echo recognised and not written back.
        {edit(width, "2000"), "2000", "1500", fit(2000, 1500), 1, 3},
        {edit(height, "1000"), "1333", "1000", fit(1333, 1000), 2, 4},
        {edit(width, "abc"), "abc", "1000", fit(1333, 1000), 3, 4},
        {edit(width, "2000"), "2000", "1500", fit(2000, 1500), 4, 5},
        {percent, "50", "50", fit(2000, 1500), 4, 7},
        {edit(width, "25"), "25", "25", fit(1000, 750), 5, 8},
        {pixels, "1000", "750", fit(1000, 750), 5, 10},
        {lock, "1000", "750", exact(1000, 750), 6, 10},
        {edit(width, "1080"), "1080", "750", exact(1080, 750), 7, 10},
        {edit(height, "1080"), "1080", "1080", exact(1080, 1080), 8, 10},
        // Locking again derives the height from the width.
        {lock, "1080", "810", fit(1080, 810), 10, 11},
        {stepWidth(10), "1090", "818", fit(1090, 818), 11, 12},
        {edit(height, "1500 px"), "2000", "1500 px", fit(2000, 1500), 12, 13},
        {endHeight, "2000", "1500", fit(2000, 1500), 13, 13},
        // A new source resets the fields to the sizing, in pixels, without an edit.
        {percent, "50", "50", fit(2000, 1500), 13, 15},
        {source({640, 480}), "2000", "1500", fit(2000, 1500), 13, 17},
        {sizingThenSource, "1", "720", exact(0, 720), 13, 19},
        // 2^63 pixels fit no integer: the sizing stays as it was.
        {edit(width, "9223372036854775808"), "9223372036854775808", "5188146770730811392", exact(0, 720), 14,
         20},
        // A step never goes below one pixel.
        {stepWidth(-1e19), "1", "1", fit(1, 1), 15, 21},
    };
    int edits = 0;
    int writes = 0;
    SizeControls controls(FrameSizing::untouched(), true,
                          {.onEdit = [&] { ++edits; },
                           .onWrite =
                               [&](Side, const std::string&) {
                                   ++writes;
                               }});
    for (std::size_t index = 0; index < steps.size(); ++index) {
        SCOPED_TRACE(index);
        const auto& [action, widthText, heightText, sizing, editCount, writeCount] = steps[index];
        action(controls);
        EXPECT_EQ(controls.text(Side::width), widthText);
        EXPECT_EQ(controls.text(Side::height), heightText);
        EXPECT_EQ(controls.sizing(), sizing);
        EXPECT_EQ(edits, editCount);
        EXPECT_EQ(writes, writeCount);
    }
    EXPECT_EQ(controls.unit(), SizeUnit::pixels);
    EXPECT_EQ(controls.lockHelp(), Phrase::lockLockedHelp);
    controls.fieldChanged(Side::width, "x");
    EXPECT_FALSE(controls.step(Side::width, 1));
    controls.toggleLock();
    EXPECT_EQ(controls.lockLabel(), Phrase::lockFreeLabel);
}

TEST(FrameSizing, GeometryTable) {
    const FrameSizing untouched = FrameSizing::untouched();
    const std::vector<std::tuple<std::string, FrameSizing, Size, Dimensions, Size, Size>> cases{
        // rnd(960.5) is 961: halves round away from zero.
        {"untouched odd, even", untouched, {1921, 1081}, evenOnly, {1922, 1082}, {1922, 1082}},
        {"untouched fractional", untouched, {0.4, 2.5}, whole, {1, 3}, {1, 3}},
        {"fit never enlarges", FrameSizing::fit(1920, 1920), {1000, 500}, whole, {1000, 500}, {1000, 500}},
        {"fit landscape", FrameSizing::fit(1920, 1920), {4000, 3000}, whole, {1920, 1440}, {1920, 1440}},
        {"fit even", FrameSizing::fit(1001, 1001), {3000, 2000}, evenOnly, {1002, 668}, {1002, 668}},
        {"exact crops", FrameSizing::exact(1080, 1080), {4000, 3000}, whole, {1440, 1080}, {1080, 1080}},
        // The square shrinks instead of enlarging the source.
        {"exact shrinks the box", FrameSizing::exact(1080, 1080), {800, 600}, whole, {800, 600}, {600, 600}},
        {"exact partly too small", FrameSizing::exact(1000, 500), {800, 600}, whole, {800, 600}, {800, 400}},
        {"exact even", FrameSizing::exact(1081, 1081), {1921, 1081}, evenOnly, {1922, 1082}, {1082, 1082}},
        {"exact 1x1 source even", FrameSizing::exact(10, 10), {1, 1}, evenOnly, {2, 2}, {2, 2}},
        // Degenerate boxes still give at least one pixel (two with evenOnly) each way.
        {"fit empty", FrameSizing::fit(0, 0), {640, 480}, whole, {1, 1}, {1, 1}},
        {"fit negative", FrameSizing::fit(-5, 10), {640, 480}, whole, {1, 1}, {1, 1}},
        {"exact empty", FrameSizing::exact(0, 0), {640, 480}, whole, {1, 1}, {1, 1}},
        {"exact thin", FrameSizing::exact(1, 100000), {640, 480}, whole, {640, 480}, {1, 480}},
        {"exact thin even", FrameSizing::exact(1, 100000), {640, 480}, evenOnly, {640, 480}, {2, 480}},
    };
    for (const auto& [name, sizing, source, dimensions, scaled, output] : cases) {
        SCOPED_TRACE(name);
        const FrameSizing::Geometry geometry = sizing.geometry(source, dimensions);
        EXPECT_EQ(geometry.scaled, scaled);
        EXPECT_EQ(geometry.output, output);
    }
}

} // namespace
} // namespace quillmorph
