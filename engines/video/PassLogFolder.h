#pragma once

#include <filesystem>
#include <string>
#include <tl/expected.hpp>

// Where ffmpeg keeps its two-pass statistics: a folder of this run, readable by its user only
// ("quillmorph-passes-<pid>-XXXXXX" under $XDG_RUNTIME_DIR, else the temporary folder), made on
// first use and removed with its contents when the program exits. Folders of runs that ended
// without removing theirs (killed, crashed) go whenever a new prefix is handed out.
namespace quillmorph::PassLogFolder {

// A fresh prefix for one file's statistics inside the run's folder; any thread may ask. Fails with
// the folder and the system's reason ("/run/user/1000: Permission denied") when it cannot be made.
[[nodiscard]] tl::expected<std::filesystem::path, std::string> freshPrefix();

} // namespace quillmorph::PassLogFolder
