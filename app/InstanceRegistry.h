#pragma once

#include <QList>
#include <QString>

namespace quillmorph::InstanceRegistry {

// The per-user folder where every running instance keeps its socket, "<pid>.socket":
// $XDG_RUNTIME_DIR/quillmorph, else quillmorph-<uid> in the temporary folder. Created (0700) on use.
[[nodiscard]] QString directory();
[[nodiscard]] QString socketPath(qint64 pid);

// The process ids of the running instances other than this process, the most recently started
// first. Sockets left behind by processes that no longer exist are removed on the way.
[[nodiscard]] QList<qint64> others();

} // namespace quillmorph::InstanceRegistry
