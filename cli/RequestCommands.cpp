// The commands around requests and phrases: url, decode, phrase.
#include "Commands.h"

#include "common/Localization.h"
#include "common/RequestTransport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>

namespace quillmorph::cli {

int urlCommand(Arguments arguments) {
    if (arguments.size() < 2) {
        std::cerr << "usage: quillmorph-cli url ACTION FILE...\n";
        return exitUsage;
    }
    auto action = fromString<ActionKind>(arguments[0]);
    if (!action) {
        std::cerr << "quillmorph-cli url: unknown action '" << arguments[0]
                  << "' (image, video, pdf, audio, extractAudio)\n";
        return exitUsage;
    }
    QuillmorphRequest request{.action = *action};
    for (std::string_view file : arguments.subspan(1))
        request.paths.push_back(std::filesystem::absolute(file).lexically_normal().string());
    auto url = RequestTransport::url(request);
    if (!url) {
        std::cerr << "quillmorph-cli url: could not build request URL\n";
        return exitFailure;
    }
    std::cout << *url << '\n';
    return exitSuccess;
}

int decodeCommand(Arguments arguments) {
    if (arguments.size() != 1) {
        std::cerr << "usage: quillmorph-cli decode URL\n";
        return exitUsage;
    }
    auto request = RequestTransport::request(arguments[0]);
    if (!request)
        return exitFailure;
    nlohmann::json json{{"action", toString(request->action)}, {"paths", request->paths}};
    std::cout << json.dump(2) << '\n';
    return exitSuccess;
}

int phraseCommand(Arguments arguments) {
    std::optional<Phrase> phrase;
    Localization::Arguments values;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        std::string_view argument = arguments[index];
        if (argument == "--lang" && index + 1 < arguments.size()) {
            Localization::setLanguage(std::string(arguments[++index]));
        } else if (!phrase) {
            phrase = fromString<Phrase>(argument);
            if (!phrase) {
                std::cerr << "quillmorph-cli phrase: unknown key '" << argument << "'\n";
                return exitUsage;
            }
        } else if (auto equals = argument.find('='); equals != std::string_view::npos) {
            values.emplace_back(argument.substr(0, equals), argument.substr(equals + 1));
        } else {
            std::cerr << "usage: quillmorph-cli phrase KEY [NAME=VALUE...] [--lang CODE]\n";
            return exitUsage;
        }
    }
    if (!phrase) {
        std::cerr << "usage: quillmorph-cli phrase KEY [NAME=VALUE...] [--lang CODE]\n";
        return exitUsage;
    }
    std::cout << Localization::string(*phrase, values) << '\n';
    return exitSuccess;
}

} // namespace quillmorph::cli
