#pragma once

#include <sys/prctl.h>
#include <unistd.h>

namespace quillmorph::testing {

// For its lifetime the process (and every child it starts) acts as the unprivileged user
// "nobody" when it runs as root, so that unreadable files and unwritable folders are what they
// are for everybody else. Does nothing for other users.
class WithoutRoot {
  public:
    WithoutRoot() : m_dropped(geteuid() == 0) {
        if (m_dropped && (setegid(nobody) != 0 || seteuid(nobody) != 0))
            m_dropped = false;
    }
    ~WithoutRoot() {
        if (!m_dropped)
            return;
        [[maybe_unused]] int restored = seteuid(0) + setegid(0);
        // Changing the effective user made /proc/self root-only; the sanitizers read it at exit.
        prctl(PR_SET_DUMPABLE, 1);
    }
    WithoutRoot(const WithoutRoot&) = delete;
    WithoutRoot& operator=(const WithoutRoot&) = delete;

  private:
    static constexpr uid_t nobody = 65534;
    bool m_dropped;
};

} // namespace quillmorph::testing
