#pragma once

#include "PosterError.h"
#include "engines/image/Bitmap.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

// Saves the frame of each video at a typed time as a PNG beside it ("clip-poster.png").
namespace quillmorph::PosterFrame {

// "s", "m:s" or "h:m:s" in seconds, each piece a non-negative number with "." or "," as the
// decimal mark and no upper bound ("0:90" is 90 s); white space around the text is ignored.
// Nothing for anything else.
[[nodiscard]] std::optional<double> parseTime(std::string_view text);

// The frame shown at `seconds` (the exact frame, not the nearest key frame), upright, decoded
// in-process. noFrame when there is none.
[[nodiscard]] tl::expected<Bitmap, PosterError> frame(const std::filesystem::path& video, double seconds);

// The image as a PNG file at `output`, written beside it first and moved into place; noFrame
// when it cannot be written.
[[nodiscard]] tl::expected<void, PosterError> write(const Bitmap& image, const std::filesystem::path& output);

// The fallback through the ffmpeg program (a fast seek to the key frame before `seconds`), tone-mapped
// when ffprobe finds an HDR video: noFrame unless it exits 0 having written a non-empty `output` (replacing
// whatever is there); launchFailed when it cannot be started.
[[nodiscard]] tl::expected<void, PosterError> extract(const std::filesystem::path& ffmpeg,
                                                      const std::filesystem::path& input, double seconds,
                                                      const std::filesystem::path& output);

// ffmpeg's arguments for extract: the seconds as the shortest decimal text that reads back as
// the same number ("12.0", "1.5"), before the input; the video's tone mapping when asked.
[[nodiscard]] std::vector<std::string> extractArguments(const std::filesystem::path& input, double seconds,
                                                        const std::filesystem::path& output, bool toneMapped);

// One poster per video, in order, each at the "-poster" name FileNaming gives; returns where they
// landed. With a single video, `seconds` must not pass its duration (`duration`, 0 when unknown)
// by more than a millisecond (beyondEnd), and the very end takes the frame 0.05 s before it. A
// time past any duration a stream can state (about 292,000 years) is beyondEnd for every count.
// Stops at the first failure; posters written before it stay.
[[nodiscard]] tl::expected<std::vector<std::filesystem::path>, PosterError>
make(const std::vector<std::filesystem::path>& videos, double seconds, double duration);

// The status line after `make`: "Saved: clip-poster.png", "Saved: 3 PNG", or the error's text.
struct Status {
    std::string text;
    bool isError = false;

    bool operator==(const Status&) const = default;
};
[[nodiscard]] Status status(const tl::expected<std::vector<std::filesystem::path>, PosterError>& made);

} // namespace quillmorph::PosterFrame
