#include "VideoPreset.h"

#include "common/Localization.h"

namespace quillmorph {
namespace {

VideoPreset row(std::string id, Phrase name, FrameSizing sizing, std::int64_t videoBitrate,
                std::optional<double> frameRateCap, std::int64_t audioBitrate) {
    return {
        .id = std::move(id),
        .name = Localization::string(name),
        // Every detail phrase follows its name phrase in the catalogue.
        .detail = Localization::string(phraseAfter(name, 1)),
        .sizing = sizing,
        .videoBitrate = videoBitrate,
        .frameRateCap = frameRateCap,
        .audioBitrate = audioBitrate,
        .codec = VideoCodec::h264,
    };
}

} // namespace

std::vector<VideoPreset> VideoPreset::all() {
    return {
        row("original", Phrase::presetOriginalName, FrameSizing::untouched(), 6000, std::nullopt, 192),
        row("web-1080", Phrase::presetWeb1080Name, FrameSizing::fit(1920, 1080), 4500, std::nullopt, 128),
        row("web-720", Phrase::presetWeb720Name, FrameSizing::fit(1280, 720), 2000, 30, 96),
        row("reels", Phrase::presetReelsName, FrameSizing::exact(1080, 1920), 5000, 30, 128),
        row("ig-square", Phrase::presetIgSquareName, FrameSizing::exact(1080, 1080), 4500, 30, 128),
        row("ig-portrait", Phrase::presetIgPortraitName, FrameSizing::exact(1080, 1350), 4500, 30, 128),
        row("youtube", Phrase::presetYoutubeName, FrameSizing::fit(1920, 1080), 8000, std::nullopt, 192),
        row("x", Phrase::presetXName, FrameSizing::fit(1280, 720), 5000, 30, 128),
    };
}

} // namespace quillmorph
