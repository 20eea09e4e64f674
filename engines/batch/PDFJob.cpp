#include "BatchRunner.h"
#include "engines/output/FileNaming.h"
#include "engines/output/OutputFile.h"
#include "engines/pdf/PDFEngine.h"
#include "engines/pdf/PDFRewriter.h"

namespace quillmorph::BatchRunner {

JobOutcome processPDF(const std::filesystem::path& file, const PDFSettings& settings) {
    JobOutcome outcome{.source = file, .originalBytes = FileNaming::byteCount(file)};
    auto compressed = settings.method == PDFSettings::Method::keepText ? PDFRewriter::compress(file, settings)
                                                                       : PDFEngine::compress(file, settings);
    if (!compressed) {
        outcome.error = describe(compressed.error());
        return outcome;
    }
    auto written = writeBeside(file, "-compressed", "pdf", *compressed);
    if (!written) {
        outcome.error = std::move(written.error());
        return outcome;
    }
    outcome.output = std::move(*written);
    outcome.outputBytes = static_cast<std::int64_t>(compressed->size());
    return outcome;
}

std::vector<JobOutcome> runPDF(const Files& files, const PDFSettings& settings, const Progress& progress,
                               const Executor& executor) {
    return runParallel(
        files, [&](const std::filesystem::path& file) { return processPDF(file, settings); }, progress,
        executor);
}

} // namespace quillmorph::BatchRunner
