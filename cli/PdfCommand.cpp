// The pdf command: compress PDFs as the PDF panel would.
#include "BatchPrinting.h"
#include "Commands.h"
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
                                   "                          [--json] FILE...\n";

struct PdfOptions {
    PDFSettings settings;
    OutcomeStyle style = OutcomeStyle::lines;
    std::vector<std::string_view> files;
};

// The quality slider's range.
// Nothing for a usage error.
std::optional<PdfOptions> parse(Arguments arguments) {
    PdfOptions options;
    bool optionsEnded = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string_view argument = arguments[index];
        if (optionsEnded || !argument.starts_with("-") || argument == "-") {
            options.files.push_back(argument);
            continue;
        }
        const bool hasValue = index + 1 < arguments.size();
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--grayscale") {
            options.settings.grayscale = true;
        } else if (argument == "--no-optimize") {
            options.settings.optimize = false;
        } else if (argument == "--json") {
            options.style = OutcomeStyle::json;
        } else if (argument == "--quality" && hasValue) {
            const auto quality = parseQuality(arguments[++index]);
            if (!quality)
                return std::nullopt;
            options.settings.imageQuality = *quality;
        } else if (argument == "--resolution" && hasValue) {
            const auto resolution = fromString<PDFSettings::Resolution>(arguments[++index]);
            if (!resolution)
                return std::nullopt;
            options.settings.resolution = *resolution;
        } else {
            return std::nullopt;
        }
    }
    if (options.files.empty())
        return std::nullopt;
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
