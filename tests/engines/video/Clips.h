#pragma once

#include "engines/video/VideoEncoding.h"

#include <array>
#include <filesystem>
#include <string>

namespace quillmorph::testing {

// Real media as devices make it, made once by the ffmpeg program for later test processes; 1 s unless said.
enum class Clip {
    phone,          // 320×180 at 60 fps, H.264 + AAC 48 kHz stereo, as phones record
    rotated,        // stored 320×240 (left red, right blue), 90° display rotation: shown 240×320, blue
                    // on top; 10 fps, no audio
    pq,             // 160×90 HEVC 10-bit, BT.2020, PQ transfer, 0.5 s
    hlg,            // the same with the HLG transfer
    bt2020Sdr,      // 160×90 H.264, BT.2020 primaries with the BT.709 transfer
    bt2020Untagged, // 160×90 H.264, BT.2020 primaries and no transfer tag
    colours,        // 160×120, 10 fps, red for 1 s then blue for 1 s, one key frame only, no audio
    damagedAudio,   // 160×120 H.264 + AAC whose packets carry damaged bytes
    webm,           // 160×120 VP9 + Opus
    surround51,     // audio only: AC-3 in 5.1(side), as films carry it
    surround71,     // FLAC in 7.1
    theora,         // Ogg Theora + Vorbis (.ogg)
    m4aVideo,       // .m4a holding H.264 + AAC
    m4aCover,       // .m4a: AAC with a PNG cover and the title "Quillmorph"
    flac24,         // stereo 24-bit FLAC at 48 kHz
    wav32,          // mono 32-bit integer WAV
};

[[nodiscard]] std::filesystem::path clip(Clip which);
// A copy of a clip as `folder`/`name`, so that outputs land beside it.
std::filesystem::path copyClip(Clip which, const std::filesystem::path& folder, const std::string& name);

// What ffprobe sees, one entry per stream: "h264 640x360 30fps bt709", "opus 5.1", "flac stereo 24bit",
// "cover png", then ", title …" when one is tagged; frame rates rounded, transfers only when tagged.
[[nodiscard]] std::string streams(const std::filesystem::path& file);

// The first frame of a video (or an image) as ffmpeg decodes it upright, in RGB24.
struct FramePixels {
    int width = 0;
    int height = 0;
    std::string rgb;

    // "red", "blue" or "other": near pure colours only, as encoders blur the edges a little.
    [[nodiscard]] std::string colourAt(int x, int y) const;
    // Over all pixels, 0…255: the mean of the channels, and the HSV saturation.
    [[nodiscard]] std::array<double, 2> brightnessAndSaturation() const;
};

[[nodiscard]] FramePixels firstFrame(const std::filesystem::path& file);

// Runs the work on the calling thread: every progress report arrives before encode returns.
inline const Executor inlineExecutor = [](std::function<void()> work) {
    work();
};

} // namespace quillmorph::testing
