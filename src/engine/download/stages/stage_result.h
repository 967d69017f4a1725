#pragma once

namespace kestrine {

// Whether a download goes on to its next stage, or has ended (its outcome
// then says how).
enum class StageResult { Continue, End };

}  // namespace kestrine
