#pragma once

#include <sys/resource.h>

namespace quillmorph::bench {

// User plus system time of a getrusage or wait4 report, in seconds.
inline double processorSeconds(const rusage& usage) {
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace quillmorph::bench
