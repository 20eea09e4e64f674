#pragma once

#include "VideoEncoding.h"

#include <atomic>

namespace quillmorph {

// The video engine without ffmpeg, over FFmpeg's libraries in-process: decodes the source, turns
// it upright, scales it to cover the output size and crops the centre, re-times it to the target
// frame rate, and writes H.264 (libx264) or HEVC (libx265) at the average bit rate with AAC stereo
// at 44.1 kHz into an MP4 with its index at the front. WebM output and HDR sources need ffmpeg
// and are refused with needsFFmpeg before anything is touched.
class NativeVideoEngine final : public VideoEncoding {
  public:
    // Progress is counted in output frames. Fails with needsFFmpeg, probeFailed (the input cannot
    // be opened), noVideoStream, encodingFailed (with the library's reason) or cancelled.
    [[nodiscard]] tl::expected<void, VideoEngineError>
    encode(const std::filesystem::path& input, const std::filesystem::path& output, const VideoInfo& info,
           const VideoSettings& settings, const Progress& progress, const Executor& executor) override;

    // Also interrupts a read that blocks.
    void cancel() override;

    // The probe when ffmpeg is missing: the displayed size after the display rotation, the
    // nominal frame rate, the codec's four-character tag ("avc1", else the codec's name), the
    // video stream's bit rate, HDR by PQ or HLG transfer only; audioCodec stays empty. Fails
    // with probeFailed or noVideoStream.
    [[nodiscard]] static tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file);

  private:
    std::atomic<bool> m_wasCancelled = false;
};

} // namespace quillmorph
