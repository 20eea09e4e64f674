#include "PDFFixtures.h"

#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace quillmorph::testing {
namespace {

std::string sizeName(int width, int height, bool gray) {
    return std::to_string(width) + "x" + std::to_string(height) + (gray ? "-gray" : "-rgb");
}

PageBox corners(double x1, double y1, double x2, double y2) {
    return {.x = x1, .y = y1, .width = x2 - x1, .height = y2 - y1};
}

} // namespace

std::vector<std::uint8_t> quarterJPEG(const std::filesystem::path& directory, int width, int height,
                                      bool gray) {
    const int channels = gray ? 1 : 3;
    std::string netpbm =
        (gray ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool dark = x < width / 2 && y < height / 2;
            netpbm.append(std::size_t(channels), dark ? '\0' : '\xFF');
        }
    }
    const std::filesystem::path source =
        directory / (sizeName(width, height, gray) + (gray ? ".pgm" : ".ppm"));
    const std::filesystem::path jpeg = directory / (sizeName(width, height, gray) + ".jpg");
    writeFile(source, netpbm);
    mustRun({"vips", "copy", source.string(), jpeg.string() + "[Q=90]"});
    return readBytes(jpeg);
}

void writePDF(const std::filesystem::path& file, const std::vector<PDFWriter::Page>& pages) {
    PDFWriter writer(PDFWriter::Information::producer);
    for (const PDFWriter::Page& page : pages)
        ASSERT_TRUE(writer.addPage(page));
    const auto bytes = std::move(writer).finish();
    ASSERT_TRUE(bytes);
    writeBytes(file, *bytes);
}

void ghostscriptPDF(const std::filesystem::path& file, const std::string& postscript) {
    std::filesystem::path program = file;
    program.replace_extension(".ps");
    writeFile(program, postscript);
    mustRun({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
             "-sOutputFile=" + file.string(), program.string()});
}

std::vector<PageFacts> pageFacts(const std::filesystem::path& file) {
    const CommandResult result = runTool({"pdfinfo", "-f", "1", "-l", "100000", "-box", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<PageFacts> pages;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string keyword, what;
        std::size_t page = 0;
        if (!(words >> keyword >> page >> what) || keyword != "Page" || page == 0)
            continue;
        if (pages.size() < page)
            pages.resize(page);
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (what == "MediaBox:" && words >> x1 >> y1 >> x2 >> y2)
            pages[page - 1].mediaBox = corners(x1, y1, x2, y2);
        else if (what == "CropBox:" && words >> x1 >> y1 >> x2 >> y2)
            pages[page - 1].cropBox = corners(x1, y1, x2, y2);
        else if (what == "rot:")
            words >> pages[page - 1].rotation;
    }
    return pages;
}

std::vector<EmbeddedImage> embeddedImages(const std::filesystem::path& file) {
    const CommandResult result = runTool({"pdfimages", "-list", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<EmbeddedImage> images;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        EmbeddedImage image;
        std::string number, type;
        if (words >> image.page >> number >> type >> image.width >> image.height >> image.color >> number >>
            number >> image.encoding >> number >> number >> number >> image.xPpi >> image.yPpi)
            images.push_back(image);
    }
    return images;
}

GrayRaster renderPage(const std::filesystem::path& file, int page, int dpi) {
    const std::filesystem::path prefix =
        file.parent_path() /
        (file.stem().string() + "-page" + std::to_string(page) + "-" + std::to_string(dpi));
    mustRun({"pdftoppm", "-gray", "-r", std::to_string(dpi), "-f", std::to_string(page), "-l",
             std::to_string(page), "-singlefile", file.string(), prefix.string()});
    const std::string pgm = readFile(prefix.string() + ".pgm");
    // pdftoppm writes "P5\n<width> <height>\n255\n" and then the samples.
    std::istringstream header(pgm);
    std::string magic;
    GrayRaster raster;
    int maximum = 0;
    header >> magic >> raster.width >> raster.height >> maximum;
    const std::size_t start = std::size_t(header.tellg()) + 1;
    raster.samples.assign(pgm.begin() + std::ptrdiff_t(start), pgm.end());
    EXPECT_EQ(raster.samples.size(), std::size_t(raster.width) * std::size_t(raster.height));
    return raster;
}

double meanDifference(const GrayRaster& first, const GrayRaster& second) {
    if (first.width != second.width || first.height != second.height || first.samples.empty() ||
        first.samples.size() != second.samples.size())
        return 255;
    double total = 0;
    for (std::size_t index = 0; index < first.samples.size(); ++index)
        total += std::abs(int(first.samples[index]) - int(second.samples[index]));
    return total / double(first.samples.size());
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& file) {
    const std::string contents = readFile(file);
    return {contents.begin(), contents.end()};
}

void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    writeFile(file, std::string(bytes.begin(), bytes.end()));
}

} // namespace quillmorph::testing
