#pragma once

#include <filesystem>
#include <vector>

namespace quillmorph::FileManager {

// Opens one file-manager window per folder of `files`, each selecting the first of them in that
// folder (org.freedesktop.FileManager1.ShowItems, asynchronous); when no file manager answers,
// opens the folder of the first file instead. Nothing for no files.
void showItems(const std::vector<std::filesystem::path>& files);

} // namespace quillmorph::FileManager
