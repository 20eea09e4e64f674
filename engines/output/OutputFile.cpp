#include "OutputFile.h"

#include "FileNaming.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

std::error_code lastError() {
    return {errno, std::system_category()};
}

// Marks our temporaries: ".qm-" for files we create and hold locked, ".qr-" for names reserved for
// a child process to create, which no lock of ours can cover.
constexpr std::string_view createdMarker = ".qm-";
constexpr std::string_view reservedMarker = ".qr-";
constexpr std::size_t randomLength = 6;
constexpr std::string_view randomAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// The longest name the folder's filesystem takes; 255 bytes where it cannot say.
std::size_t nameLimit(const fs::path& directory) {
    const long limit = pathconf(directory.c_str(), _PC_NAME_MAX);
    return limit > 0 ? std::size_t(limit) : 255;
}

// ".photo-converted.qm-k3Xz9a.webp" beside "photo-converted.webp": hidden from the file manager,
// the extension kept last so that a child process can infer the format from it. Where that is
// longer than the filesystem takes, the stem gives way (at a character boundary), so the
// temporary fits wherever the destination does; the random part keeps it unique.
fs::path temporaryName(const fs::path& destination, std::string_view marker) {
    thread_local std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, randomAlphabet.size() - 1);
    const fs::path directory = destination.parent_path();
    const std::string extension = destination.extension().string();
    std::string stem = destination.stem().string();
    const std::size_t fixed = 1 + marker.size() + randomLength + extension.size();
    const std::size_t limit = nameLimit(directory.empty() ? "." : directory);
    if (fixed + stem.size() > limit) {
        std::size_t keep = limit > fixed ? limit - fixed : 0;
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem.resize(keep);
    }
    std::string name = "." + stem;
    name += marker;
    for (std::size_t index = 0; index < randomLength; ++index)
        name += randomAlphabet[pick(generator)];
    name += extension;
    return directory / name;
}

// Whether `name` is one of our locked temporaries: "." … ".qm-" six letters or digits, then nothing
// or one extension.
bool isCreatedTemporary(std::string_view name) {
    const std::size_t marker = name.rfind(createdMarker);
    if (!name.starts_with('.') || marker == std::string_view::npos || marker == 0)
        return false;
    std::string_view rest = name.substr(marker + createdMarker.size());
    if (rest.size() < randomLength ||
        rest.substr(0, randomLength).find_first_not_of(randomAlphabet) != std::string_view::npos)
        return false;
    rest.remove_prefix(randomLength);
    return rest.empty() || (rest.front() == '.' && rest.find('.', 1) == std::string_view::npos);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The created temporaries of this process, by device and inode. Over NFS a lock does not exclude
// its own process, so a sweep skips these; one mutex orders sweeps against new temporaries.
class OwnTemporaries {
  public:
    // Records the file open as `descriptor` unless `file` no longer leads to it (a sweep took it
    // between its creation and its lock).
    [[nodiscard]] bool adopt(int descriptor, const fs::path& file) {
        const std::lock_guard lock(m_mutex);
        struct stat opened {};
        struct stat named {};
        if (fstat(descriptor, &opened) != 0 || lstat(file.c_str(), &named) != 0 || !sameFile(opened, named))
            return false;
        m_files.insert({opened.st_dev, opened.st_ino});
        return true;
    }

    void release(int descriptor) {
        const std::lock_guard lock(m_mutex);
        if (struct stat opened{}; fstat(descriptor, &opened) == 0)
            m_files.erase({opened.st_dev, opened.st_ino});
    }

    // Removes `name` in `folder` when nobody holds it: its owner was killed or crashed. Locked, it
    // is removed only if the name still leads to it.
    void removeIfAbandoned(int folder, const char* name) {
        const int descriptor =
            openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (descriptor < 0)
            return;
        const std::lock_guard lock(m_mutex);
        struct stat opened {};
        struct stat named {};
        if (fstat(descriptor, &opened) == 0 && S_ISREG(opened.st_mode) &&
            !m_files.contains({opened.st_dev, opened.st_ino}) && flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(opened, named))
            unlinkat(folder, name, 0);
        close(descriptor);
    }

  private:
    std::mutex m_mutex;
    std::set<std::pair<dev_t, ino_t>> m_files;
};

OwnTemporaries& ownTemporaries() {
    static OwnTemporaries temporaries;
    return temporaries;
}

// Our temporaries in `directory` whose owning process no longer exists; a live owner holds its
// temporary locked. Best effort: whatever cannot be read or removed stays.
void removeAbandoned(const fs::path& directory) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(directory.empty() ? "." : directory.c_str()),
                                                     closedir);
    if (!folder)
        return;
    while (const dirent* entry = readdir(folder.get())) {
        if (isCreatedTemporary(entry->d_name))
            ownTemporaries().removeIfAbandoned(dirfd(folder.get()), entry->d_name);
    }
}

// Creates `file` exclusively, mode 0644 less the umask, and locks it for as long as the returned
// descriptor stays open. A reserved name is created and removed again: that proves the folder
// writable and the name free, so errors surface before any work. Fails with file_exists also when
// a sweep took the new file before it was locked.
tl::expected<int, std::error_code> claim(const fs::path& file, OutputFile::Creation creation) {
    const int descriptor = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0)
        return tl::unexpected(lastError());
    if (creation == OutputFile::Creation::reserveName) {
        close(descriptor);
        if (unlink(file.c_str()) != 0)
            return tl::unexpected(lastError());
        return -1;
    }
    // Without lock support (some network filesystems) no sweep can lock the file either.
    const bool taken = flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (taken || !ownTemporaries().adopt(descriptor, file)) {
        close(descriptor);
        return tl::unexpected(std::make_error_code(std::errc::file_exists));
    }
    return descriptor;
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
    removeAbandoned(destination.parent_path());
    const std::string_view marker = creation == Creation::create ? createdMarker : reservedMarker;
    // Six random characters from 62 make a collision rare; retrying covers the rest.
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        fs::path temporary = temporaryName(destination, marker);
        const auto claimed = claim(temporary, creation);
        if (claimed)
            return OutputFile(std::move(destination), std::move(temporary), *claimed);
        if (claimed.error() != std::errc::file_exists)
            return tl::unexpected(claimed.error());
    }
    return tl::unexpected(std::make_error_code(std::errc::file_exists));
}

OutputFile::OutputFile(fs::path destination, fs::path temporary, int descriptor)
    : m_destination(std::move(destination)), m_temporary(std::move(temporary)), m_descriptor(descriptor) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_destination(std::move(other.m_destination)), m_temporary(std::exchange(other.m_temporary, {})),
      m_descriptor(std::exchange(other.m_descriptor, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        m_destination = std::move(other.m_destination);
        m_temporary = std::exchange(other.m_temporary, {});
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (!m_temporary.empty())
        unlink(m_temporary.c_str());
    release();
}

void OutputFile::release() {
    if (m_descriptor < 0)
        return;
    ownTemporaries().release(m_descriptor);
    close(m_descriptor);
    m_descriptor = -1;
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
    release();
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
