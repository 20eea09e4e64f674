#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quillmorph::testing {

// The first frame of a video (or an image) as ffmpeg decodes it upright, in RGB24.
struct FramePixels {
    int width = 0;
    int height = 0;
    std::string rgb;

    [[nodiscard]] std::array<int, 3> at(int x, int y) const;
};

[[nodiscard]] FramePixels firstFrame(const std::filesystem::path& file, int width, int height);

// Whether a colour is near pure red or pure blue (encoders blur the edges a little).
[[nodiscard]] bool isRed(std::array<int, 3> colour);
[[nodiscard]] bool isBlue(std::array<int, 3> colour);

} // namespace quillmorph::testing
