#pragma once

#include "AVHandles.h"
#include "VideoSettings.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <tl/expected.hpp>

namespace quillmorph {

// A media file opened with FFmpeg's libraries: its first video stream (cover art does not count)
// and its first audio stream.
class MediaSource {
  public:
    // Fails with the library's error code, or AVERROR(EINVAL) for anything but a regular file
    // (a FIFO would block for ever). While `cancelled` (when given, it must outlive the
    // source) is true, every blocking read gives up with AVERROR_EXIT.
    [[nodiscard]] static tl::expected<MediaSource, int> open(const std::filesystem::path& file,
                                                             const std::atomic<bool>* cancelled = nullptr);

    [[nodiscard]] AVFormatContext* format() const { return m_format.get(); }
    [[nodiscard]] AVStream* video() const { return m_video; } // null when there is none
    [[nodiscard]] AVStream* audio() const { return m_audio; } // null when there is none

    // Whether the video stream's transfer is PQ (SMPTE 2084) or HLG (ARIB STD-B67).
    [[nodiscard]] bool hasHDRVideo() const;
    // Clockwise quarter turns (0…3) that make the stored picture upright, from the video
    // stream's display matrix.
    [[nodiscard]] int quarterTurns() const;
    // The filters that make a decoded picture upright ("transpose=clock", ...); empty for none.
    [[nodiscard]] std::string uprightFilters() const;
    // The stored size, width and height swapped for an odd number of quarter turns.
    [[nodiscard]] FrameSize displayedSize() const;
    // The container's duration in seconds; 0 when unknown.
    [[nodiscard]] double duration() const;
    // Where the container's timeline starts, in `timeBase` units (0 when unknown), so that
    // outputs start at zero with their streams still in step.
    [[nodiscard]] std::int64_t startTime(AVRational timeBase) const;

    // A decoder for one of the streams, opened, with as many threads as the library likes.
    [[nodiscard]] tl::expected<AV::Codec, int> openDecoder(const AVStream& stream) const;

  private:
    explicit MediaSource(AV::Input format);

    AV::Input m_format;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
};

} // namespace quillmorph
