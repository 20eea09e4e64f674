// The pdf command: compress PDFs as the PDF panel would.
#include "BatchPrinting.h"
#include "Commands.h"
#include "OptionScanner.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/pdf/PDFSettings.h"

#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

namespace quillmorph::cli {
namespace {

constexpr std::string_view usage = "usage: quillmorph-cli pdf [--quality 0.05-1] [--resolution "
                                   "web|docs|print] [--grayscale] [--no-optimize]\n"
                                   "                          [--keep-text] [--json] FILE...\n";

struct PdfOptions {
    PDFSettings settings;
    OutcomeStyle style = OutcomeStyle::lines;
    std::vector<std::string_view> files;
};

// Nothing for a usage error.
std::optional<PdfOptions> parse(Arguments arguments) {
    PdfOptions options;
    auto files =
        OptionScanner()
            .flag("--grayscale", [&] { options.settings.grayscale = true; })
            .flag("--no-optimize", [&] { options.settings.optimize = false; })
            .flag("--keep-text", [&] { options.settings.method = PDFSettings::Method::keepText; })
            .flag("--json", [&] { options.style = OutcomeStyle::json; })
            .option("--quality", storing(options.settings.imageQuality, parseQuality))
            .option("--resolution", storing(options.settings.resolution, fromString<PDFSettings::Resolution>))
            .scan(arguments);
    if (!files)
        return std::nullopt;
    options.files = std::move(*files);
    return options;
}

} // namespace

int pdfCommand(Arguments arguments) {
    const std::optional<PdfOptions> options = parse(arguments);
    if (!options) {
        std::cerr << usage;
        return exitUsage;
    }
    const auto outcomes =
        BatchRunner::runPDF(absoluteFiles(options->files), options->settings, terminalProgress(), {});
    return printOutcomes(outcomes, Localization::string(Phrase::notifyPdfsVerb), Phrase::notifyImagesCount,
                         options->style);
}

} // namespace quillmorph::cli
