#pragma once

#include <string_view>

namespace quillmorph {

// SDR BT.709 from PQ or HLG: linearise, map the tones, then back to BT.709 in TV range. Videos
// and their posters go through the same chain, so that a poster looks like its video.
inline constexpr std::string_view toneMappingFilters =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv";

} // namespace quillmorph
