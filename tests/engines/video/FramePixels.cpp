#include "FramePixels.h"

#include "tests/support/Tools.h"

namespace quillmorph::testing {

std::array<int, 3> FramePixels::at(int x, int y) const {
    std::size_t offset = (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    if (offset + 2 >= rgb.size())
        return {-1, -1, -1};
    return {static_cast<unsigned char>(rgb[offset]), static_cast<unsigned char>(rgb[offset + 1]),
            static_cast<unsigned char>(rgb[offset + 2])};
}

FramePixels firstFrame(const std::filesystem::path& file, int width, int height) {
    CommandResult decoded = runTool({"ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-frames:v",
                                     "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    return {width, height, decoded.output};
}

bool isRed(std::array<int, 3> colour) {
    return colour[0] > 200 && colour[1] < 60 && colour[2] < 60;
}

bool isBlue(std::array<int, 3> colour) {
    return colour[0] < 60 && colour[1] < 60 && colour[2] > 200;
}

} // namespace quillmorph::testing
