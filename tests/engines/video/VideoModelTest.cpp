#include "common/Localization.h"
#include "engines/video/VideoEngineError.h"
#include "engines/video/VideoPreset.h"
#include "engines/video/VideoSettings.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(VideoInfo, DurationLabelRoundsToWholeSeconds) {
    const std::pair<double, const char*> rows[] = {
        {0, "0s"},       {45, "45s"},    {59.4, "59s"},    {59.5, "1m 0s"},
        {59.6, "1m 0s"}, {125, "2m 5s"}, {3725, "62m 5s"},
    };
    for (auto [duration, label] : rows) {
        SCOPED_TRACE(duration);
        EXPECT_EQ((VideoInfo{.duration = duration}).durationLabel(), label);
    }
}

TEST(VideoSettings, DefaultsAreTheOriginalPresetWithAudioInMP4) {
    VideoSettings settings;
    VideoPreset original = VideoPreset::all().front();
    EXPECT_EQ(original.id, "original");
    EXPECT_EQ(settings.sizing, original.sizing);
    EXPECT_EQ(settings.videoBitrate, original.videoBitrate);
    EXPECT_EQ(settings.frameRateCap, original.frameRateCap);
    EXPECT_EQ(settings.audioBitrate, original.audioBitrate);
    EXPECT_EQ(settings.codec, original.codec);
    EXPECT_TRUE(settings.includeAudio);
    EXPECT_EQ(settings.container, VideoContainer::mp4);
}

TEST(VideoSettings, EstimatesBitRateTimesDurationPlusContainerOverhead) {
    VideoInfo tenSeconds{.width = 1920, .height = 1080, .duration = 10, .hasAudio = true};
    EXPECT_EQ(VideoSettings{}.estimatedBytes(tenSeconds), 7'894'800);

    VideoInfo silent = tenSeconds;
    silent.hasAudio = false;
    EXPECT_EQ(VideoSettings{}.estimatedBytes(silent), 7'650'000) << "audio wanted, none there";
    EXPECT_EQ((VideoSettings{.includeAudio = false}).estimatedBytes(tenSeconds), 7'650'000);
    EXPECT_EQ(VideoSettings{}.estimatedBytes(VideoInfo{.hasAudio = true}), 0) << "no duration";
}

TEST(VideoPreset, TableInPickerOrder) {
    struct Row {
        const char* id;
        Phrase name;
        Phrase detail;
        FrameSizing sizing;
        std::int64_t videoBitrate;
        std::optional<double> cap;
        std::int64_t audioBitrate;
    };
    const Row rows[] = {
        {"original", Phrase::presetOriginalName, Phrase::presetOriginalDetail, FrameSizing::untouched(), 6000,
         std::nullopt, 192},
        {"web-1080", Phrase::presetWeb1080Name, Phrase::presetWeb1080Detail, FrameSizing::fit(1920, 1080),
         4500, std::nullopt, 128},
        {"web-720", Phrase::presetWeb720Name, Phrase::presetWeb720Detail, FrameSizing::fit(1280, 720), 2000,
         30, 96},
        {"reels", Phrase::presetReelsName, Phrase::presetReelsDetail, FrameSizing::exact(1080, 1920), 5000,
         30, 128},
        {"ig-square", Phrase::presetIgSquareName, Phrase::presetIgSquareDetail,
         FrameSizing::exact(1080, 1080), 4500, 30, 128},
        {"ig-portrait", Phrase::presetIgPortraitName, Phrase::presetIgPortraitDetail,
         FrameSizing::exact(1080, 1350), 4500, 30, 128},
        {"youtube", Phrase::presetYoutubeName, Phrase::presetYoutubeDetail, FrameSizing::fit(1920, 1080),
         8000, std::nullopt, 192},
        {"x", Phrase::presetXName, Phrase::presetXDetail, FrameSizing::fit(1280, 720), 5000, 30, 128},
    };
    std::vector<VideoPreset> presets = VideoPreset::all();
    ASSERT_EQ(presets.size(), std::size(rows));
    for (std::size_t index = 0; index < presets.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.id);
        const VideoPreset& preset = presets[index];
        EXPECT_EQ(preset.id, row.id);
        EXPECT_EQ(preset.name, Localization::string(row.name));
        EXPECT_EQ(preset.detail, Localization::string(row.detail));
        EXPECT_EQ(preset.sizing, row.sizing);
        EXPECT_EQ(preset.videoBitrate, row.videoBitrate);
        EXPECT_EQ(preset.frameRateCap, row.cap);
        EXPECT_EQ(preset.audioBitrate, row.audioBitrate);
        EXPECT_EQ(preset.codec, VideoCodec::h264);
    }
}

TEST(VideoFormat, RawValuesAndLabels) {
    EXPECT_EQ(toString(VideoContainer::webm), "webm");
    EXPECT_EQ(label(VideoContainer::mp4), "MP4");
    EXPECT_EQ(label(VideoContainer::webm), "WEBM");
    EXPECT_EQ(fromString<VideoCodec>("hevc"), VideoCodec::hevc);
    EXPECT_EQ(label(VideoCodec::h264), "H.264");
    EXPECT_EQ(label(VideoCodec::hevc), "HEVC");
    EXPECT_EQ(detailPhrase(VideoCodec::hevc), Phrase::codecHevcDetail);
}

TEST(VideoEngineError, TextsComeFromTheCatalogue) {
    Localization::setLanguage("en");
    std::filesystem::path clip = "/videos/holiday clip.mov";
    struct Row {
        const char* name;
        VideoEngineError error;
        std::string text;
    };
    const Row rows[] = {
        {"probe failed", VideoEngineError::probeFailed(clip), "Could not read the video “holiday clip.mov”."},
        {"no video stream", VideoEngineError::noVideoStream(clip),
         "“holiday clip.mov” contains no video track."},
        {"ffmpeg's message", VideoEngineError::encodeFailed(clip, "Unknown encoder 'libx264'"),
         "Unknown encoder 'libx264'"},
        {"ffmpeg said nothing", VideoEngineError::encodeFailed(clip, ""),
         "Could not compress “holiday clip.mov”."},
        {"engine said nothing", VideoEngineError::encodingFailed(clip, ""),
         "Could not compress “holiday clip.mov”."},
        {"hdr", VideoEngineError::needsFFmpeg(VideoEngineError::Missing::hdr),
         "Converting HDR video needs ffmpeg."},
        {"webm", VideoEngineError::needsFFmpeg(VideoEngineError::Missing::container),
         "WebM output needs ffmpeg."},
        {"tool missing", VideoEngineError::toolMissing(),
         "ffmpeg was not found. Install it to compress this video."},
        {"cancelled", VideoEngineError::cancelled(), "Compression cancelled."},
        {"launch", VideoEngineError::launchFailed("/usr/bin/ffmpeg: Permission denied"),
         "/usr/bin/ffmpeg: Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(describe(row.error), row.text);
    }
}

} // namespace
} // namespace quillmorph
