#pragma once

#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

// Keeps one current copy at work: older copies are asked to quit at launch, and a copy whose
// executable was replaced on disk passes new requests to a fresh copy of the new executable.
namespace quillmorph::StaleBuild {

// What identifies one executable file: its inode and modification time.
struct Identity {
    std::uint64_t fileNumber = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const Identity&) const = default;
};

// Nothing when the file's attributes cannot be read.
[[nodiscard]] std::optional<Identity> identity(const std::filesystem::path& file);

// The running executable's path, even after the file was replaced or removed.
[[nodiscard]] std::filesystem::path executable();

// Whether the executable now differs from what it was at the first call (then never stale).
// Unreadable attributes, then or now, answer false.
[[nodiscard]] bool isStale();

// Starts the executable's path with --new-instance and `urls`, then calls `terminate` 0.4 s later
// on the main thread; a child that fails to start loses the request but this copy quits all the same.
void handOver(const QStringList& urls, std::function<void()> terminate);

// Asks every other running copy to quit, logging each.
void closeOtherCopies();

} // namespace quillmorph::StaleBuild
