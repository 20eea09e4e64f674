#pragma once

#include "engines/video/VideoEncoding.h"

#include <filesystem>
#include <string>

namespace quillmorph::testing {

// Real media made once by the ffmpeg program and kept in the build tree for every later test
// process.
enum class Clip {
    landscape, // 1920×1080, 1 s, 30 fps, H.264 + AAC 48 kHz stereo
    rotated,   // stored 320×240 (left half red, right half blue) with a 90° display rotation:
               // shown 240×320, blue on top, red below; 1 s, 10 fps, no audio
    hdr,       // 160×90 HEVC, 10-bit, PQ transfer and BT.2020 primaries, 0.5 s
    silent,    // 320×240, 2 s, 25 fps, H.264 without audio
    colours,   // 160×120, 10 fps, red for 1 s then blue for 1 s, one key frame only
    toneOnly,  // audio only: 1 s of sine in AAC
};

[[nodiscard]] std::filesystem::path clip(Clip which);
// A copy of a clip as `folder`/`name`, so that outputs land beside it.
std::filesystem::path copyClip(Clip which, const std::filesystem::path& folder, const std::string& name);

// Runs the work on the calling thread: every progress report arrives before encode returns.
inline const Executor inlineExecutor = [](std::function<void()> work) {
    work();
};

} // namespace quillmorph::testing
