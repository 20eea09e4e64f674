#pragma once

namespace quillmorph {

// Page bitmaps and decoded pictures are buffers of megabytes, made and freed once a page. Left to
// glibc's defaults each is a fresh mapping that the kernel zero-fills page by page and unmaps when
// freed, and the renderers queue on the address-space lock: over half the time of a 150-dpi
// document. Held while a document is compressed: buffers up to 32 MB come from the heap (from then
// on, process-wide) and up to 128 MB stay free there for the next page; at the end the heap's free
// memory goes back to the system, as a long-running process needs.
class LargeBufferHeap {
  public:
    LargeBufferHeap();
    ~LargeBufferHeap() { trim(); }
    LargeBufferHeap(const LargeBufferHeap&) = delete;
    LargeBufferHeap& operator=(const LargeBufferHeap&) = delete;

    // Hands the heap's free memory back to the system now.
    static void trim();
};

} // namespace quillmorph
