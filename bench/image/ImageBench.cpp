// The image batch against other tools on ten generated photos of 2 to 20 megapixels (wall time, peak
// memory, output bytes): WebP against vipsthumbnail; PNG at quality 0.75 against pngquant (one photo) and
// libvips' palette PNG, lossless PNG against ImageMagick, medians of three interleaved runs. Then where one
// PNG encoding spends its time, the panel's estimate, the AVIF effort against bytes, and the quality of the
// reduced-scale load.
//
//   image_bench [folder [--avif-efforts]]   the photos are made in the folder (default: a new one under
//                                           /tmp); the AVIF effort sweep takes many minutes

#include "bench/ProcessorTime.h"
#include "engines/image/ColorQuantizer.h"
#include "engines/image/EncoderQuality.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEstimate.h"
#include "engines/image/ImageSettings.h"
#include "engines/image/PNGWriter.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <zlib.h>

extern char** environ;

namespace {

using namespace quillmorph;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct ChildResult {
    double seconds = 0;
    double cpuSeconds = 0;  // all children together
    long peakKilobytes = 0; // the largest child
};

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    return pid;
}

// Runs the commands at the same time and waits for all.
ChildResult runTogether(const std::vector<std::vector<std::string>>& commands) {
    const auto start = Clock::now();
    std::vector<pid_t> children;
    for (const auto& command : commands)
        children.push_back(spawn(command));
    ChildResult result;
    for (const pid_t child : children) {
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "a child failed\n");
            std::exit(1);
        }
        result.peakKilobytes = std::max(result.peakKilobytes, usage.ru_maxrss);
        result.cpuSeconds += bench::processorSeconds(usage);
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

// Linux: "5" in clear_refs restarts the peak resident size (VmHWM).
void restartPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A field of this process's status in kB: "VmHWM:" the peak resident size, "VmRSS:" the present one.
long memoryKilobytes(std::string_view field = "VmHWM:") {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field))
            return std::stol(line.substr(field.size()));
    }
    return 0;
}

void generate(const fs::path& folder) {
    fs::create_directories(folder);
    for (int index = 0; index < 10; ++index) {
        const double megapixels = 2.0 * (index + 1);
        const int width = int(std::sqrt(megapixels * 1e6 * 4 / 3));
        const int height = int(width * 3 / 4);
        const fs::path file = folder / ("photo" + std::to_string(index) + ".jpg");
        quillmorph::testing::photo(width, height, index + 1)
            .jpegsave(file.c_str(), vips::VImage::option()->set("Q", 90));
    }
}

std::vector<fs::path> sources(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("photo") && entry.path().extension() == ".jpg" &&
            name.find('-') == std::string::npos)
            files.push_back(entry.path());
    }
    std::ranges::sort(files);
    return files;
}

// Removes every output and returns their total size.
std::int64_t collectOutputs(const fs::path& folder, const std::string& marker) {
    std::int64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(marker) == std::string::npos)
            continue;
        bytes += std::int64_t(entry.file_size());
        fs::remove(entry.path());
    }
    return bytes;
}

ChildResult vipsthumbnail(const std::vector<fs::path>& files, const std::string& output) {
    // Two processes, the files dealt alternately so both get a similar share of pixels.
    std::vector<std::vector<std::string>> commands(2, {"vipsthumbnail", "--size", "1920x1080", "-o", output});
    for (std::size_t index = 0; index < files.size(); ++index)
        commands[index % 2].push_back(files[index].string());
    return runTogether(commands);
}

struct BatchResult {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKilobytes = 0;
    int failures = 0;
};

// The batch's work on each file (load at size, resize, encode, write beside it) on two threads, the
// width of a batch on this machine.
BatchResult batch(const std::vector<fs::path>& files, const ImageSettings& settings) {
    restartPeakMemory();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    std::atomic<std::size_t> next = 0;
    std::atomic<int> failures = 0;
    {
        const auto work = [&] {
            for (std::size_t index; (index = next++) < files.size();) {
                const fs::path& file = files[index];
                const auto encoded =
                    ImageEngine::loadNormalized(file, settings.sizing)
                        .and_then(
                            [&](const Bitmap& image) { return ImageEngine::resize(image, settings.sizing); })
                        .and_then([&](const Bitmap& image) {
                            return ImageEngine::encode(image, settings.format, settings.quality);
                        });
                if (!encoded) {
                    ++failures;
                    continue;
                }
                const fs::path output = file.parent_path() / (file.stem().string() + "-converted." +
                                                              std::string(toString(settings.format)));
                std::ofstream(output, std::ios::binary)
                    .write(reinterpret_cast<const char*>(encoded->data()), std::streamsize(encoded->size()));
            }
        };
        std::jthread helper(work);
        work();
    }
    BatchResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    result.cpuSeconds = bench::processorSeconds(after) - bench::processorSeconds(before);
    result.peakKilobytes = memoryKilobytes();
    result.failures = failures;
    return result;
}

void compare(const char* what, const BatchResult& ours, std::int64_t ourBytes, const ChildResult& theirs,
             std::int64_t theirBytes) {
    std::printf("%-5s batch         %6.2f s wall %6.2f s cpu  peak %4ld MB  %9lld bytes  failures %d\n", what,
                ours.seconds, ours.cpuSeconds, ours.peakKilobytes / 1024, (long long)ourBytes, ours.failures);
    std::printf(
        "%-5s vipsthumbnail %6.2f s wall %6.2f s cpu  peak %4ld MB  %9lld bytes (the larger process)\n", what,
        theirs.seconds, theirs.cpuSeconds, theirs.peakKilobytes / 1024, (long long)theirBytes);
    std::printf("%-5s batch / vipsthumbnail: wall %.2f, cpu %.2f\n", what, ours.seconds / theirs.seconds,
                ours.cpuSeconds / theirs.cpuSeconds);
}

void reducedScaleQuality(const std::vector<fs::path>& files) {
    for (const FrameSizing& target :
         {FrameSizing::fit(1920, 1080), FrameSizing::fit(640, 640), FrameSizing::fit(320, 320)}) {
        std::printf("reduced-scale load vs full decode, fit %lldx%lld, PSNR dB per photo:",
                    (long long)target.width, (long long)target.height);
        for (const fs::path& file : files) {
            const auto full = ImageEngine::loadNormalized(file).and_then(
                [&](const Bitmap& image) { return ImageEngine::resize(image, target); });
            const auto reduced = ImageEngine::loadNormalized(file, target);
            if (full && reduced)
                std::printf(" %.1f", quillmorph::testing::psnr(reduced->pixels(), full->pixels()));
        }
        std::printf("\n");
    }
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::ranges::sort(values);
    return values[values.size() / 2];
}

struct Comparison {
    std::vector<double> ours;
    std::vector<double> theirs;
    std::int64_t ourBytes = 0;
    std::int64_t theirBytes = 0;
    long ourPeakKilobytes = 0;
};

// Three rounds, ours and theirs alternating, so that a busy moment on a shared machine hits both.
Comparison interleaved(const std::function<BatchResult()>& runOurs,
                       const std::function<ChildResult()>& runTheirs, const fs::path& folder,
                       const std::string& theirMarker) {
    Comparison comparison;
    for (int round = 0; round < 3; ++round) {
        const BatchResult ours = runOurs();
        comparison.ours.push_back(ours.seconds);
        comparison.ourPeakKilobytes = std::max(comparison.ourPeakKilobytes, ours.peakKilobytes);
        comparison.ourBytes = collectOutputs(folder, "-converted");
        comparison.theirs.push_back(runTheirs().seconds);
        comparison.theirBytes = collectOutputs(folder, theirMarker);
    }
    return comparison;
}

void report(const char* job, const char* peer, const Comparison& comparison, double target) {
    const double ours = median(comparison.ours), theirs = median(comparison.theirs);
    std::printf("%-34s ours %6.2f s %10lld bytes (peak %4ld MB) | %-22s %6.2f s %10lld bytes | ratio %.2f "
                "(target %.1f)\n",
                job, ours, (long long)comparison.ourBytes, comparison.ourPeakKilobytes / 1024, peer, theirs,
                (long long)comparison.theirBytes, ours / theirs, target);
}

// Half of the files to each of two shells running `command` on them one after another, as a batch of
// two at a time does; the command sees the source as $1.
ChildResult twoAtATime(const std::vector<fs::path>& files, const std::string& command) {
    std::vector<std::vector<std::string>> commands(
        2, {"sh", "-c", "for f; do set -- \"$f\"; " + command + " || exit 1; done", "sh"});
    for (std::size_t index = 0; index < files.size(); ++index)
        commands[index % 2].push_back(files[index].string());
    return runTogether(commands);
}

void pngComparisons(const fs::path& folder, const std::vector<fs::path>& files) {
    // One photo of 1440 × 1080, also as a lossless PNG since pngquant reads PNG only.
    const fs::path single = folder / "single.jpg";
    const fs::path singlePNG = folder / "single-source.png";
    if (!fs::exists(singlePNG)) {
        quillmorph::testing::photo(1440, 1080, 42)
            .jpegsave(single.c_str(), vips::VImage::option()->set("Q", 90));
        vips::VImage::new_from_file(single.c_str()).pngsave(singlePNG.c_str());
    }
    const ImageSettings single075{.format = ImageFormat::png, .quality = 0.75};
    report("1440x1080 photo -> PNG 0.75", "pngquant",
           interleaved([&] { return batch({single}, single075); },
                       [&] {
                           return runTogether({{"pngquant", "--force", "--output",
                                                (folder / "single-pq.png").string(), singlePNG.string()}});
                       },
                       folder, "-pq"),
           1.5);

    const ImageSettings fit075{
        .format = ImageFormat::png, .sizing = FrameSizing::fit(1920, 1080), .quality = 0.75};
    report("10 photos fit 1920x1080 -> PNG 0.75", "libvips palette PNG",
           interleaved([&] { return batch(files, fit075); },
                       [&] { return vipsthumbnail(files, "%s-vt.png[palette,strip]"); }, folder, "-vt"),
           1.2);

    const ImageSettings fitLossless{
        .format = ImageFormat::png, .sizing = FrameSizing::fit(1920, 1080), .quality = 1.0};
    report("10 photos fit 1920x1080 -> PNG 1.0", "ImageMagick convert",
           interleaved(
               [&] { return batch(files, fitLossless); },
               [&] { return twoAtATime(files, "convert \"$1\" -resize 1920x1080 -strip \"$1-im.png\""); },
               folder, "-im.png"),
           1.0);
}

template <typename Work> auto timed(const char* what, Work work) {
    const auto start = Clock::now();
    auto result = work();
    std::printf("  %-38s %6.3f s", what, since(start));
    return result;
}

void printBytes(const std::optional<std::vector<std::uint8_t>>& bytes) {
    std::printf("  %9zu bytes\n", bytes ? bytes->size() : 0);
}

// The compressed rows of a PNG written in one IDAT chunk, inflated.
std::vector<std::uint8_t> rowsOf(const std::vector<std::uint8_t>& png, std::size_t rawSize) {
    std::vector<std::uint8_t> rows(rawSize);
    for (std::size_t offset = 8; offset + 12 <= png.size();) {
        const std::size_t length = std::size_t(png[offset]) << 24 | std::size_t(png[offset + 1]) << 16 |
                                   std::size_t(png[offset + 2]) << 8 | png[offset + 3];
        if (std::string_view(reinterpret_cast<const char*>(&png[offset + 4]), 4) == "IDAT") {
            uLongf size = rows.size();
            uncompress(rows.data(), &size, &png[offset + 8], uLong(length));
            rows.resize(size);
        }
        offset += 12 + length;
    }
    return rows;
}

// zlib's level 9 on the same rows, as the writer compressed them before.
void zlibOnSameRows(const std::optional<std::vector<std::uint8_t>>& png, std::size_t rawSize) {
    if (!png)
        return;
    const std::vector<std::uint8_t> rows = rowsOf(*png, rawSize);
    const auto start = Clock::now();
    uLongf length = compressBound(uLong(rows.size()));
    std::vector<std::uint8_t> compressed(length);
    compress2(compressed.data(), &length, rows.data(), uLong(rows.size()), Z_BEST_COMPRESSION);
    std::printf("    of which zlib 9 on the same rows would take %6.3f s, %9lu bytes\n", since(start),
                length);
}

// Each step of one PNG encoding at 0.75 on its own, then the whole encoding.
void pngBreakdown(const fs::path& file) {
    const auto image = ImageEngine::loadNormalized(file);
    if (!image)
        return;
    std::printf("where a PNG at 0.75 of a %dx%d photo spends its time:\n", image->width(), image->height());
    const int colours = ImageEngine::paletteSize(0.75);
    const std::size_t pixels = std::size_t(image->width()) * std::size_t(image->height());
    const auto exact = timed("exact truecolour", [&] { return PNGWriter::truecolour(*image); });
    printBytes(exact);
    zlibOnSameRows(exact, pixels * 3 + std::size_t(image->height()));
    printBytes(timed("exact palette (gives up)", [&] { return PNGWriter::indexed(*image); }));
    const auto reduced = timed("colour reduction", [&] { return ColorQuantizer::quantize(*image, colours); });
    std::printf("\n");
    if (!reduced)
        return;
    const auto palette = timed("reduced palette", [&] { return PNGWriter::indexed(*reduced); });
    printBytes(palette);
    zlibOnSameRows(palette, pixels + std::size_t(image->height()));
    const auto truecolour = timed("reduced truecolour", [&] { return PNGWriter::truecolour(*reduced); });
    printBytes(truecolour);
    zlibOnSameRows(truecolour, pixels * 3 + std::size_t(image->height()));
    const vips::VImage rgb = VipsImage::view(*image).extract_band(0, vips::VImage::option()->set("n", 3));
    // The former truecolour candidates, libvips' PNG saver at zlib's level 9 with every filter.
    const vips::VImage reducedRGB =
        VipsImage::view(*reduced).extract_band(0, vips::VImage::option()->set("n", 3));
    for (const auto& [what, source] :
         {std::pair{"libvips PNG of the exact image", rgb}, {"libvips PNG of the reduced", reducedRGB}})
        printBytes(timed(what, [&] {
            return std::optional(
                VipsImage::bytes(source.pngsave_buffer(vips::VImage::option()
                                                           ->set("compression", 9)
                                                           ->set("filter", VIPS_FOREIGN_PNG_FILTER_ALL)
                                                           ->set("strip", true))));
        }));
    for (const double quality : {0.75, 1.0}) {
        const auto png = timed(quality < 1 ? "whole encoding at 0.75" : "whole encoding at 1.0",
                               [&] { return ImageEngine::encode(*image, ImageFormat::png, quality); });
        printBytes(png ? std::optional(*png) : std::nullopt);
    }
}

// The panel's estimate: one encoding of the first file as loaded.
void estimates(const fs::path& file) {
    const auto sample = ImageEngine::loadNormalized(file);
    if (!sample)
        return;
    std::printf("panel estimate of a %.1f MP photo:\n", sample->width() * double(sample->height()) / 1e6);
    const ImageSettings settings[] = {
        {.format = ImageFormat::png},
        {.format = ImageFormat::png, .sizing = FrameSizing::fit(1920, 1080)},
        {.format = ImageFormat::avif},
    };
    const char* names[] = {"PNG 0.75, size untouched", "PNG 0.75, fit 1920x1080",
                           "AVIF 0.75, size untouched"};
    for (std::size_t index = 0; index < std::size(settings); ++index) {
        // What the estimate before freed goes back first, so that the peak is this one's own.
        malloc_trim(0);
        restartPeakMemory();
        const long before = memoryKilobytes("VmRSS:");
        const auto start = Clock::now();
        const auto bytes = ImageEstimate::sampleBytes(*sample, settings[index]);
        const long peak = memoryKilobytes();
        std::printf("  %-28s %6.2f s  %9lld bytes  peak %4ld MB, the estimate's own %4ld MB\n", names[index],
                    since(start), (long long)bytes.value_or(0), peak / 1024, (peak - before) / 1024);
    }
}

// AVIF at 0.75 of the ten photos fit 1920 × 1080 at each libvips effort: the encoder's time and bytes.
void avifEfforts(const std::vector<fs::path>& files) {
    std::vector<vips::VImage> photos;
    for (const fs::path& file : files) {
        if (const auto image = ImageEngine::loadNormalized(file, FrameSizing::fit(1920, 1080)))
            photos.push_back(
                VipsImage::view(*image).extract_band(0, vips::VImage::option()->set("n", 3)).copy_memory());
    }
    const int q = EncoderQuality::libraryQ(EncoderQuality::lossy(ImageFormat::avif, 0.75));
    std::printf("AVIF 0.75 of %zu photos fit 1920x1080 by effort:\n", photos.size());
    for (const int effort : {0, 1, 2, 3, 4}) {
        const auto start = Clock::now();
        std::size_t bytes = 0;
        for (const vips::VImage& photo : photos)
            bytes += VipsImage::bytes(
                         photo.heifsave_buffer(vips::VImage::option()
                                                   ->set("Q", q)
                                                   ->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1)
                                                   ->set("effort", effort)
                                                   ->set("bitdepth", 8)
                                                   ->set("strip", true)))
                         .size();
        std::printf("  effort %d  %6.2f s  %9zu bytes\n", effort, since(start), bytes);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The photos are made, and outputs compared, through libvips itself.
    ImageEngine::start();
    if (argc == 3 && std::string(argv[1]) == "--generate") {
        generate(argv[2]);
        return 0;
    }
    // An option mistaken for the folder would fill a folder of that name with photos.
    if (argc > 1 && argv[1][0] == '-') {
        std::fprintf(stderr, "usage: image_bench [folder [--avif-efforts]]\n");
        return 2;
    }
    const fs::path folder =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "quillmorph-image-bench";
    // Made in a child so that its memory does not count as ours.
    if (!fs::exists(folder) || sources(folder).size() != 10)
        runTogether({{fs::canonical("/proc/self/exe").string(), "--generate", folder.string()}});
    const std::vector<fs::path> files = sources(folder);
    std::printf("%zu photos in %s\n", files.size(), folder.c_str());
    collectOutputs(folder, "-converted");
    collectOutputs(folder, "-vt");

    const ImageSettings webp{
        .format = ImageFormat::webp, .sizing = FrameSizing::fit(1920, 1080), .quality = 0.75};
    // vipsthumbnail first: a child's peak memory starts from its parent's at the time it is started.
    const ChildResult thumbnailWebP = vipsthumbnail(files, "%s-vt.webp[Q=75]");
    const std::int64_t thumbnailWebPBytes = collectOutputs(folder, "-vt");
    const BatchResult ourWebP = batch(files, webp);
    compare("WebP", ourWebP, collectOutputs(folder, "-converted"), thumbnailWebP, thumbnailWebPBytes);

    pngComparisons(folder, files);
    pngBreakdown(folder / "single.jpg");
    estimates(files[5]);
    if (argc > 2 && std::string(argv[2]) == "--avif-efforts")
        avifEfforts(files);
    reducedScaleQuality(files);
    return 0;
}
