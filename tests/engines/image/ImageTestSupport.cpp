#include "tests/engines/image/ImageTestSupport.h"

#include "engines/image/VipsImage.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace quillmorph::testing {

using vips::VImage;

VImage photo(int width, int height, int seed) {
    VipsImage::start();
    const VImage xy = VImage::xyz(width, height);
    const VImage x = xy[0] / double(width);
    const VImage y = xy[1] / double(height);
    // vips takes angles in degrees.
    const VImage waves = (x * (360.0 * (2 + seed))).sin() * 50 + (y * 900.0).sin() * 40;
    VImage red = x * 170 + 40;
    VImage green = y * 150 + 50 + waves * 0.5;
    VImage blue = (x + y) * 60 + 60 + waves;
    // A disc and a bar, flat coloured with hard edges, as objects in a scene.
    const VImage disc = ((x - 0.3 - 0.05 * seed) * (x - 0.3 - 0.05 * seed) + (y - 0.6) * (y - 0.6)) < 0.02;
    const VImage bar = (x > 0.62) & (x < 0.7) & (y > 0.1) & (y < 0.9);
    red = disc.ifthenelse(230, bar.ifthenelse(30, red));
    green = disc.ifthenelse(190, bar.ifthenelse(40, green));
    blue = disc.ifthenelse(40, bar.ifthenelse(70, blue));
    const VImage noise =
        VImage::gaussnoise(width, height, VImage::option()->set("sigma", 6.0)->set("seed", seed));
    return (VImage::bandjoin({red, green, blue}) + noise)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

double psnr(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height())
        throw std::invalid_argument("psnr: different sizes");
    const auto first = a.pixels();
    const auto second = b.pixels();
    double sum = 0;
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const double difference = double(first[i]) - double(second[i]);
        sum += difference * difference;
    }
    const double meanSquare = sum / (double(first.size()) * 3 / 4);
    if (meanSquare == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / meanSquare);
}

} // namespace quillmorph::testing
