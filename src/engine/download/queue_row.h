#pragma once

#include <cstdint>
#include <string>

#include "engine/surface/queue_list.h"

namespace kestrine {

class Project;

// Reports download n to the queue list: under way, or ended with its target
// file; an end state also gets its log line. A
// failure's reason, when known, follows "download failed" in the log and
// goes to the row beside its "Failure".
// `retries`: how many times an ended download was tried again.
void UpdateQueueRow(Project& project, int taskNumber, std::int64_t received, std::int64_t total,
                    TransferState state, const std::u16string& text, double elapsedSeconds,
                    const std::u16string& reason = {}, int retries = 0);

}  // namespace kestrine
