#include "engine/queue/address_queue.h"

#include <algorithm>
#include <mutex>

#include "engine/queue/recorded_local_file.h"
#include "runtime/string_utility.h"

namespace kestrine {

namespace {

// Fragments name places in a page and never reach the queue.
std::u16string_view WithoutFragment(const std::u16string& address) {
  return std::u16string_view(address).substr(0, address.find(u'#'));
}

// The part of a queued address that identifies it: no scheme.
std::u16string_view IdentityOf(std::u16string_view address) {
  return address.substr(WebSchemeLength(address));
}

constexpr std::u16string_view kDefaultDocument = u"index.html";

// A folder address and its default document are one file of the copy and,
// in practice, one page: "h", "h/" and "h/index.html" are looked up as one.
std::vector<std::u16string> DefaultDocumentAliases(std::u16string_view identity) {
  const std::size_t slash = identity.find(u'/');
  if (slash == std::u16string_view::npos) {
    return {std::u16string(identity) + u"/", std::u16string(identity) + u"/index.html"};
  }
  if (identity.back() == u'/') return {std::u16string(identity) + std::u16string(kDefaultDocument)};
  if (identity.size() > kDefaultDocument.size() &&
      identity.substr(identity.size() - kDefaultDocument.size()) == kDefaultDocument &&
      identity[identity.size() - kDefaultDocument.size() - 1] == u'/') {
    const std::u16string_view folder =
        identity.substr(0, identity.size() - kDefaultDocument.size());
    std::vector<std::u16string> aliases{std::u16string(folder)};
    if (folder.find(u'/') == folder.size() - 1)
      aliases.emplace_back(folder.substr(0, folder.size() - 1));
    return aliases;
  }
  return {};
}

}  // namespace

AddressQueue::AddressQueue()
    : known_([this](std::int32_t number) {
        return IdentityOf(entries_[static_cast<std::size_t>(number)].address);
      }),
      names_([this](std::int32_t number) -> std::u16string_view {
        return entries_[static_cast<std::size_t>(number)].localFile;
      }) {}

std::optional<std::int32_t> AddressQueue::FindKnownLocked(std::u16string_view address) const {
  const std::u16string_view identity = IdentityOf(address);
  if (const auto known = known_.Find(identity)) return known;
  if (!aliases_.empty()) {
    if (const auto alias = aliases_.find(std::u16string(identity)); alias != aliases_.end()) {
      return alias->second;
    }
  }
  for (const std::u16string& alias : DefaultDocumentAliases(identity)) {
    if (const auto known = known_.Find(alias)) return known;
  }
  return std::nullopt;
}

QueueEntry& AddressQueue::AddNewLocked(std::u16string_view address, int depth) {
  QueueEntry& entry = entries_.emplace_back();
  entry.address = texts_.Keep(address);
  entry.depth = depth;
  entry.state = EntryState::Pending;
  entry.number = nextNumber_;
  known_.Insert(IdentityOf(entry.address), entry.number);
  if (placing_) PlaceLocked(entry);
  pending_.PushBack(&entry);
  pendingSize_.store(pending_.size());
  knownCount_.store(static_cast<int>(known_.size()));
  ++nextNumber_;
  return entry;
}

void AddressQueue::PlaceLocked(QueueEntry& entry) {
  const auto rule =
      RecordedLocalFile::RuleNameOf(mode_, siteHost_, entry.address, entry.taskNumber());
  entry.localFile = texts_.Keep(names_.Choose(rule.folder, rule.name));
  names_.Register(entry.localFile, entry.number);
  if (placedHook_) placedHook_(entry);
}

// A journal's word for a local file holds when the rules could have named
// the address so and nobody else has the name; otherwise the rules name it
// now, so no record can place a file outside the site folder or on the
// engine's own files.
std::u16string AddressQueue::TrustedLocalFileLocked(const QueueEntry& entry,
                                                    const std::u16string& recorded) const {
  const auto names =
      RecordedLocalFile::NamesFor(mode_, siteHost_, entry.address, entry.taskNumber());
  if (RecordedLocalFile::CouldBeNamed(recorded, names) && names_.IsFree(recorded)) {
    return recorded;
  }
  const auto rule =
      RecordedLocalFile::RuleNameOf(mode_, siteHost_, entry.address, entry.taskNumber());
  return names_.Choose(rule.folder, rule.name);
}

std::u16string AddressQueue::Rename(QueueEntry& entry, const std::u16string& folder,
                                    const std::u16string& name) {
  const std::lock_guard lock(mutex_);
  const std::u16string_view former = entry.localFile;
  std::u16string chosen = names_.Choose(folder, name);
  entry.localFile = texts_.Keep(chosen);
  names_.Rename(former, entry.localFile, entry.number);
  renamed_.insert(entry.number);
  if (placedHook_) placedHook_(entry);
  return chosen;
}

std::optional<std::int32_t> AddressQueue::AddAlias(const QueueEntry& entry,
                                                   std::u16string_view address) {
  const std::lock_guard lock(mutex_);
  const std::u16string identity(IdentityOf(WithoutFragment(std::u16string(address))));
  if (const auto known = FindKnownLocked(identity)) return known;
  aliases_.emplace(identity, entry.number);
  return std::nullopt;
}

bool AddressQueue::WasRenamed(std::int32_t number) const { return renamed_.count(number) > 0; }

std::optional<std::int32_t> AddressQueue::KnownNumberOf(std::u16string_view address) const {
  const std::lock_guard lock(mutex_);
  const auto known = FindKnownLocked(address);
  return known;
}

void AddressQueue::Follow(QueueEntry& entry, std::int32_t same) {
  const std::lock_guard lock(mutex_);
  if (const QueueEntry* other = EntryByNumber(same); other != nullptr && other != &entry) {
    names_.AddFormerPath(std::u16string(entry.localFile), entry.number);
    entry.localFile = other->localFile;
    renamed_.insert(entry.number);
    if (placedHook_) placedHook_(entry);
  }
}

void AddressQueue::ReserveEngineFilesLocked() {
  names_.Reserve(kLogFileName);
  names_.Reserve(kJournalFileName);
}

void AddressQueue::SetPlacedHook(std::function<void(const QueueEntry&)> hook) {
  const std::lock_guard lock(mutex_);
  placedHook_ = std::move(hook);
}

void AddressQueue::ForEachEntry(const std::function<void(const QueueEntry&)>& visit) {
  const std::lock_guard lock(mutex_);
  for (const QueueEntry& entry : entries_) visit(entry);
}

void AddressQueue::Restore(DownloadMode mode, std::u16string sitePrefix, std::u16string siteHost,
                           const std::vector<RestoredEntry>& restored) {
  ClearProject();
  const std::lock_guard lock(mutex_);
  mode_ = mode;
  sitePrefix_ = std::move(sitePrefix);
  siteHost_ = std::move(siteHost);
  placing_ = true;
  ReserveEngineFilesLocked();
  nextNumber_ = 0;
  for (const RestoredEntry& from : restored) {
    // Numbers index the entries, so a gap (a torn record) keeps its place.
    while (nextNumber_ < from.number) {
      QueueEntry& gap = entries_.emplace_back();
      gap.number = nextNumber_++;
      gap.state = EntryState::Done;
    }
    QueueEntry& entry = entries_.emplace_back();
    entry.address = texts_.Keep(from.address);
    entry.depth = from.depth;
    entry.guessed = from.guessed;
    entry.number = nextNumber_++;
    entry.localFile = texts_.Keep(TrustedLocalFileLocked(entry, from.localFile));
    known_.Insert(IdentityOf(entry.address), entry.number);
    names_.Register(entry.localFile, entry.number);
    for (const std::u16string& former : from.formerLocalFiles) {
      if (RecordedLocalFile::IsSafe(former) && former != entry.localFile && names_.IsFree(former)) {
        names_.AddFormerPath(former, entry.number);
        renamed_.insert(entry.number);
      }
    }
    for (const std::u16string& alias : from.aliases) {
      aliases_.emplace(IdentityOf(alias), entry.number);
    }
    if (from.done) {
      entry.state = EntryState::Done;
      taken_.push_back(&entry);
    } else {
      pending_.PushBack(&entry);
    }
  }
  pendingSize_.store(pending_.size());
  knownCount_.store(static_cast<int>(known_.size()));
}

int AddressQueue::AddAddress(const std::u16string& rawAddress, NewProject newProject) {
  const std::u16string_view address = WithoutFragment(rawAddress);
  if (newProject == NewProject::Yes) {
    nextNumber_ = 0;
    placing_ = false;
  }
  int number = 0;
  {
    const std::lock_guard lock(mutex_);
    if (const auto known = FindKnownLocked(address)) return *known;
    number = AddNewLocked(address, 0).number;
  }
  // A new project's prefix and host are set outside the lock: no worker
  // runs before the project starts, so nothing reads them yet.
  if (newProject == NewProject::Yes) {
    sitePrefix_ = SitePrefixOf(std::u16string(address));
    siteHost_ = SiteHostOf(sitePrefix_);
  }
  return number;
}

void AddressQueue::SetAdmission(AdmissionRules* rules) {
  const std::lock_guard lock(mutex_);
  admission_ = rules;
}

FoundAddress AddressQueue::AddFound(const std::u16string& rawAddress, int depth, int namerChain,
                                    bool guessed) {
  const std::u16string_view address = WithoutFragment(rawAddress);
  const std::lock_guard lock(mutex_);
  FoundAddress found;
  if (const auto known = FindKnownLocked(address)) {
    found.number = *known;
    if (QueueEntry* entry = EntryByNumber(*known)) found.localFile = entry->localFile;
  } else if (const int chain = AdmissionRules::ChainOf(address, namerChain);
             admission_ == nullptr || admission_->Decide(std::u16string(address), depth,
                                                         pending_.size(), chain) == Refusal::None) {
    QueueEntry& entry = AddNewLocked(address, depth);
    entry.chain = static_cast<std::int16_t>(std::min(chain, 0x7fff));
    entry.guessed = guessed;
    found.number = entry.number;
    found.localFile = entry.localFile;
    found.added = true;
  }
  return found;
}

void AddressQueue::SetMode(DownloadMode mode) {
  const std::lock_guard lock(mutex_);
  mode_ = mode;
  if (!placing_) {
    placing_ = true;
    ReserveEngineFilesLocked();
    for (QueueEntry& entry : entries_) {
      if (entry.localFile.empty()) PlaceLocked(entry);
    }
  }
}

QueueEntry* AddressQueue::TakeNextPending() {
  const std::lock_guard lock(mutex_);
  QueueEntry* entry = pending_.PopFront();
  if (entry == nullptr) return nullptr;
  entry->state = EntryState::Taken;
  pendingSize_.store(pending_.size());
  taken_.push_back(entry);
  return entry;
}

void AddressQueue::ReturnToPending(QueueEntry* entry) {
  const std::lock_guard lock(mutex_);
  const auto at = std::find(taken_.rbegin(), taken_.rend(), entry);
  if (at != taken_.rend()) taken_.erase(std::next(at).base());
  entry->state = EntryState::Pending;
  pending_.PushFront(entry);
  pendingSize_.store(pending_.size());
}

void AddressQueue::ClearProject() {
  const std::lock_guard lock(mutex_);
  known_.Clear();
  aliases_.clear();
  renamed_.clear();
  names_.Clear();
  placing_ = false;
  pending_.Clear();
  taken_ = {};
  entries_ = {};
  texts_.Clear();
  pendingSize_.store(0);
  knownCount_.store(0);
}

std::size_t AddressQueue::PendingCount() const {
  const std::lock_guard lock(mutex_);
  return pending_.size();
}

std::size_t AddressQueue::TakenCount() const {
  const std::lock_guard lock(mutex_);
  return taken_.size();
}

QueueEntry* AddressQueue::EntryByNumber(std::int32_t number) {
  // Numbers are handed out in the order entries are made, from 0.
  if (number < 0 || static_cast<std::size_t>(number) >= entries_.size()) return nullptr;
  QueueEntry& entry = entries_[static_cast<std::size_t>(number)];
  return entry.number == number ? &entry : nullptr;
}

std::optional<std::int32_t> AddressQueue::HolderOf(std::u16string_view localFile) const {
  return names_.Holder(localFile);
}

}  // namespace kestrine
