#include "Log.h"

#include "Bundle.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <syslog.h>

namespace quillmorph::Log {
namespace {

std::mutex logMutex;
std::string identifier{Bundle::applicationIdentifier};
Identity identity = Identity::own;
bool opened = false;

void write(int priority, std::string_view category, std::string_view message) {
    std::lock_guard lock(logMutex);
    const std::string line = "[" + std::string(category) + "] " + std::string(message);
    if (identity == Identity::guest) {
        syslog(priority, "%s: %s", identifier.c_str(), line.c_str());
    } else {
        if (!opened) {
            // openlog keeps the pointer, so the identifier must outlive every later call.
            openlog(identifier.c_str(), LOG_PID, LOG_USER);
            opened = true;
        }
        syslog(priority, "%s", line.c_str());
    }
    if (const char* destination = std::getenv("QUILLMORPH_LOG"); destination && std::string_view(destination) == "stderr")
        std::fprintf(stderr, "%s: %s\n", identifier.c_str(), line.c_str());
}

} // namespace

void setIdentifier(std::string_view bundleIdentifier, Identity newIdentity) {
    std::lock_guard lock(logMutex);
    if (opened) {
        closelog();
        opened = false;
    }
    identifier = bundleIdentifier;
    identity = newIdentity;
}

void debug(std::string_view category, std::string_view message) { write(LOG_DEBUG, category, message); }

void info(std::string_view category, std::string_view message) { write(LOG_INFO, category, message); }

void error(std::string_view category, std::string_view message) { write(LOG_ERR, category, message); }

} // namespace quillmorph::Log
