#include "LargeBufferHeap.h"

#include <malloc.h>
#include <mutex>

namespace quillmorph {

LargeBufferHeap::LargeBufferHeap() {
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 128 << 20);
    });
}

void LargeBufferHeap::trim() {
    malloc_trim(0);
}

} // namespace quillmorph
