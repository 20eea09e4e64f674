#include "NativeVideoEngine.h"

#include "FilterGraph.h"
#include "MediaSource.h"
#include "engines/output/FileNaming.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

constexpr int audioSampleRate = 44100;

// One source stream on its way to the output: decoder, filters (made for the first decoded
// frame), encoder and output stream.
struct Track {
    AVStream* source = nullptr;
    AV::Codec decoder;
    std::optional<FilterGraph> filters;
    AV::Codec encoder;
    AVStream* output = nullptr;
    std::int64_t startTime = 0; // the container's start, in the source stream's time base
    std::int64_t decodedFrames = 0;
    int lastDecodeError = AVERROR_INVALIDDATA; // of the last packet skipped as undecodable
};

// A library call's failure, with what was being done.
struct Failure {
    std::string what;
    int code = 0;
};

using Step = tl::expected<void, Failure>;

Step check(int code, std::string what) {
    if (code < 0)
        return tl::unexpected(Failure{std::move(what), code});
    return {};
}

// The codec's tag as four characters ("avc1", "hvc1"); the codec's name when the container
// stores no printable tag.
std::string codecName(const AVCodecParameters& parameters) {
    std::string tag;
    for (int shift = 0; shift < 32; shift += 8)
        tag += char((parameters.codec_tag >> shift) & 0xFF);
    bool printable = std::ranges::all_of(tag, [](char c) { return c >= 0x20 && c < 0x7F; });
    auto first = tag.find_first_not_of(" \t\n");
    if (parameters.codec_tag != 0 && printable && first != std::string::npos)
        return tag.substr(first, tag.find_last_not_of(" \t\n") - first + 1);
    return avcodec_get_name(parameters.codec_id);
}

double nominalFrameRate(const AVStream& stream) {
    for (AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0)
            return av_q2d(rate);
    }
    return 30.0;
}

// The whole re-encode of one file.
class Transcode {
  public:
    Transcode(const fs::path& output, MediaSource& source, const VideoInfo& info,
              const VideoSettings& settings, const std::atomic<bool>& cancelled,
              std::function<void()> frameDone)
        : m_output(output), m_source(source), m_settings(settings), m_cancelled(cancelled),
          m_frameDone(std::move(frameDone)), m_keepsAudio(settings.keepsAudio(info)),
          m_size(settings.geometry(info).output),
          m_frameRate(int(std::max<long long>(std::llround(settings.targetFrameRate(info)), 1))) {}

    Step run() {
        return openTracks()
            .and_then([&] { return openMuxer(); })
            .and_then([&] { return pump(); })
            .and_then([&] { return finish(); });
    }

    // Closes the output file, so that it can be removed.
    void abandon() { m_muxer.reset(); }

  private:
    Step openTracks() {
        m_frame.reset(av_frame_alloc());
        m_filtered.reset(av_frame_alloc());
        m_packet.reset(av_packet_alloc());
        if (!m_frame || !m_filtered || !m_packet)
            return check(AVERROR(ENOMEM), "memory");
        if (auto step = openDecoder(m_video, *m_source.video()); !step)
            return step;
        if (m_keepsAudio && m_source.audio()) {
            m_audio.emplace();
            if (auto step = openDecoder(*m_audio, *m_source.audio()); !step)
                return step;
        }
        return {};
    }

    Step openDecoder(Track& track, AVStream& stream) {
        track.source = &stream;
        track.startTime = m_source.startTime(stream.time_base);
        auto decoder = m_source.openDecoder(stream);
        if (!decoder)
            return check(decoder.error(), avcodec_get_name(stream.codecpar->codec_id));
        track.decoder = std::move(*decoder);
        return {};
    }

    Step openMuxer() {
        AVFormatContext* context = nullptr;
        if (auto step =
                check(avformat_alloc_output_context2(&context, nullptr, "mp4", m_output.c_str()), "mp4");
            !step)
            return step;
        m_muxer.reset(context);
        if (auto step = openVideoEncoder(); !step)
            return step;
        if (m_audio) {
            if (auto step = openAudioEncoder(); !step)
                return step;
        }
        if (auto step = check(avio_open(&m_muxer->pb, m_output.c_str(), AVIO_FLAG_WRITE), m_output.string());
            !step)
            return step;
        AVDictionary* options = nullptr;
        // The index goes to the front, so that playback can start before the whole file is there.
        av_dict_set(&options, "movflags", "+faststart", 0);
        int written = avformat_write_header(m_muxer.get(), &options);
        av_dict_free(&options);
        return check(written, "mp4");
    }

    Step openEncoder(Track& track, const char* name) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(name);
        if (!encoder)
            return check(AVERROR_ENCODER_NOT_FOUND, name);
        track.encoder.reset(avcodec_alloc_context3(encoder));
        if (!track.encoder)
            return check(AVERROR(ENOMEM), name);
        return {};
    }

    Step addStream(Track& track, const char* name) {
        if (m_muxer->oformat->flags & AVFMT_GLOBALHEADER)
            track.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (auto step = check(avcodec_open2(track.encoder.get(), track.encoder->codec, nullptr), name); !step)
            return step;
        track.output = avformat_new_stream(m_muxer.get(), nullptr);
        if (!track.output)
            return check(AVERROR(ENOMEM), name);
        track.output->time_base = track.encoder->time_base;
        return check(avcodec_parameters_from_context(track.output->codecpar, track.encoder.get()), name);
    }

    Step openVideoEncoder() {
        bool hevc = m_settings.codec == VideoCodec::hevc;
        const char* name = hevc ? "libx265" : "libx264";
        if (auto step = openEncoder(m_video, name); !step)
            return step;
        AVCodecContext& encoder = *m_video.encoder;
        encoder.width = int(m_size.width);
        encoder.height = int(m_size.height);
        encoder.pix_fmt = AV_PIX_FMT_YUV420P;
        encoder.sample_aspect_ratio = {1, 1};
        encoder.time_base = {1, m_frameRate};
        encoder.framerate = {m_frameRate, 1};
        // The average bit rate is the only rate setting; the encoder's defaults do the rest.
        encoder.bit_rate = m_settings.videoBitrate * 1000;
        encoder.thread_count = 0;
        if (hevc)
            av_opt_set(encoder.priv_data, "x265-params", "log-level=error", 0);
        if (auto step = addStream(m_video, name); !step)
            return step;
        // The tag players on every platform expect for HEVC in MP4.
        if (hevc)
            m_video.output->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
        return {};
    }

    Step openAudioEncoder() {
        if (auto step = openEncoder(*m_audio, "aac"); !step)
            return step;
        AVCodecContext& encoder = *m_audio->encoder;
        encoder.sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder.sample_rate = audioSampleRate;
        av_channel_layout_default(&encoder.ch_layout, 2);
        encoder.bit_rate = m_settings.audioBitrate * 1000;
        encoder.time_base = {1, audioSampleRate};
        return addStream(*m_audio, "aac");
    }

    Step pump() {
        for (;;) {
            if (m_cancelled)
                return check(AVERROR_EXIT, "cancelled");
            int read = av_read_frame(m_source.format(), m_packet.get());
            if (read == AVERROR_EOF)
                return {};
            if (auto step = check(read, "read"); !step)
                return step;
            Step step;
            if (m_packet->stream_index == m_video.source->index)
                step = decode(m_video, m_packet.get());
            else if (m_audio && m_packet->stream_index == m_audio->source->index)
                step = decode(*m_audio, m_packet.get());
            av_packet_unref(m_packet.get());
            if (!step)
                return step;
        }
    }

    Step finish() {
        for (Track* track : tracks()) {
            if (auto step = decode(*track, nullptr); !step)
                return step;
            if (auto step = filter(*track, nullptr); !step)
                return step;
            if (auto step = encode(*track, nullptr); !step)
                return step;
        }
        if (m_video.decodedFrames == 0)
            return check(m_video.lastDecodeError, "decode");
        return check(av_write_trailer(m_muxer.get()), "mp4");
    }

    std::vector<Track*> tracks() {
        std::vector<Track*> all{&m_video};
        if (m_audio)
            all.push_back(&*m_audio);
        return all;
    }

    // A packet, or null at the end of the input. A damaged packet costs its frames, not the file:
    // decoders report damage with many codes (AAC's is EPERM), so any failure but memory skips it.
    Step decode(Track& track, const AVPacket* packet) {
        int sent = avcodec_send_packet(track.decoder.get(), packet);
        if (sent == AVERROR(ENOMEM))
            return check(sent, "decode");
        if (sent < 0 && sent != AVERROR_EOF)
            track.lastDecodeError = sent;
        int received = 0;
        while ((received = avcodec_receive_frame(track.decoder.get(), m_frame.get())) >= 0) {
            ++track.decodedFrames;
            if (m_frame->best_effort_timestamp != AV_NOPTS_VALUE)
                m_frame->pts = m_frame->best_effort_timestamp - track.startTime;
            Step step = filter(track, m_frame.get());
            av_frame_unref(m_frame.get());
            if (!step)
                return step;
        }
        if (received == AVERROR(ENOMEM))
            return check(received, "decode");
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
            track.lastDecodeError = received;
        return {};
    }

    // The first video frame decides the chain: upright, cover the output, crop the centre.
    std::string videoFilters(const AVFrame& first) const {
        bool quarterTurned = m_source.quarterTurns() % 2 == 1;
        double width = quarterTurned ? first.height : first.width;
        double height = quarterTurned ? first.width : first.height;
        double scale = std::max(double(m_size.width) / width, double(m_size.height) / height);
        auto covering = [scale](double side, std::int64_t least) {
            return std::to_string(std::max<long long>(std::llround(side * scale), least));
        };
        std::string upright = m_source.uprightFilters();
        return (upright.empty() ? "" : upright + ",") + "scale=" + covering(width, m_size.width) + ":" +
               covering(height, m_size.height) + ":flags=bicubic,crop=" + std::to_string(m_size.width) + ":" +
               std::to_string(m_size.height) + ",setsar=1,fps=" + std::to_string(m_frameRate) +
               ",format=yuv420p";
    }

    // A decoded frame, or null at the end of the input.
    Step filter(Track& track, AVFrame* frame) {
        if (!track.filters) {
            if (!frame)
                return {};
            bool video = &track == &m_video;
            auto made = video ? FilterGraph::video(*frame, track.source->time_base, videoFilters(*frame))
                              : FilterGraph::audio(*frame, track.source->time_base,
                                                   "aresample=" + std::to_string(audioSampleRate) +
                                                       ",aformat=sample_fmts=fltp:channel_layouts=stereo",
                                                   track.encoder->frame_size);
            if (!made)
                return check(made.error(), "filters");
            track.filters = std::move(*made);
        }
        if (auto step = check(track.filters->push(frame), "filters"); !step)
            return step;
        int pulled = 0;
        while ((pulled = track.filters->pull(m_filtered.get())) >= 0) {
            m_filtered->pts =
                av_rescale_q(m_filtered->pts, track.filters->outputTimeBase(), track.encoder->time_base);
            m_filtered->pict_type = AV_PICTURE_TYPE_NONE;
            Step step = encode(track, m_filtered.get());
            av_frame_unref(m_filtered.get());
            if (!step)
                return step;
            if (&track == &m_video)
                m_frameDone();
        }
        if (pulled != AVERROR(EAGAIN) && pulled != AVERROR_EOF)
            return check(pulled, "filters");
        return {};
    }

    // A filtered frame, or null at the end of the input.
    Step encode(Track& track, const AVFrame* frame) {
        int sent = avcodec_send_frame(track.encoder.get(), frame);
        if (sent < 0 && sent != AVERROR_EOF)
            return check(sent, track.encoder->codec->name);
        int received = 0;
        while ((received = avcodec_receive_packet(track.encoder.get(), m_packet.get())) >= 0) {
            av_packet_rescale_ts(m_packet.get(), track.encoder->time_base, track.output->time_base);
            m_packet->stream_index = track.output->index;
            // Takes the packet's contents, leaving it blank.
            if (auto step = check(av_interleaved_write_frame(m_muxer.get(), m_packet.get()), "mp4"); !step)
                return step;
        }
        if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
            return check(received, track.encoder->codec->name);
        return {};
    }

    const fs::path& m_output;
    MediaSource& m_source;
    const VideoSettings& m_settings;
    const std::atomic<bool>& m_cancelled;
    std::function<void()> m_frameDone;
    bool m_keepsAudio;
    FrameSize m_size;
    int m_frameRate;

    Track m_video;
    std::optional<Track> m_audio;
    AV::Output m_muxer;
    AV::Frame m_frame;
    AV::Frame m_filtered;
    AV::Packet m_packet;
};

} // namespace

tl::expected<void, VideoEngineError>
NativeVideoEngine::encode(const fs::path& input, const fs::path& output, const VideoInfo& info,
                          const VideoSettings& settings, const Progress& progress, const Executor& executor) {
    if (settings.container == VideoContainer::webm)
        return tl::unexpected(VideoEngineError::needsFFmpeg(VideoEngineError::Missing::container));
    if (info.isHDR)
        return tl::unexpected(VideoEngineError::needsFFmpeg(VideoEngineError::Missing::hdr));

    auto source = MediaSource::open(input, &m_wasCancelled);
    if (!source)
        return tl::unexpected(m_wasCancelled ? VideoEngineError::cancelled()
                                             : VideoEngineError::probeFailed(input));
    if (!source->video())
        return tl::unexpected(VideoEngineError::noVideoStream(input));

    double expectedFrames = std::max(settings.targetFrameRate(info) * info.duration, 1.0);
    std::int64_t frames = 0;
    Transcode transcode(output, *source, info, settings, m_wasCancelled, [&] {
        double fraction = std::min(double(++frames) / expectedFrames, 1.0);
        executor([progress, fraction] { progress(fraction); });
    });
    Step done = transcode.run();
    if (done && !m_wasCancelled)
        return {};
    transcode.abandon();
    std::error_code ignored;
    fs::remove(output, ignored);
    if (m_wasCancelled)
        return tl::unexpected(VideoEngineError::cancelled());
    return tl::unexpected(
        VideoEngineError::encodingFailed(input, done.error().what + ": " + AV::errorText(done.error().code)));
}

void NativeVideoEngine::cancel() {
    m_wasCancelled = true;
}

tl::expected<VideoInfo, VideoEngineError> NativeVideoEngine::probe(const fs::path& file) {
    auto source = MediaSource::open(file);
    if (!source)
        return tl::unexpected(VideoEngineError::probeFailed(file));
    const AVStream* video = source->video();
    if (!video)
        return tl::unexpected(VideoEngineError::noVideoStream(file));
    FrameSize size = source->displayedSize();
    return VideoInfo{
        .width = size.width,
        .height = size.height,
        .duration = source->duration(),
        .frameRate = nominalFrameRate(*video),
        .codec = codecName(*video->codecpar),
        .bitrate = video->codecpar->bit_rate,
        .fileSize = FileNaming::byteCount(file),
        .hasAudio = source->audio() != nullptr,
        .audioCodec = std::nullopt,
        .isHDR = source->hasHDRVideo(),
    };
}

} // namespace quillmorph
