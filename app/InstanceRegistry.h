#pragma once

#include <QList>
#include <QString>

namespace quillmorph::InstanceRegistry {

// The runtime folder, where every running instance keeps its socket, "<pid>.socket". Empty when
// the folder is refused: the application then runs without hand-over.
[[nodiscard]] QString directory();
// Empty without a folder.
[[nodiscard]] QString socketPath(qint64 pid);

// The process ids of the running instances other than this process, the most recently started
// first. Sockets left behind by processes that no longer exist are removed on the way.
[[nodiscard]] QList<qint64> others();

} // namespace quillmorph::InstanceRegistry
