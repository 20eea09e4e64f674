#include "engines/video/NativeVideoEngine.h"

#include "engines/video/FFmpegTool.h"
#include "engines/video/VideoEncoder.h"
#include "tests/engines/process/ProcessChecks.h"
#include "tests/engines/video/Clips.h"
#include "tests/engines/video/FramePixels.h"
#include "tests/engines/video/WithoutRoot.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>
#include <mutex>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;
using testing::clip;
using testing::inlineExecutor;

VideoInfo probed(const fs::path& file) {
    auto info = NativeVideoEngine::probe(file);
    EXPECT_TRUE(info) << describe(info.error());
    return info.value_or(VideoInfo{});
}

// What ffprobe sees in an output, as the judge that is not our code.
VideoInfo checked(const fs::path& file) {
    auto info = FFmpegTool::probe(file);
    EXPECT_TRUE(info) << describe(info.error());
    return info.value_or(VideoInfo{});
}

using Probe = tl::expected<VideoInfo, VideoEngineError> (*)(const fs::path&);

// The in-process probe and ffprobe read the same facts; only the names of codecs differ.
TEST(VideoProbes, ReadSizeRateCodecAudioAndHDR) {
    const struct {
        const char* name;
        Probe probe;
        const char* h264;
        const char* hevc;
        std::optional<std::string> audioCodec;
    } probes[] = {{"in-process", NativeVideoEngine::probe, "avc1", "hvc1", std::nullopt},
                  {"ffprobe", FFmpegTool::probe, "h264", "hevc", "aac"}};
    for (const auto& each : probes) {
        SCOPED_TRACE(each.name);
        auto landscape = each.probe(clip(Clip::landscape));
        ASSERT_TRUE(landscape) << describe(landscape.error());
        EXPECT_EQ(landscape->width, 1920);
        EXPECT_EQ(landscape->height, 1080);
        EXPECT_NEAR(landscape->duration, 1.0, 0.05);
        EXPECT_EQ(landscape->frameRate, 30.0);
        EXPECT_EQ(landscape->codec, each.h264);
        EXPECT_GT(landscape->bitrate, 0);
        EXPECT_EQ(landscape->fileSize, std::int64_t(fs::file_size(clip(Clip::landscape))));
        EXPECT_TRUE(landscape->hasAudio);
        EXPECT_EQ(landscape->audioCodec, each.audioCodec);
        EXPECT_FALSE(landscape->isHDR);

        auto rotated = each.probe(clip(Clip::rotated));
        ASSERT_TRUE(rotated);
        EXPECT_EQ(rotated->width, 240);
        EXPECT_EQ(rotated->height, 320);
        EXPECT_FALSE(rotated->hasAudio);

        auto hdr = each.probe(clip(Clip::hdr));
        ASSERT_TRUE(hdr);
        EXPECT_EQ(hdr->codec, each.hevc);
        EXPECT_TRUE(hdr->isHDR);
    }
}

TEST(VideoProbes, FailOnWhatIsNoVideo) {
    testing::TemporaryDirectory folder;
    testing::writeFile(folder / "notes.mp4", "these are notes, not a video\n");
    testing::writeFile(folder / "locked.mp4", testing::readFile(clip(Clip::silent)));
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(folder / "locked.mp4", fs::perms::none);
    struct Row {
        const char* name;
        fs::path file;
        VideoEngineError error;
    };
    const Row rows[] = {
        {"text", folder / "notes.mp4", VideoEngineError::probeFailed(folder / "notes.mp4")},
        {"missing", folder / "missing.mp4", VideoEngineError::probeFailed(folder / "missing.mp4")},
        {"unreadable", folder / "locked.mp4", VideoEngineError::probeFailed(folder / "locked.mp4")},
        {"audio only", clip(Clip::toneOnly), VideoEngineError::noVideoStream(clip(Clip::toneOnly))},
    };
    testing::WithoutRoot unprivileged;
    for (Probe probe : {NativeVideoEngine::probe, FFmpegTool::probe}) {
        SCOPED_TRACE(probe == FFmpegTool::probe ? "ffprobe" : "in-process");
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            auto info = probe(row.file);
            ASSERT_FALSE(info);
            EXPECT_EQ(info.error(), row.error);
        }
    }
}

class NativeEncode : public ::testing::Test {
  protected:
    tl::expected<void, VideoEngineError> encode(const fs::path& source, const VideoSettings& settings,
                                                std::optional<VideoInfo> info = std::nullopt) {
        return NativeVideoEngine().encode(
            source, m_output, info ? *info : probed(source), settings,
            [this](double fraction) { m_fractions.push_back(fraction); }, inlineExecutor);
    }

    testing::TemporaryDirectory m_folder;
    fs::path m_output = m_folder / "out.mp4";
    std::vector<double> m_fractions;
};

// Both engines write a fast-start MP4 with stereo AAC at the requested size and rate.
TEST_F(NativeEncode, BothEnginesWriteTheRequestedMP4) {
    struct Row {
        const char* name;
        std::unique_ptr<VideoEncoding> engine;
        VideoCodec codec;
        const char* codecName;
        double frameRate;
        const char* audio; // sample rate and channels
    };
    Row rows[] = {
        {"in-process", std::make_unique<NativeVideoEngine>(), VideoCodec::h264, "h264", 24, "44100,2\n"},
        {"ffmpeg", std::make_unique<VideoEncoder>(), VideoCodec::hevc, "hevc", 15, "48000,2\n"},
    };
    fs::path source = clip(Clip::landscape);
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_fractions.clear();
        fs::remove(m_output);
        auto encoded = row.engine->encode(
            source, m_output, probed(source),
            {.sizing = FrameSizing::fit(640, 640),
             .videoBitrate = 1000,
             .frameRateCap = row.frameRate,
             .audioBitrate = 96,
             .codec = row.codec},
            [this](double fraction) { m_fractions.push_back(fraction); }, inlineExecutor);
        ASSERT_TRUE(encoded) << describe(encoded.error());

        VideoInfo result = checked(m_output);
        EXPECT_EQ(result.width, 640);
        EXPECT_EQ(result.height, 360);
        EXPECT_EQ(result.codec, row.codecName);
        EXPECT_EQ(result.frameRate, row.frameRate);
        EXPECT_NEAR(result.duration, 1.0, 0.1);
        EXPECT_EQ(result.audioCodec, "aac");
        EXPECT_EQ(testing::runTool({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                    "stream=sample_rate,channels", "-of", "csv=p=0", m_output.string()})
                      .output,
                  row.audio);
        std::string bytes = testing::readFile(m_output);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "the index comes first";
        ASSERT_FALSE(m_fractions.empty());
        EXPECT_TRUE(std::ranges::is_sorted(m_fractions));
        EXPECT_NEAR(m_fractions.back(), 1.0, 0.05);
    }
}

TEST_F(NativeEncode, TurnsARotatedSourceUpright) {
    ASSERT_TRUE(encode(clip(Clip::rotated), {.codec = VideoCodec::hevc}));
    VideoInfo result = checked(m_output);
    EXPECT_EQ(result.width, 240);
    EXPECT_EQ(result.height, 320);
    testing::FramePixels frame = testing::firstFrame(m_output, 240, 320);
    EXPECT_TRUE(testing::isBlue(frame.at(120, 40)));
    EXPECT_TRUE(testing::isRed(frame.at(120, 280)));
    EXPECT_FALSE(result.hasAudio);
}

TEST_F(NativeEncode, CoversAnExactSizeAndResamplesToTheRoundedRateWithoutDuration) {
    // 320×240 with 1080×1920 asked for: the box shrinks to 136×240 instead of enlarging the source.
    // A 29.97 fps source capped at 30 gets frames 1/30 s apart (this 25 fps clip says it is 29.97).
    VideoInfo info = probed(clip(Clip::silent));
    info.frameRate = 30000.0 / 1001;
    info.duration = 0;
    ASSERT_TRUE(encode(clip(Clip::silent),
                       {.sizing = FrameSizing::exact(1080, 1920), .videoBitrate = 500, .frameRateCap = 30},
                       info));
    VideoInfo result = checked(m_output);
    EXPECT_EQ(result.width, 136);
    EXPECT_EQ(result.height, 240);
    EXPECT_EQ(result.frameRate, 30.0);
    ASSERT_FALSE(m_fractions.empty());
    EXPECT_EQ(m_fractions.front(), 1.0) << "no duration: complete from the first frame";
}

TEST_F(NativeEncode, RefusesWhatNeedsFFmpegBeforeTouchingAnything) {
    testing::writeFile(m_output, "keep me");
    const std::tuple<Clip, VideoContainer, VideoEngineError::Missing> rows[] = {
        {Clip::silent, VideoContainer::webm, VideoEngineError::Missing::container},
        {Clip::hdr, VideoContainer::mp4, VideoEngineError::Missing::hdr},
        {Clip::hdr, VideoContainer::webm, VideoEngineError::Missing::container},
    };
    for (auto [source, container, missing] : rows) {
        auto encoded = encode(clip(source), {.container = container});
        ASSERT_FALSE(encoded);
        EXPECT_EQ(encoded.error(), VideoEngineError::needsFFmpeg(missing));
    }
    EXPECT_EQ(testing::readFile(m_output), "keep me");
}

TEST_F(NativeEncode, CancelFromAnotherThreadLeavesNoOutput) {
    int descriptorsBefore = testing::openDescriptorCount();
    NativeVideoEngine engine;
    std::promise<void> started;
    std::once_flag once;
    fs::path source = clip(Clip::landscape);
    VideoInfo info = probed(source);
    auto encoding = std::async(std::launch::async, [&] {
        return engine.encode(
            source, m_output, info, {}, [&](double) { std::call_once(once, [&] { started.set_value(); }); },
            inlineExecutor);
    });
    started.get_future().wait();
    std::thread([&] { engine.cancel(); }).join();
    auto encoded = encoding.get();
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error(), VideoEngineError::cancelled());
    EXPECT_FALSE(fs::exists(m_output));
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
}

} // namespace
} // namespace quillmorph
