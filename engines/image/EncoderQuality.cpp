#include "EncoderQuality.h"

#include <algorithm>
#include <cmath>

namespace quillmorph::EncoderQuality {

double lossy(ImageFormat format, double quality) {
    if (format == ImageFormat::avif && quality > 0.99)
        return 0.99;
    return quality;
}

int libraryQ(double lossyQuality) {
    return int(std::clamp(std::round(lossyQuality * 100), 1.0, 100.0));
}

} // namespace quillmorph::EncoderQuality
