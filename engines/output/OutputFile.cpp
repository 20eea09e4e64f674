#include "OutputFile.h"

#include "FileNaming.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

std::error_code lastError() {
    return {errno, std::system_category()};
}

// ".photo-converted.qm-k3Xz9a.webp" beside "photo-converted.webp": hidden from the file manager,
// the extension kept last so that a child process can infer the format from it.
fs::path temporaryName(const fs::path& destination) {
    static constexpr std::string_view alphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string name = "." + destination.stem().string() + ".qm-";
    for (int index = 0; index < 6; ++index)
        name += alphabet[pick(generator)];
    name += destination.extension().string();
    return destination.parent_path() / name;
}

// Creates `file` exclusively, mode 0644 less the umask. A reserved name is created and removed
// again: that proves the folder writable and the name free, so errors surface before any work.
std::error_code claim(const fs::path& file, OutputFile::Creation creation) {
    const int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0)
        return lastError();
    close(descriptor);
    if (creation == OutputFile::Creation::reserveName && unlink(file.c_str()) != 0)
        return lastError();
    return {};
}

std::error_code writeAll(int descriptor, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastError();
        bytes = bytes.subspan(std::size_t(written));
    }
    return {};
}

// The contents reach the disk before the name appears, so that a crash right after a batch never
// leaves an empty or truncated file under an output's name. It costs about a millisecond for a
// few megabytes, little beside the encoding that produced them.
std::error_code flushToDisk(const fs::path& file) {
    const int descriptor = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        return lastError();
    std::error_code error = fsync(descriptor) == 0 ? std::error_code{} : lastError();
    close(descriptor);
    return error;
}

bool lacksHardLinks(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Moves `from` to `to` unless something exists at `to` (then file_exists).
std::error_code moveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return lastError();
    // Network filesystems may lack RENAME_NOREPLACE; a hard link refuses an existing name as well.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return {};
    }
    if (!lacksHardLinks(errno))
        return lastError();
    // Neither (FAT, some SMB shares): only a writer racing within this instant could be replaced.
    if (struct stat status{}; lstat(to.c_str(), &status) == 0)
        return std::make_error_code(std::errc::file_exists);
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::error_code{} : lastError();
}

} // namespace

tl::expected<OutputFile, std::error_code> OutputFile::make(fs::path destination, Creation creation) {
    // Six random characters from 62 make a collision rare; retrying covers the rest.
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        fs::path temporary = temporaryName(destination);
        const std::error_code error = claim(temporary, creation);
        if (!error)
            return OutputFile(std::move(destination), std::move(temporary));
        if (error != std::errc::file_exists)
            return tl::unexpected(error);
    }
    return tl::unexpected(std::make_error_code(std::errc::file_exists));
}

OutputFile::OutputFile(fs::path destination, fs::path temporary)
    : m_destination(std::move(destination)), m_temporary(std::move(temporary)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_destination(std::move(other.m_destination)), m_temporary(std::exchange(other.m_temporary, {})) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (!m_temporary.empty())
            unlink(m_temporary.c_str());
        m_destination = std::move(other.m_destination);
        m_temporary = std::exchange(other.m_temporary, {});
    }
    return *this;
}

OutputFile::~OutputFile() {
    if (!m_temporary.empty())
        unlink(m_temporary.c_str());
}

std::error_code OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (m_temporary.empty())
        return std::make_error_code(std::errc::bad_file_descriptor);
    const int descriptor =
        open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0)
        return lastError();
    std::error_code error = writeAll(descriptor, bytes);
    // Some filesystems (NFS) report a failed write only when the file is closed.
    if (close(descriptor) != 0 && !error)
        error = lastError();
    return error;
}

tl::expected<fs::path, std::error_code> OutputFile::commit(std::string_view suffix,
                                                           std::string_view extension) {
    if (m_temporary.empty())
        return tl::unexpected(std::make_error_code(std::errc::bad_file_descriptor));
    if (const std::error_code error = flushToDisk(m_temporary))
        return tl::unexpected(error);
    fs::path target = m_destination;
    for (;;) {
        const std::error_code error = moveWithoutReplacing(m_temporary, target);
        if (!error)
            break;
        if (error != std::errc::file_exists)
            return tl::unexpected(error);
        // Another job took the name since it was chosen: take the next free one of the family.
        target = FileNaming::destination(target, suffix, extension);
    }
    m_temporary.clear();
    m_destination = target;
    return target;
}

std::string describeWriteFailure(const fs::path& destination, std::error_code error) {
    return destination.filename().string() + ": " + error.message();
}

tl::expected<fs::path, std::string> writeBeside(const fs::path& source, std::string_view suffix,
                                                std::string_view extension,
                                                std::span<const std::uint8_t> bytes) {
    const fs::path destination = FileNaming::destination(source, suffix, extension);
    auto file = OutputFile::make(destination);
    if (!file)
        return tl::unexpected(describeWriteFailure(destination, file.error()));
    if (const std::error_code error = file->write(bytes))
        return tl::unexpected(describeWriteFailure(destination, error));
    return file->commit(suffix, extension).map_error([&](std::error_code error) {
        return describeWriteFailure(destination, error);
    });
}

} // namespace quillmorph
