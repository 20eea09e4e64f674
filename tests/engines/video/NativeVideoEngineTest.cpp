#include "engines/video/NativeVideoEngine.h"

#include "tests/engines/process/ProcessChecks.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

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

TEST_F(NativeEncode, CoversAnExactSizeAndResamplesToTheRoundedRateWithoutDuration) {
    // 320×240 with 1080×1920 asked for: the box shrinks to 136×240 instead of enlarging the source.
    // A 29.97 fps source capped at 30 gets frames 1/30 s apart (this 25 fps clip says it is 29.97).
    VideoInfo info = probed(clip(Clip::silent));
    info.frameRate = 30000.0 / 1001;
    info.duration = 0;
    ASSERT_TRUE(encode(clip(Clip::silent),
                       {.sizing = FrameSizing::exact(1080, 1920), .videoBitrate = 500, .frameRateCap = 30},
                       info));
    EXPECT_EQ(testing::streams(m_output), "h264 136x240 30fps");
    ASSERT_FALSE(m_fractions.empty());
    EXPECT_EQ(m_fractions.front(), 1.0) << "no duration: complete from the first frame";
}

TEST_F(NativeEncode, RefusesWhatNeedsFFmpegBeforeTouchingAnything) {
    testing::writeFile(m_output, "keep me");
    const std::tuple<Clip, VideoContainer, VideoEngineError::Missing> rows[] = {
        {Clip::silent, VideoContainer::webm, VideoEngineError::Missing::container},
        {Clip::pq, VideoContainer::mp4, VideoEngineError::Missing::hdr},
        {Clip::pq, VideoContainer::webm, VideoEngineError::Missing::container},
    };
    for (auto [source, container, missing] : rows)
        EXPECT_EQ(encode(clip(source), {.container = container}),
                  tl::unexpected(VideoEngineError::needsFFmpeg(missing)));
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
