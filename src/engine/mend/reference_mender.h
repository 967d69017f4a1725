#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal/document_records.h"

namespace kestrine {

class AddressQueue;
class ConfinedFolder;
class ProjectJournal;
struct QueueEntry;

// Mends the references of a copy when a run ends (finished or cancelled):
// a reference to an entry that is not in the copy (it failed, or was never
// fetched, and no earlier run stored it) is written as its web address, and
// one that an earlier run wrote so is written local again once its file is
// there; a reference written to a file whose answer renamed it is written to
// its new name. The copy is never left less whole than it was: a file kept from an
// earlier run keeps its links. Runs when every worker has ended; the queue
// and documents are read without locks, the documents in shares on several
// threads.
class ReferenceMender {
 public:
  ReferenceMender(AddressQueue& queue, DocumentRecords& documents, const ConfinedFolder& siteFiles,
                  ProjectJournal& journal);
  void Mend();

 private:
  struct Outcome {
    std::int32_t document = -1;
    bool changed = false;
    std::vector<std::int32_t> toWeb;
    std::vector<std::int32_t> toCopy;
  };
  bool HasFile(const QueueEntry& entry) const;
  std::vector<bool> TargetsNotInTheCopy() const;
  std::vector<std::int32_t> StoredAgain(std::int32_t document,
                                        const std::vector<bool>& notInCopy) const;
  Outcome MendDocument(std::int32_t number, DocumentRecords::Kind kind,
                       const std::u16string& charset, const std::vector<bool>& notInCopy,
                       const std::vector<std::int32_t>& storedAgain) const;
  void Record(const Outcome& outcome);

  AddressQueue& queue_;
  DocumentRecords& documents_;
  const ConfinedFolder& siteFiles_;
  ProjectJournal& journal_;
};

}  // namespace kestrine
