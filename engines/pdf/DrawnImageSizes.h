#pragma once

#include <map>
#include <qpdf/QPDF.hh>

// How large each image XObject of a document is drawn, found by following the graphics state
// through every page's content, the forms it draws and the tiling patterns it offers.
namespace quillmorph::DrawnImageSizes {

// The lengths, in points of default user space, of an image's unit square edges: its width edge
// and its height edge as the transformation matrix stretches them.
struct DrawnSize {
    double width = 0;
    double height = 0;

    bool operator==(const DrawnSize&) const = default;
};

// The largest size at which each image is drawn, each edge on its own, by the image's object;
// a soft mask counts as drawn wherever its image is. Images drawn nowhere that the walk can see (in
// annotation appearances, inline, behind unparsable content) are absent. Content qpdf cannot parse
// ends that stream's walk without failing; forms drawing themselves are walked once.
[[nodiscard]] std::map<QPDFObjGen, DrawnSize> measure(QPDF& document);

} // namespace quillmorph::DrawnImageSizes
