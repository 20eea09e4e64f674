#pragma once

#include <filesystem>
#include <vector>

namespace quillmorph::FileManager {

// Opens a file-manager window selecting `files` (org.freedesktop.FileManager1.ShowItems, asynchronous);
// when no file manager answers, opens the folder of the first file instead. Nothing for no files.
void showItems(const std::vector<std::filesystem::path>& files);

} // namespace quillmorph::FileManager
