#include "presentation/run_progress.h"

#include <cstdio>

#include "engine/project.h"
#include "runtime/string_utility.h"

namespace kestrine {

std::string HumanBytes(long long bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", bytes);
  } else if (bytes < 1024ll * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  } else if (bytes < 1024ll * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", bytes / (1024.0 * 1024 * 1024));
  }
  return text;
}

namespace {

std::string Elapsed(double seconds) {
  const long long whole = static_cast<long long>(seconds);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

std::string Count(int count, const char* one, const char* many) {
  return StringUtility::WithThousands(count) + " " + (count == 1 ? one : many);
}

}  // namespace

RunProgress::RunProgress(Project& project) : project_(project) { Restart(); }

void RunProgress::Restart() {
  start_ = last_ = Clock::now();
  lastBytes_ = project_.Progress().bytes;
}

RunProgress::Snapshot RunProgress::Take() {
  const ProjectProgress progress = project_.Progress();
  Snapshot snapshot;
  snapshot.succeeded = progress.succeeded;
  snapshot.failed = progress.failed;
  snapshot.bytes = progress.bytes;
  snapshot.known = progress.known;
  snapshot.waiting = progress.waiting;
  const Clock::time_point now = Clock::now();
  snapshot.seconds = std::chrono::duration<double>(now - start_).count();
  const double interval = std::chrono::duration<double>(now - last_).count();
  snapshot.bytesPerSecond =
      interval > 0 ? static_cast<long long>((snapshot.bytes - lastBytes_) / interval) : 0;
  last_ = now;
  lastBytes_ = snapshot.bytes;
  return snapshot;
}

std::string RunProgress::Line(const Snapshot& snapshot) {
  return StringUtility::WithThousands(snapshot.succeeded) + " finished, " +
         StringUtility::WithThousands(snapshot.failed) + " failed, " +
         StringUtility::WithThousands(snapshot.waiting) + " waiting \u00b7 " +
         HumanBytes(snapshot.bytes) + " \u00b7 " + HumanBytes(snapshot.bytesPerSecond) +
         "/s \u00b7 " + Elapsed(snapshot.seconds);
}

std::string EndSummary(const RunSummary& summary) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f s", summary.seconds);
  std::string text = Count(summary.succeeded, "file", "files") + " stored, " +
                     StringUtility::WithThousands(summary.failed) + " failed; " +
                     HumanBytes(summary.bytes) + " in " + time;
  if (!summary.commonFailures.empty()) {
    text += "\nMost common failures:";
    for (const auto& [reason, count] : summary.commonFailures) {
      text += "\n  " + StringUtility::Printable(reason) + " (" + std::to_string(count) + ")";
    }
  }
  if (summary.unwritable > 0) {
    text += "\n" + Count(summary.unwritable, "file", "files") + " could not be written";
  }
  if (summary.rendered > 0) {
    text += "\n" + Count(summary.rendered, "page", "pages") + " rendered in a browser";
  }
  if (summary.retriedFiles > 0) {
    text += "\nRetried " + Count(summary.retriedFiles, "file", "files") + ", " +
            Count(summary.retries, "time", "times") + " in all";
  }
  if (summary.refused > 0) {
    text +=
        "\n" + Count(summary.refused, "address", "addresses") + " refused by the limits and rules";
  }
  if (!summary.archivePath.empty()) {
    text += "\nWeb archive: " + StringUtility::Printable(summary.archivePath) + " (" +
            HumanBytes(summary.archiveBytes) + ")";
  }
  return text;
}

}  // namespace kestrine
