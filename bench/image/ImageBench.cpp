// The image batch against vipsthumbnail on ten generated photos of 2 to 20 megapixels: wall time,
// peak memory and output bytes; then the quality of the reduced-scale load and the PNG filter choice.
//
//   image_bench [folder]     the photos are made in the folder (default: a new one under /tmp)

#include "bench/ProcessorTime.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageSettings.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

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

long peakMemoryKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
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
        testing::photo(width, height, index + 1).jpegsave(file.c_str(), vips::VImage::option()->set("Q", 90));
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

BatchResult batch(const std::vector<fs::path>& files, const ImageSettings& settings) {
    restartPeakMemory();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    const std::vector<JobOutcome> outcomes = BatchRunner::run(files, settings, {}, {});
    BatchResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    result.cpuSeconds = bench::processorSeconds(after) - bench::processorSeconds(before);
    result.peakKilobytes = peakMemoryKilobytes();
    for (const JobOutcome& outcome : outcomes) {
        if (!outcome.succeeded()) {
            ++result.failures;
            std::fprintf(stderr, "%s: %s\n", outcome.source.c_str(), outcome.error->c_str());
        }
    }
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
                std::printf(" %.1f", testing::psnr(*reduced, *full));
        }
        std::printf("\n");
    }
}

void pngFilters(const fs::path& file) {
    const auto image = ImageEngine::loadNormalized(file, FrameSizing::fit(1920, 1080));
    if (!image)
        return;
    const vips::VImage rgb = VipsImage::view(*image).extract_band(0, vips::VImage::option()->set("n", 3));
    for (const auto& [name, filter] : {std::pair{"none", VIPS_FOREIGN_PNG_FILTER_NONE},
                                       std::pair{"all (adaptive)", VIPS_FOREIGN_PNG_FILTER_ALL}}) {
        const auto start = Clock::now();
        const auto bytes = VipsImage::bytes(rgb.pngsave_buffer(
            vips::VImage::option()->set("compression", 9)->set("filter", filter)->set("strip", true)));
        std::printf("platform PNG %dx%d, compression 9, filter %-14s %9zu bytes  %.2f s\n", image->width(),
                    image->height(), name, bytes.size(),
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
    for (const double quality : {1.0, 0.75}) {
        const auto start = Clock::now();
        const auto png = ImageEngine::encode(*image, ImageFormat::png, quality);
        std::printf("encodePNG at %.2f: %9zu bytes  %.2f s\n", quality, png ? png->size() : 0,
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--generate") {
        generate(argv[2]);
        return 0;
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
    const ImageSettings png{
        .format = ImageFormat::png, .sizing = FrameSizing::fit(1920, 1080), .quality = 0.75};
    // vipsthumbnail first: a child's peak memory starts from its parent's at the time it is started.
    const ChildResult thumbnailWebP = vipsthumbnail(files, "%s-vt.webp[Q=75]");
    const std::int64_t thumbnailWebPBytes = collectOutputs(folder, "-vt");
    const ChildResult thumbnailPNG = vipsthumbnail(files, "%s-vt.png[compression=9]");
    const std::int64_t thumbnailPNGBytes = collectOutputs(folder, "-vt");

    const BatchResult ourWebP = batch(files, webp);
    const std::int64_t ourWebPBytes = collectOutputs(folder, "-converted");
    const BatchResult ourPNG = batch(files, png);
    const std::int64_t ourPNGBytes = collectOutputs(folder, "-converted");
    compare("WebP", ourWebP, ourWebPBytes, thumbnailWebP, thumbnailWebPBytes);
    compare("PNG", ourPNG, ourPNGBytes, thumbnailPNG, thumbnailPNGBytes);

    // The machine may be shared: more WebP rounds, alternating, and the best time of each.
    double bestOurs = ourWebP.seconds;
    double bestTheirs = thumbnailWebP.seconds;
    for (int round = 2; round <= 4; ++round) {
        const ChildResult theirs = vipsthumbnail(files, "%s-vt.webp[Q=75]");
        collectOutputs(folder, "-vt");
        const BatchResult ours = batch(files, webp);
        collectOutputs(folder, "-converted");
        std::printf("WebP  round %d: wall %.2f s / %.2f s = %.2f, cpu %.2f s / %.2f s = %.2f\n", round,
                    ours.seconds, theirs.seconds, ours.seconds / theirs.seconds, ours.cpuSeconds,
                    theirs.cpuSeconds, ours.cpuSeconds / theirs.cpuSeconds);
        bestOurs = std::min(bestOurs, ours.seconds);
        bestTheirs = std::min(bestTheirs, theirs.seconds);
    }
    std::printf("WebP  best wall of 4: batch %.2f s, vipsthumbnail %.2f s, ratio %.2f\n", bestOurs,
                bestTheirs, bestOurs / bestTheirs);
    reducedScaleQuality(files);
    pngFilters(files.back());
    return 0;
}
