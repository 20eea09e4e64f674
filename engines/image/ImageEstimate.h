#pragma once

#include "Bitmap.h"
#include "ImageSettings.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>

// The image panel's output-size estimate: every file is assumed to shrink by the ratio measured on
// a sample of the first.
namespace quillmorph::ImageEstimate {

// How long settings must rest before an estimate encoding starts.
inline constexpr std::chrono::milliseconds debounce{220};

// Bytes of the sample resized and encoded with `settings`; nothing when that fails or `stop` was
// requested meanwhile (a newer estimate makes this one useless).
[[nodiscard]] std::optional<std::int64_t> sampleBytes(const Bitmap& sample, const ImageSettings& settings,
                                                      std::stop_token stop = {});

// encodedBytes ÷ firstFileBytes; nothing unless firstFileBytes is positive.
[[nodiscard]] std::optional<double> estimatedRatio(std::int64_t encodedBytes, std::int64_t firstFileBytes);

// ratio × originalBytes (every selected file's bytes), truncated toward zero; nothing without a ratio.
[[nodiscard]] std::optional<std::int64_t> estimatedBytes(std::optional<double> ratio,
                                                         std::int64_t originalBytes);

} // namespace quillmorph::ImageEstimate
