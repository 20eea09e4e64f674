#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <tl/expected.hpp>

namespace quillmorph {

// A temporary file beside its destination that removes itself unless committed. The temporary
// name keeps the destination's extension (so that ffmpeg infers the format), is hidden, and fits
// wherever the destination's name does. A created temporary stays locked while its owner lives;
// making an output file removes those beside it whose owner no longer exists (killed, crashed).
// Commit moves it into place without ever replacing anything (renameat2 RENAME_NOREPLACE); when
// the destination was taken meanwhile, the next free name of the same family is used.
class OutputFile {
  public:
    // Reserves a unique temporary name beside `destination`; `create` also creates the file empty
    // (for writers of our own, or a child process told to overwrite it), otherwise the path is
    // left free for a child process to create; such a name is never taken for abandoned.
    // Fails (nothing left behind) when the folder is missing, not a folder or not writable.
    enum class Creation { create, reserveName };
    [[nodiscard]] static tl::expected<OutputFile, std::error_code> make(std::filesystem::path destination,
                                                                        Creation creation = Creation::create);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    [[nodiscard]] const std::filesystem::path& temporaryPath() const { return m_temporary; }
    [[nodiscard]] const std::filesystem::path& destination() const { return m_destination; }

    // Replaces the temporary file's contents with `bytes`.
    [[nodiscard]] std::error_code write(std::span<const std::uint8_t> bytes);
    // Flushes the file to disk and moves it into place; returns where it landed: the destination,
    // or FileNaming::destination(landed-so-far, suffix, extension) when something took the name in
    // the meantime. Never replaces an existing file. On failure the temporary file stays owned.
    [[nodiscard]] tl::expected<std::filesystem::path, std::error_code> commit(std::string_view suffix,
                                                                              std::string_view extension);

  private:
    OutputFile(std::filesystem::path destination, std::filesystem::path temporary, int descriptor);
    void discard();
    void release();

    std::filesystem::path m_destination;
    std::filesystem::path m_temporary; // empty once committed or moved from
    int m_descriptor = -1;             // holds the created temporary's lock; -1 for a reserved name
};

// "photo-converted.webp: Permission denied": the system's text for a failed write of `destination`.
[[nodiscard]] std::string describeWriteFailure(const std::filesystem::path& destination,
                                               std::error_code error);

// Writes `bytes` through an OutputFile to FileNaming::destination(source, suffix, extension), or
// to the next free name of that family when it is taken meanwhile. Returns where they landed, or
// the describeWriteFailure text with nothing left behind.
[[nodiscard]] tl::expected<std::filesystem::path, std::string>
writeBeside(const std::filesystem::path& source, std::string_view suffix, std::string_view extension,
            std::span<const std::uint8_t> bytes);

} // namespace quillmorph
