// PDF compression against two other ways of shrinking a PDF, on a 40-page text document and a
// 40-page image-heavy one (200-dpi page photos, which Ghostscript's /ebook passes through as they
// are): wall time, output bytes and peak memory of each. Keep-text also runs on 40 pages of phone
// photos at about 460 dpi, which both it and Ghostscript downsample.
//   ours:        PDFEngine::compress at 150 dpi, quality 0.7, in a child process
//   two tools:   pdftoppm -r 150 -jpeg -jpegopt quality=70, then img2pdf of its pages
//   Ghostscript: pdfwrite with -dPDFSETTINGS=/ebook
//   keep text:   PDFRewriter::compress at 150 dpi, quality 0.7, against Ghostscript's /ebook, with the
//                PSNR of pages rendered at 150 dpi against the source's
//
// Every one runs as a process of its own, its peak being the peak resident size of that process.
// Medians of three interleaved rounds give the ratio of ours to the two tools. Then the memory bound:
// four documents of two 200-inch pages each compressed at 300 dpi at once, as a batch runs them.
//
//   pdf_bench [folder]     the documents are made in the folder (default: one under /tmp)

#include "bench/ProcessorTime.h"
#include "engines/image/ImageEngine.h"
#include "engines/pdf/PDFEngine.h"
#include "engines/pdf/PDFRewriter.h"
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
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace quillmorph;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int pageCount = 40;

struct Measurement {
    double seconds = 0;
    double processorSeconds = 0; // user + system, every thread
    long peakKilobytes = 0;
    std::int64_t bytes = 0;
};

// Runs the commands one after another; the peak is that of the largest. A child started straight
// from this process would report our own peak as its starting one (Linux folds the peak of the
// address space it leaves at exec into the child's), so each runs under /usr/bin/time, which
// reports the peak of its own child.
Measurement runInTurn(const std::vector<std::vector<std::string>>& commands, const fs::path& scratch) {
    const auto start = Clock::now();
    Measurement result;
    const std::string report = (scratch / "time-report").string();
    for (const auto& command : commands) {
        std::vector<std::string> timed{"/usr/bin/time", "-f", "%M", "-o", report};
        timed.insert(timed.end(), command.begin(), command.end());
        std::vector<char*> argv;
        for (const std::string& argument : timed)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t child = -1;
        if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", argv[0]);
            std::exit(1);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed\n", command.front().c_str());
            std::exit(1);
        }
        // wait4 counts the child's own reaped children: the tool's time is in there.
        result.processorSeconds += bench::processorSeconds(usage);
        long peak = 0;
        std::ifstream(report) >> peak;
        result.peakKilobytes = std::max(result.peakKilobytes, peak);
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

std::string loadAverage() {
    std::string one, five, fifteen;
    std::ifstream("/proc/loadavg") >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A page of running text in two fonts and a small line chart, as a report has.
std::string textProgram() {
    static const char* const words[] = {"quarterly", "results",  "the",      "of",      "and",    "network",
                                        "capacity",  "grew",     "while",    "costs",   "fell",   "across",
                                        "regions",   "budget",   "forecast", "team",    "review", "shipping",
                                        "delays",    "improved", "customer", "support", "metrics"};
    std::string program = "%!PS\n/body /Times-Roman findfont 10 scalefont def\n"
                          "/head /Helvetica-Bold findfont 18 scalefont def\n";
    unsigned state = 12345;
    for (int page = 1; page <= pageCount; ++page) {
        program += "<< /PageSize [612 792] >> setpagedevice\nhead setfont 72 730 moveto (Section " +
                   std::to_string(page) + ": Operations review) show\nbody setfont\n";
        for (int line = 0; line < 56; ++line) {
            std::string text;
            while (text.size() < 95) {
                state = state * 1103515245 + 12345;
                text += std::string(words[(state >> 16) % std::size(words)]) + " ";
            }
            program += "72 " + std::to_string(705 - 11 * line) + " moveto (" + text + ") show\n";
        }
        program += "0.5 setlinewidth 0 0 0.6 setrgbcolor 380 60 moveto";
        for (int point = 1; point <= 12; ++point)
            program += " " + std::to_string(380 + 15 * point) + " " +
                       std::to_string(60 + (page * point * 7) % 50) + " lineto";
        program += " stroke 0 setgray\nshowpage\n";
    }
    return program;
}

void generate(const fs::path& folder) {
    fs::create_directories(folder);
    std::ofstream(folder / "text.ps") << textProgram();
    runInTurn({{"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                "-sOutputFile=" + (folder / "text.pdf").string(), (folder / "text.ps").string()}},
              folder);
    std::vector<std::string> img2pdf{"img2pdf", "--pagesize", "Letter", "-o",
                                     (folder / "photos.pdf").string()};
    for (int page = 1; page <= pageCount; ++page) {
        const fs::path photo = folder / ("photo" + std::to_string(100 + page) + ".jpg");
        // About 200 dpi on a letter page, as a scanned or photographed page is.
        quillmorph::testing::photo(1700, 2200, page)
            .jpegsave(photo.c_str(), vips::VImage::option()->set("Q", 85));
        img2pdf.push_back(photo.string());
    }
    runInTurn({img2pdf}, folder);
    // Phone photos of 3000 x 2250 placed 6.5 inches wide, about 460 dpi, as reports and slides hold them.
    std::vector<std::string> camera{
        "img2pdf", "--pagesize", "Letter", "--imgsize", "6.5inx", "-o", (folder / "camera.pdf").string()};
    for (int page = 1; page <= pageCount; ++page) {
        const fs::path photo = folder / ("camera" + std::to_string(100 + page) + ".jpg");
        quillmorph::testing::photo(3000, 2250, 1000 + page)
            .jpegsave(photo.c_str(), vips::VImage::option()->set("Q", 90));
        camera.push_back(photo.string());
    }
    runInTurn({camera}, folder);
}

// Run in a child, like the tools, so that the peak is that of a fresh process: either method at
// 150 dpi and quality 0.7.
int compressInto(const fs::path& source, const fs::path& output, PDFSettings::Method method) {
    const PDFSettings settings{
        .imageQuality = 0.7, .resolution = PDFSettings::Resolution::docs, .method = method};
    const auto result = method == PDFSettings::Method::keepText ? PDFRewriter::compress(source, settings)
                                                                : PDFEngine::compress(source, settings);
    if (!result) {
        std::fprintf(stderr, "%s: %s\n", source.c_str(), describe(result.error()).c_str());
        return 1;
    }
    std::ofstream(output, std::ios::binary)
        .write(reinterpret_cast<const char*>(result->data()), std::streamsize(result->size()));
    return 0;
}

Measurement ours(const fs::path& source, const fs::path& scratch) {
    fs::create_directories(scratch);
    Measurement measurement = runInTurn({{fs::canonical("/proc/self/exe").string(), "--compress",
                                          source.string(), (scratch / "ours.pdf").string()}},
                                        scratch);
    measurement.bytes = std::int64_t(fs::file_size(scratch / "ours.pdf"));
    return measurement;
}

Measurement twoTools(const fs::path& source, const fs::path& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    Measurement measurement = runInTurn({{"pdftoppm", "-r", "150", "-jpeg", "-jpegopt", "quality=70",
                                          source.string(), (scratch / "page").string()}},
                                        scratch);
    std::vector<std::string> img2pdf{"img2pdf", "-o", (scratch / "out.pdf").string()};
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(scratch)) {
        if (entry.path().extension() == ".jpg")
            pages.push_back(entry.path());
    }
    std::ranges::sort(pages);
    for (const fs::path& page : pages)
        img2pdf.push_back(page.string());
    const Measurement second = runInTurn({img2pdf}, scratch);
    measurement.seconds += second.seconds;
    measurement.processorSeconds += second.processorSeconds;
    measurement.peakKilobytes = std::max(measurement.peakKilobytes, second.peakKilobytes);
    measurement.bytes = std::int64_t(fs::file_size(scratch / "out.pdf"));
    return measurement;
}

Measurement ghostscript(const fs::path& source, const fs::path& scratch) {
    fs::create_directories(scratch);
    Measurement measurement = runInTurn(
        {{"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-dPDFSETTINGS=/ebook",
          "-sOutputFile=" + (scratch / "ebook.pdf").string(), source.string()}},
        scratch);
    measurement.bytes = std::int64_t(fs::file_size(scratch / "ebook.pdf"));
    return measurement;
}

// Two pages of 14400 × 14400 points, each rendering far beyond the page cap at 300 dpi.
void generateHugePages(const fs::path& file) {
    std::string program = "%!PS\n";
    for (int page = 1; page <= 2; ++page)
        program +=
            "<< /PageSize [14400 14400] >> setpagedevice\n0.2 0.4 0.8 setrgbcolor 1000 1000 12400 12400 "
            "rectfill 0 setgray /Helvetica findfont 2000 scalefont setfont 2000 7000 moveto (Page " +
            std::to_string(page) + ") show showpage\n";
    const fs::path source = file.parent_path() / "huge.ps";
    std::ofstream(source) << program;
    runInTurn({{"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                "-sOutputFile=" + file.string(), source.string()}},
              file.parent_path());
}

// Every document compressed at 300 dpi on a thread of its own, all at once.
int compressAtOnce(const std::vector<fs::path>& sources) {
    std::vector<int> pages(sources.size(), -1);
    {
        std::vector<std::jthread> threads;
        for (std::size_t index = 0; index < sources.size(); ++index) {
            threads.emplace_back([&, index] {
                const auto result =
                    PDFEngine::compress(sources[index], {.resolution = PDFSettings::Resolution::print});
                pages[index] = result ? int(result->size()) : -1;
            });
        }
    }
    return std::ranges::count(pages, -1) == 0 ? 0 : 1;
}

void print(const char* document, const char* how, const Measurement& measurement) {
    std::printf("%-7s %-22s %6.2f s wall  %6.2f s processor  peak %5.1f MB  %10lld bytes\n", document, how,
                measurement.seconds, measurement.processorSeconds, double(measurement.peakKilobytes) / 1024,
                (long long)measurement.bytes);
}

// The peak signal-to-noise ratio in dB of pages 1, 11, 21 and 31 rendered in colour at 150 dpi,
// against the same pages of the source; higher is closer.
double pagePSNR(const fs::path& source, const fs::path& output, const fs::path& scratch) {
    double squares = 0, samples = 0;
    for (int page = 1; page <= pageCount; page += 10) {
        std::vector<vips::VImage> renders;
        for (const fs::path& file : {source, output}) {
            const fs::path prefix = scratch / ("render-" + std::to_string(renders.size()));
            // PNG: the image library reads no PPM once our loaders are restricted.
            runInTurn({{"pdftoppm", "-png", "-r", "150", "-f", std::to_string(page), "-l",
                        std::to_string(page), "-singlefile", file.string(), prefix.string()}},
                      scratch);
            renders.push_back(vips::VImage::new_from_file((prefix.string() + ".png").c_str(),
                                                          vips::VImage::option()->set("access", "sequential"))
                                  .copy_memory());
        }
        const vips::VImage difference = renders[0].cast(VIPS_FORMAT_FLOAT) - renders[1];
        const double count = double(difference.width()) * difference.height() * difference.bands();
        squares += (difference * difference).avg() * count;
        samples += count;
    }
    const double meanSquare = squares / samples;
    return meanSquare == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

// Keep-text against Ghostscript's /ebook on both documents, with how close each one's pages look
// to the source's.
void keepTextAgainstEbook(const fs::path& folder) {
    std::printf("-- keep text against Ghostscript /ebook, load average %s\n", loadAverage().c_str());
    for (const char* document : {"text", "photos", "camera"}) {
        const fs::path source = folder / (std::string(document) + ".pdf");
        const fs::path scratch = folder / "keep-text";
        fs::create_directories(scratch);
        Measurement ours = runInTurn({{fs::canonical("/proc/self/exe").string(), "--keep-text",
                                       source.string(), (scratch / "ours.pdf").string()}},
                                     scratch);
        ours.bytes = std::int64_t(fs::file_size(scratch / "ours.pdf"));
        const Measurement ebook = ghostscript(source, scratch);
        std::printf("%-7s source %lld bytes\n", document, (long long)fs::file_size(source));
        print(document, "keep text (150, 0.7)", ours);
        std::printf("%-7s %-22s PSNR %.2f dB\n", document, "keep text (150, 0.7)",
                    pagePSNR(source, scratch / "ours.pdf", scratch));
        print(document, "Ghostscript /ebook", ebook);
        std::printf("%-7s %-22s PSNR %.2f dB\n", document, "Ghostscript /ebook",
                    pagePSNR(source, scratch / "ebook.pdf", scratch));
        fs::remove_all(scratch);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The bench compares renderings through libvips itself, in this process too.
    ImageEngine::start();
    if (argc == 3 && std::string(argv[1]) == "--generate") {
        generate(argv[2]);
        return 0;
    }
    if (argc > 2 && std::string(argv[1]) == "--at-once")
        return compressAtOnce(std::vector<fs::path>(argv + 2, argv + argc));
    if (argc == 4 && std::string(argv[1]) == "--compress")
        return compressInto(argv[2], argv[3], PDFSettings::Method::pagesAsPictures);
    if (argc == 4 && std::string(argv[1]) == "--keep-text")
        return compressInto(argv[2], argv[3], PDFSettings::Method::keepText);
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "quillmorph-pdf-bench";
    // Made in a child so that its memory does not count as ours.
    if (!fs::exists(folder / "text.pdf") || !fs::exists(folder / "photos.pdf") ||
        !fs::exists(folder / "camera.pdf"))
        runInTurn({{fs::canonical("/proc/self/exe").string(), "--generate", folder.string()}},
                  fs::temp_directory_path());
    std::printf("%d-page documents in %s; load average %s; one letter page at 150 dpi: %.1f MB of RGB\n",
                pageCount, folder.c_str(), loadAverage().c_str(), 1275.0 * 1650 * 3 / 1024 / 1024);
    std::vector<double> ourSeconds[2], theirSeconds[2];
    const char* const documents[] = {"text", "photos"};
    for (int round = 1; round <= 3; ++round) {
        std::printf("-- round %d, load average %s\n", round, loadAverage().c_str());
        for (int document = 0; document < 2; ++document) {
            const char* name = documents[document];
            const fs::path source = folder / (std::string(name) + ".pdf");
            const fs::path scratch = folder / "scratch";
            std::printf("%-7s source %lld bytes\n", name, (long long)fs::file_size(source));
            const Measurement our = ours(source, scratch);
            const Measurement their = twoTools(source, scratch);
            print(name, "ours (150 dpi, 0.7)", our);
            print(name, "pdftoppm + img2pdf", their);
            ourSeconds[document].push_back(our.seconds);
            theirSeconds[document].push_back(their.seconds);
            if (round == 1)
                print(name, "Ghostscript /ebook", ghostscript(source, scratch));
            fs::remove_all(scratch);
        }
    }
    for (int document = 0; document < 2; ++document) {
        std::ranges::sort(ourSeconds[document]);
        std::ranges::sort(theirSeconds[document]);
        std::printf("%-7s median of 3: ours %.2f s, pdftoppm + img2pdf %.2f s, ratio %.2f (target 0.7)\n",
                    documents[document], ourSeconds[document][1], theirSeconds[document][1],
                    ourSeconds[document][1] / theirSeconds[document][1]);
    }

    const fs::path huge = folder / "huge.pdf";
    if (!fs::exists(huge))
        generateHugePages(huge);
    std::vector<std::string> atOnce{fs::canonical("/proc/self/exe").string(), "--at-once"};
    for (int copy = 0; copy < 4; ++copy)
        atOnce.push_back(huge.string());
    const Measurement memory = runInTurn({atOnce}, folder);
    std::printf(
        "4 documents of 2 pages of 14400 pt at 300 dpi at once: %.2f s, peak %.1f MB (target < 400)\n",
        memory.seconds, double(memory.peakKilobytes) / 1024);
    keepTextAgainstEbook(folder);
    return 0;
}
