#pragma once

namespace kestrine {

class HttpClient;
class Project;
struct QueueEntry;

// Fetches what a stored script, JSON file or search index of the site names
// (see NamedFiles): the files a copy needs for its scripts to run, which no
// page links. The file itself stays as received. Nothing for other types,
// or files from other hosts; at most FoundNames::kMaxNames from one file,
// and nothing more once a limit of the run is reached.
void TakeFilesNamedIn(Project& project, const QueueEntry& entry, HttpClient& client);

}  // namespace kestrine
