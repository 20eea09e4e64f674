#include "VideoEngines.h"

#include "FFmpegTool.h"
#include "NativeVideoEngine.h"
#include "VideoEncoder.h"

namespace quillmorph::VideoEngines {

std::unique_ptr<VideoEncoding> make() {
    if (FFmpegTool::isAvailable())
        return std::make_unique<VideoEncoder>();
    return std::make_unique<NativeVideoEngine>();
}

std::optional<VideoEngineError::Missing> blocked(const VideoSettings& settings, const VideoInfo& info) {
    if (FFmpegTool::isAvailable())
        return std::nullopt;
    if (settings.container == VideoContainer::webm)
        return VideoEngineError::Missing::container;
    if (info.isHDR)
        return VideoEngineError::Missing::hdr;
    return std::nullopt;
}

tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file) {
    if (FFmpegTool::isAvailable())
        return FFmpegTool::probe(file);
    return NativeVideoEngine::probe(file);
}

} // namespace quillmorph::VideoEngines
