#pragma once

#include <cstdint>
#include <string>

namespace kestrine {

class Project;

enum TransferState { Transferring = 1, Succeeded = 2, Failed = 3 };

// Fills the row of download n: size, speed, progress, time, number and, for
// the end states, the target file; an end state also gets its log line. A
// failure's reason, when known, follows "download failed" in the log and
// goes to the row beside its "Failure".
void UpdateQueueRow(Project& project, int taskNumber, std::int64_t received, std::int64_t total,
                    TransferState state, const std::u16string& text, double elapsedSeconds,
                    const std::u16string& reason = {});

}  // namespace kestrine
