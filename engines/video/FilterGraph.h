#pragma once

#include "AVHandles.h"

#include <string>
#include <tl/expected.hpp>

namespace quillmorph {

// A chain of FFmpeg filters between one buffer source and one buffer sink, built for the format of
// the first frame that goes in.
class FilterGraph {
  public:
    // `filters` in the library's syntax ("scale=640:360,format=yuv420p"); frames come in with
    // timestamps in `timeBase`. Fails with the library's error code.
    [[nodiscard]] static tl::expected<FilterGraph, int> video(const AVFrame& first, AVRational timeBase,
                                                              const std::string& filters);
    // Audio frames come out `frameSize` samples long (the last one may be shorter), or as they
    // are when 0.
    [[nodiscard]] static tl::expected<FilterGraph, int> audio(const AVFrame& first, AVRational timeBase,
                                                              const std::string& filters, int frameSize);

    // Null marks the end of the input.
    [[nodiscard]] int push(AVFrame* frame);
    // 0 with a frame, AVERROR(EAGAIN) when more input is needed, AVERROR_EOF after the end.
    [[nodiscard]] int pull(AVFrame* frame);
    // The time base of the frames that come out.
    [[nodiscard]] AVRational outputTimeBase() const;

  private:
    static tl::expected<FilterGraph, int> make(const char* sourceName, const char* sinkName,
                                               const std::string& sourceArguments,
                                               const std::string& filters);

    AV::Graph m_graph;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
};

} // namespace quillmorph
