#pragma once

#include "VideoPreset.h"
#include "VideoSettings.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The video panel's texts, estimate and preset matching: what the panel shows follows from the
// settings and the first video's probe, computed afresh on every call.
namespace quillmorph::VideoEstimate {

// The first video's estimate standing for each of `videoCount` videos.
[[nodiscard]] std::int64_t estimatedBytes(const VideoSettings& settings, const VideoInfo& first,
                                          std::size_t videoCount);

// The first preset, in table order, whose sizing, bit rates, frame-rate cap and codec equal the
// settings' (whether audio is kept and the container are not compared); nothing when none does.
[[nodiscard]] std::optional<VideoPreset> matchedPreset(const VideoSettings& settings);

// The settings with the preset's sizing, bit rates, frame-rate cap and codec, and audio on; the
// container stays.
[[nodiscard]] VideoSettings applying(const VideoPreset& preset, VideoSettings settings);

// The file's name for one video, "{n} videos" for several.
[[nodiscard]] std::string title(const std::vector<std::filesystem::path>& videos);

// "1920×1080 · 2m 5s · H264 · 12.3 MB", the size being that of every selected file together.
[[nodiscard]] std::string subtitle(const VideoInfo& first, std::int64_t totalBytes);

// Where the output goes: the "-converted" name for one video, the first-file note for several.
[[nodiscard]] std::string destinationLine(const std::vector<std::filesystem::path>& videos,
                                          VideoContainer container);

} // namespace quillmorph::VideoEstimate
