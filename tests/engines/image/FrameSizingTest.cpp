#include "engines/image/FrameSizing.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using Dimensions = FrameSizing::Dimensions;
using enum FrameSizing::Dimensions;

struct GeometryCase {
    std::string name;
    FrameSizing sizing;
    Size source;
    Dimensions dimensions;
    Size scaled;
    Size output;
};

TEST(FrameSizing, GeometryTable) {
    const FrameSizing untouched = FrameSizing::untouched();
    const std::vector<GeometryCase> cases{
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
        {"fit empty even", FrameSizing::fit(0, 0), {640, 480}, evenOnly, {2, 2}, {2, 2}},
        {"fit negative", FrameSizing::fit(-5, 10), {640, 480}, whole, {1, 1}, {1, 1}},
        {"exact empty", FrameSizing::exact(0, 0), {640, 480}, whole, {1, 1}, {1, 1}},
        {"exact thin", FrameSizing::exact(1, 100000), {640, 480}, whole, {640, 480}, {1, 480}},
        {"exact thin even", FrameSizing::exact(1, 100000), {640, 480}, evenOnly, {640, 480}, {2, 480}},
    };
    for (const GeometryCase& row : cases) {
        SCOPED_TRACE(row.name);
        const FrameSizing::Geometry geometry = row.sizing.geometry(row.source, row.dimensions);
        EXPECT_EQ(geometry.scaled, row.scaled);
        EXPECT_EQ(geometry.output, row.output);
    }
}

} // namespace
} // namespace quillmorph
