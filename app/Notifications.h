#pragma once

#include "common/Phrase.h"
#include "engines/batch/JobOutcome.h"

#include <QString>
#include <string_view>
#include <vector>

// Desktop notifications through org.freedesktop.Notifications on the session bus. Posting never
// waits: without a notification service (or a session bus) the notification is dropped silently.
namespace quillmorph::Notifications {

void notify(const QString& title, const QString& body);

// The summary of a finished batch (BatchReport::summarize), posted through notify.
void report(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase);

} // namespace quillmorph::Notifications
