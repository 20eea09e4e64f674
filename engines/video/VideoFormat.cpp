#include "VideoFormat.h"

namespace quillmorph {

std::string_view label(VideoContainer container) {
    switch (container) {
    case VideoContainer::mp4:
        return "MP4";
    case VideoContainer::webm:
        return "WEBM";
    }
    return {};
}

std::string_view label(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::h264:
        return "H.264";
    case VideoCodec::hevc:
        return "HEVC";
    }
    return {};
}

Phrase detailPhrase(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::h264:
        return Phrase::codecH264Detail;
    case VideoCodec::hevc:
        return Phrase::codecHevcDetail;
    }
    return Phrase::codecH264Detail;
}

} // namespace quillmorph
