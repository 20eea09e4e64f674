#include "VideoEstimate.h"

#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/output/FileNaming.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace quillmorph::VideoEstimate {

std::int64_t estimatedBytes(const VideoSettings& settings, const VideoInfo& first, std::size_t videoCount) {
    double total = double(settings.estimatedBytes(first)) * double(videoCount);
    return std::fabs(total) < 9.2e18 ? std::int64_t(total) : 0;
}

std::optional<VideoPreset> matchedPreset(const VideoSettings& settings) {
    for (VideoPreset& preset : VideoPreset::all()) {
        if (preset.sizing == settings.sizing && preset.videoBitrate == settings.videoBitrate &&
            preset.frameRateCap == settings.frameRateCap && preset.audioBitrate == settings.audioBitrate &&
            preset.codec == settings.codec)
            return std::move(preset);
    }
    return std::nullopt;
}

VideoSettings applying(const VideoPreset& preset, VideoSettings settings) {
    settings.sizing = preset.sizing;
    settings.videoBitrate = preset.videoBitrate;
    settings.frameRateCap = preset.frameRateCap;
    settings.audioBitrate = preset.audioBitrate;
    settings.codec = preset.codec;
    settings.includeAudio = true;
    return settings;
}

std::string title(const std::vector<std::filesystem::path>& videos) {
    if (videos.size() == 1)
        return videos.front().filename().string();
    return Localization::string(Phrase::videoCount, {{"n", std::to_string(videos.size())}});
}

std::string subtitle(const VideoInfo& first, std::int64_t totalBytes) {
    std::string codec = first.codec;
    std::ranges::transform(codec, codec.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    const std::string separator = " \u00B7 ";
    return std::to_string(first.width) + "\u00D7" + std::to_string(first.height) + separator +
           first.durationLabel() + separator + codec + separator + formatByteCount(totalBytes);
}

std::string destinationLine(const std::vector<std::filesystem::path>& videos, VideoContainer container) {
    if (videos.size() != 1)
        return Localization::string(Phrase::videoEstimateFirst);
    return FileNaming::destination(videos.front(), "-converted", toString(container)).filename().string();
}

} // namespace quillmorph::VideoEstimate
