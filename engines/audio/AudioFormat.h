#pragma once

#include "common/EnumText.h"
#include "common/Phrase.h"

#include <span>
#include <string_view>

namespace quillmorph {

// Output audio formats in picker order.
enum class AudioFormat { mp3, aac, opus, flac, wav, aiff };

template <> struct EnumText<AudioFormat> {
    static constexpr std::array<std::string_view, 6> names{"mp3", "aac", "opus", "flac", "wav", "aiff"};
};

[[nodiscard]] bool isLossless(AudioFormat format);
// Whether an embedded cover picture of the source is carried over (mp3, aac, flac).
[[nodiscard]] bool keepsCover(AudioFormat format);
// The bitrate choices in kbps, ascending; only lossy formats use them.
[[nodiscard]] std::span<const int> bitrates(AudioFormat format);
[[nodiscard]] int defaultBitrate(AudioFormat format);
// The output file's extension: "m4a" for aac, the raw value otherwise.
[[nodiscard]] std::string_view fileExtension(AudioFormat format);
// "audio.format.<raw value>.detail".
[[nodiscard]] Phrase detailPhrase(AudioFormat format);

} // namespace quillmorph
