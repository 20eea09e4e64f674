#include "FilterGraph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

#include <memory>

namespace quillmorph {
namespace {

struct InOutFreer {
    void operator()(AVFilterInOut* inOut) const { avfilter_inout_free(&inOut); }
};
using InOut = std::unique_ptr<AVFilterInOut, InOutFreer>;

std::string rational(AVRational value) {
    return std::to_string(value.num) + "/" + std::to_string(value.den);
}

} // namespace

tl::expected<FilterGraph, int> FilterGraph::video(const AVFrame& first, AVRational timeBase,
                                                  const std::string& filters) {
    AVRational aspect = first.sample_aspect_ratio.num > 0 ? first.sample_aspect_ratio : AVRational{1, 1};
    std::string arguments = "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
                            ":pix_fmt=" + std::to_string(first.format) + ":time_base=" + rational(timeBase) +
                            ":pixel_aspect=" + rational(aspect);
    return make("buffer", "buffersink", arguments, filters);
}

tl::expected<FilterGraph, int> FilterGraph::audio(const AVFrame& first, AVRational timeBase,
                                                  const std::string& filters, int frameSize) {
    AVChannelLayout layout{};
    // Sources that do not name their channels get the usual layout for their count.
    if (first.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, first.ch_layout.nb_channels);
    else if (int error = av_channel_layout_copy(&layout, &first.ch_layout); error < 0)
        return tl::unexpected(error);
    char layoutName[256] = {};
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    av_channel_layout_uninit(&layout);
    const char* format = av_get_sample_fmt_name(AVSampleFormat(first.format));
    std::string arguments = "time_base=" + rational(timeBase) +
                            ":sample_rate=" + std::to_string(first.sample_rate) +
                            ":sample_fmt=" + (format ? format : "") + ":channel_layout=" + layoutName;
    auto graph = make("abuffer", "abuffersink", arguments, filters);
    if (graph && frameSize > 0)
        av_buffersink_set_frame_size(graph->m_sink, unsigned(frameSize));
    return graph;
}

tl::expected<FilterGraph, int> FilterGraph::make(const char* sourceName, const char* sinkName,
                                                 const std::string& sourceArguments,
                                                 const std::string& filters) {
    FilterGraph made;
    made.m_graph.reset(avfilter_graph_alloc());
    if (!made.m_graph)
        return tl::unexpected(AVERROR(ENOMEM));
    // One thread: the encoders already use every core.
    made.m_graph->nb_threads = 1;
    if (int error = avfilter_graph_create_filter(&made.m_source, avfilter_get_by_name(sourceName), "in",
                                                 sourceArguments.c_str(), nullptr, made.m_graph.get());
        error < 0)
        return tl::unexpected(error);
    if (int error = avfilter_graph_create_filter(&made.m_sink, avfilter_get_by_name(sinkName), "out", nullptr,
                                                 nullptr, made.m_graph.get());
        error < 0)
        return tl::unexpected(error);

    // The description's open input is fed by our source, its open output feeds our sink.
    InOut sourceEnd(avfilter_inout_alloc());
    InOut sinkEnd(avfilter_inout_alloc());
    if (!sourceEnd || !sinkEnd)
        return tl::unexpected(AVERROR(ENOMEM));
    sourceEnd->name = av_strdup("in");
    sourceEnd->filter_ctx = made.m_source;
    sinkEnd->name = av_strdup("out");
    sinkEnd->filter_ctx = made.m_sink;
    AVFilterInOut* inputs = sinkEnd.release();
    AVFilterInOut* outputs = sourceEnd.release();
    int error = avfilter_graph_parse_ptr(made.m_graph.get(), filters.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (error < 0)
        return tl::unexpected(error);
    if (int configured = avfilter_graph_config(made.m_graph.get(), nullptr); configured < 0)
        return tl::unexpected(configured);
    return made;
}

int FilterGraph::push(AVFrame* frame) {
    return av_buffersrc_add_frame_flags(m_source, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
}

int FilterGraph::pull(AVFrame* frame) {
    return av_buffersink_get_frame(m_sink, frame);
}

AVRational FilterGraph::outputTimeBase() const {
    return av_buffersink_get_time_base(m_sink);
}

} // namespace quillmorph
