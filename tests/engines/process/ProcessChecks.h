#pragma once

#include <cerrno>
#include <filesystem>
#include <sys/wait.h>

namespace quillmorph::testing {

inline int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Whether any child of this process, running or a zombie, is left to be reaped.
inline bool hasChildren() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) != -1 || errno != ECHILD;
}

} // namespace quillmorph::testing
