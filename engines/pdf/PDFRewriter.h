#pragma once

#include "PDFEngineError.h"
#include "PDFSettings.h"

#include <cstdint>
#include <filesystem>
#include <tl/expected.hpp>
#include <vector>

// Shrinks a PDF while keeping its pages: text, vector graphics, fonts, links, annotations and
// outlines stay as they are, and only the pictures are recompressed. Stateless; calls may run on any
// threads at once.
namespace quillmorph::PDFRewriter {

// The document rewritten with compressed object streams and without unused objects; its encryption,
// if any, is kept. Each image XObject (shared ones once) is shrunk to settings.resolution for the
// largest size it is drawn at, made gray with settings.grayscale and stored as a JPEG at
// settings.imageQuality or losslessly (few colours, soft masks), but replaced only when that is
// smaller; stencil masks and JBIG2, JPEG 2000 and CCITT data are left as they are. With
// settings.optimize the document information holds only empty Creator, Title, Author and Subject
// and the catalog's XMP metadata goes; otherwise both are kept. A result that would not be smaller
// than the source is the source's own bytes instead: a document never grows. Fails with
// unreadable(file) for anything that is not a regular file opening as a PDF without a password,
// encodingFailed when the document cannot be written, renderFailed when memory runs out.
[[nodiscard]] tl::expected<std::vector<std::uint8_t>, PDFEngineError>
compress(const std::filesystem::path& file, const PDFSettings& settings);

} // namespace quillmorph::PDFRewriter
