#include "archive/wacz_package.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "encoding/digest.h"
#include "kestrine_version.h"
#include "runtime/unique_fd.h"

namespace kestrine {

namespace {

struct FileFacts {
  std::string sha256;
  std::uint64_t bytes = 0;
};

Result<FileFacts> FactsOf(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return Error{ErrorKind::Missing, "cannot read " + path};
  Digest digest(Digest::Kind::Sha256);
  FileFacts facts;
  char piece[256 * 1024];
  ssize_t got = 0;
  while ((got = ::read(file.get(), piece, sizeof piece)) > 0) {
    digest.Add(std::string_view(piece, static_cast<std::size_t>(got)));
    facts.bytes += static_cast<std::uint64_t>(got);
  }
  if (got < 0) return Error{ErrorKind::Io, "cannot read " + path};
  facts.sha256 = digest.HexLabel();
  return facts;
}

std::string NameOnly(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Adds a file of the disk under `name`; the WARC files stored, the rest
// deflated.
Status AddFile(zip_t* zip, const std::string& path, const std::string& name, bool store) {
  zip_source_t* source = zip_source_file(zip, path.c_str(), 0, -1);
  if (source == nullptr) return Error{ErrorKind::Io, "cannot read " + path};
  const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return Error{ErrorKind::Io, std::string("cannot add ") + name + ": " + zip_strerror(zip)};
  }
  // Replay reads the WARC files at their offsets inside the package. The
  // index and the page list deflate at the fastest level: libzip's default
  // is its hardest, which took most of the package's time to save half a
  // per cent of its size.
  zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                           store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, store ? 0 : 1);
  return Ok();
}

Status AddText(zip_t* zip, const std::string& name, const std::string& text,
               std::vector<std::string>& keep) {
  keep.push_back(text);
  const std::string& kept = keep.back();
  zip_source_t* source = zip_source_buffer(zip, kept.data(), kept.size(), 0);
  if (source == nullptr || zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
    if (source != nullptr) zip_source_free(source);
    return Error{ErrorKind::Io, "cannot add " + name};
  }
  return Ok();
}

}  // namespace

Status WaczPackage::Write(const std::string& path, const Contents& contents) {
  struct Part {
    std::string file;
    std::string name;
    bool store;
  };
  std::vector<Part> parts;
  for (const std::string& warc : contents.warcFiles) {
    parts.push_back({warc, "archive/" + NameOnly(warc), true});
  }
  parts.push_back({contents.indexFile, "indexes/index.cdxj", false});
  parts.push_back({contents.pagesFile, "pages/pages.jsonl", false});

  nlohmann::ordered_json package;
  package["profile"] = "data-package";
  package["wacz_version"] = "1.1.1";
  package["title"] = contents.title;
  package["created"] = contents.created;
  package["software"] = "Kestrine/" KESTRINE_VERSION;
  if (!contents.mainPageUrl.empty()) {
    package["mainPageUrl"] = contents.mainPageUrl;
    package["mainPageDate"] = contents.mainPageDate;
  }
  package["resources"] = nlohmann::json::array();
  for (const Part& part : parts) {
    const Result<FileFacts> facts = FactsOf(part.file);
    if (!facts) return facts.error();
    package["resources"].push_back({{"name", NameOnly(part.name)},
                                    {"path", part.name},
                                    {"hash", facts->sha256},
                                    {"bytes", facts->bytes}});
  }
  const std::string packageText =
      package.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  Digest packageDigest(Digest::Kind::Sha256);
  packageDigest.Add(packageText);
  const nlohmann::ordered_json digest = {{"path", "datapackage.json"},
                                         {"hash", packageDigest.HexLabel()}};

  const std::string partial = path + ".partial";
  std::remove(partial.c_str());
  int error = 0;
  zip_t* zip = zip_open(partial.c_str(), ZIP_CREATE | ZIP_EXCL, &error);
  if (zip == nullptr) return Error{ErrorKind::Io, "cannot create " + partial};
  std::vector<std::string> texts;
  texts.reserve(2);
  Status added = Ok();
  for (const Part& part : parts) {
    if (added) added = AddFile(zip, part.file, part.name, part.store);
  }
  if (added) added = AddText(zip, "datapackage.json", packageText, texts);
  if (added) added = AddText(zip, "datapackage-digest.json", digest.dump(2), texts);
  if (!added) {
    zip_discard(zip);
    std::remove(partial.c_str());
    return added;
  }
  if (zip_close(zip) != 0) {
    const std::string why = zip_strerror(zip);
    zip_discard(zip);
    std::remove(partial.c_str());
    return Error{ErrorKind::Io, "cannot write " + path + ": " + why};
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return Error{ErrorKind::Io, "cannot write " + path};
  }
  return Ok();
}

}  // namespace kestrine
