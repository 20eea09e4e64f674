#pragma once

#include "EnumText.h"

namespace quillmorph {

// What the user asked for in the file manager; the raw values travel in request URLs.
enum class ActionKind { image, video, pdf, audio, extractAudio };

template <>
struct EnumText<ActionKind> {
    static constexpr std::array<std::string_view, 5> names{"image", "video", "pdf", "audio", "extractAudio"};
};

} // namespace quillmorph
