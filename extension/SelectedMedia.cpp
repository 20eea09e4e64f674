#include "extension/SelectedMedia.h"

#include <algorithm>
#include <filesystem>
#include <span>

namespace quillmorph {
namespace {

std::string lowerCaseExtension(std::string_view name) {
    std::string extension = std::filesystem::path(name).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    std::ranges::transform(extension, extension.begin(), [](unsigned char character) {
        return static_cast<char>(character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character);
    });
    return extension;
}

bool contains(std::span<const std::string_view> list, std::string_view extension) {
    return std::ranges::find(list, extension) != list.end();
}

std::vector<std::string>* classFor(const SelectedItem& item, SelectedMedia& media) {
    const std::string extension = lowerCaseExtension(item.name);
    const Conformance& type = item.conformsTo;
    if (type.pdf)
        return &media.pdfs;
    if (type.audio || contains(audioExtensions, extension))
        return &media.audios;
    if (type.image)
        return &media.images;
    if (type.movie || type.audiovisualContent || contains(extraVideoExtensions, extension))
        return &media.videos;
    return nullptr;
}

} // namespace

const std::vector<std::string>& SelectedMedia::files(MenuAction action) const {
    switch (action) {
    case MenuAction::image:
        return images;
    case MenuAction::video:
    case MenuAction::extractAudio:
        return videos;
    case MenuAction::pdf:
        return pdfs;
    case MenuAction::audio:
        return audios;
    }
    return images;
}

SelectedMedia classify(const std::vector<SelectedItem>& selection) {
    SelectedMedia media;
    for (const SelectedItem& item : selection) {
        if (!item.path)
            continue;
        if (std::vector<std::string>* list = classFor(item, media))
            list->push_back(*item.path);
    }
    return media;
}

} // namespace quillmorph
