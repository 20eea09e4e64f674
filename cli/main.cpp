#include "Commands.h"
#include "engines/image/ImageEngine.h"
#include "common/Bundle.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

namespace quillmorph::cli {
namespace {

constexpr std::array commands{
    Command{"url", "ACTION FILE...",
            "Print the request URL for ACTION (image, video, pdf, audio, extractAudio) and the absolute FILEs.",
            urlCommand},
    Command{"decode", "URL", "Print the request a URL carries as JSON; exit 1, printing nothing, when it is rejected.",
            decodeCommand},
    Command{"phrase", "KEY [NAME=VALUE...] [--lang CODE]",
            "Print a phrase of the catalogue in the current language (or CODE), placeholders filled.", phraseCommand},
    Command{"image",
            "[--format jpg|png|webp|avif] [--quality 0.05-1] [--fit WxH | --exact WxH] [--estimate] [--json] "
            "FILE...",
            "Convert images, each written beside itself as a new \"-converted\" file. Defaults: the first\n"
            "      file's format, quality 0.75, size untouched. --estimate prints the estimated output size\n"
            "      and writes nothing.",
            imageCommand},
    Command{"pdf",
            "[--quality 0.05-1] [--resolution web|docs|print] [--grayscale] [--no-optimize] [--keep-text] "
            "[--json] FILE...",
            "Compress PDFs, every page re-rendered as one JPEG picture, each written beside itself as a new\n"
            "      \"-compressed\" file. Defaults: quality 0.7, docs (150 dpi; web 96, print 300), colour,\n"
            "      document information blanked. --keep-text keeps the pages (text, links, outlines) and\n"
            "      only shrinks their pictures; a document never grows.",
            pdfCommand},
    Command{"audio",
            "[--format mp3|aac|opus|flac|wav|aiff] [--bitrate KBPS] [--mono] [--strip-tags] [--estimate] [--json] "
            "FILE...",
            "Convert audio files with ffmpeg, each written beside itself as a new \"-converted\" file.\n"
            "      Defaults: the format last chosen (mp3 at first; --format remembers it), 192 kbps where\n"
            "      offered, else the format's own; channels and tags kept. --estimate prints each file's\n"
            "      estimated size and writes nothing.",
            audioCommand},
    Command{"extract-audio",
            "[--format ...] [--bitrate KBPS] [--mono] [--strip-tags] [--estimate] [--json] FILE...",
            "Extract the first audio track of videos, as audio does with audio files.", extractAudioCommand},
    Command{
        "video",
        "[--preset ID] [--container mp4|webm] [--codec h264|hevc] [--bitrate KBPS] [--fit WxH | --exact "
        "WxH]\n"
        "      [--fps N] [--no-audio] [--audio-bitrate KBPS] [--engine ffmpeg|native] [--estimate] [--json] "
        "FILE...",
        "Compress videos one at a time, each written beside itself as a new \"-converted\" .mp4 or .webm\n"
        "      file; ffmpeg when it is installed, else the in-process engine (MP4 only). Defaults: the\n"
        "      \"original\" preset (6000 kbps, 192 kbps audio, size and rate kept), MP4, H.264. Ctrl-C\n"
        "      cancels the running file and keeps the finished ones. --estimate writes nothing.",
        videoCommand},
    Command{"poster", "--at TIME FILE...",
            "Save the frame at TIME (seconds, m:s or h:m:s) of each video as a \"-poster\" PNG beside it.",
            posterCommand},
};

void printHelp(std::ostream& stream) {
    stream << "Usage: quillmorph-cli COMMAND [ARGUMENTS]\n"
              "   or: quillmorph-cli --help | --version\n\nCommands:\n";
    for (const Command& command : commands)
        stream << "  " << command.name << ' ' << command.synopsis << "\n      " << command.summary << "\n";
    stream << "\nExit status: 0 success, 1 failure, 2 usage error.\n";
}

} // namespace
} // namespace quillmorph::cli

int main(int argc, char** argv) {
    using namespace quillmorph::cli;
    // Before any thread exists, and with the untrusted image loaders blocked before any file is read.
    quillmorph::ImageEngine::start();
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        printHelp(std::cerr);
        return exitUsage;
    }
    if (arguments.front() == "--help" || arguments.front() == "-h" || arguments.front() == "help") {
        printHelp(std::cout);
        return exitSuccess;
    }
    if (arguments.front() == "--version") {
        std::cout << "quillmorph-cli " << quillmorph::Bundle::version() << "\n";
        return exitSuccess;
    }
    auto command = std::ranges::find(commands, arguments.front(), &Command::name);
    if (command == commands.end()) {
        std::cerr << "quillmorph-cli: unknown command '" << arguments.front() << "'\n";
        printHelp(std::cerr);
        return exitUsage;
    }
    return command->run(Arguments(arguments).subspan(1));
}
