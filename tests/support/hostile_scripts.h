#pragma once

#include <string>

namespace kestrine::testing {

// Small files a hostile site serves to make the readers of scripts, JSON
// and search indexes spend time or memory: each repeats what one of them
// looks for, `bytes` long or about.
struct HostileScripts {
  // `.u=function(e){}` again and again: a runtime's name function whose
  // `return` never comes.
  static std::string RepeatedRuntime(std::size_t bytes) {
    return Repeated("n.u=function(e){};", bytes);
  }
  // A search index name whose string never ends (every quote escaped).
  static std::string UnendingIndexNames(std::size_t bytes) {
    return "x=" + Repeated("\\\"search-index{dir}.json", bytes);
  }
  // Name functions, each to be paired with every chunk the script loads.
  static std::string RuntimesAndChunkIds(std::size_t bytes) {
    std::string script;
    for (int i = 0; script.size() < bytes / 2; ++i) {
      script += "n.u=e=>\"js/\"+e+\"." + std::to_string(i) + ".js\";";
    }
    for (int i = 0; script.size() < bytes; ++i) script += "n.e(\"" + std::to_string(i) + "\");";
    return script;
  }
  // One name function whose chunk map holds every id there is.
  static std::string RuntimeWithHugeMap(std::size_t bytes) {
    std::string script = "n.u=e=>\"js/\"+({";
    for (int i = 0; script.size() < bytes; ++i) {
      script += std::to_string(i) + ":\"c" + std::to_string(i) + "\",";
    }
    return script + "})[e]+\".js\"";
  }
  // Name functions whose chunk map never closes: each map reads on into
  // the next function.
  static std::string UnclosedRuntimeMaps(std::size_t bytes) {
    return Repeated(".u=e=>{\"a\":'", bytes);
  }
  // The same, each map's strings holding the next function, so the first
  // map reads to the end.
  static std::string RuntimesInsideAMap(std::size_t bytes) {
    return ".u=e=>({" + Repeated("a:\".u=e=>({\",", bytes) + "})[e]";
  }
  // The same Pagefind bundle named over and over.
  static std::string PagefindBundles(std::size_t bytes) {
    return Repeated("p(\"/pagefind/\");", bytes);
  }
  // A minified script of distinct fetches.
  static std::string Fetches(std::size_t bytes) {
    std::string script;
    script.reserve(bytes + 64);
    for (int i = 0; script.size() < bytes; ++i) {
      script += "fetch(\"/api/" + std::to_string(i) + ".json\");";
    }
    return script;
  }
  // VitePress's hashmap.json of `pages` pages.
  static std::string HashMap(int pages) {
    std::string json = "{";
    for (int i = 0; i < pages; ++i) {
      if (i > 0) json += ',';
      json += "\"guide_p" + std::to_string(i) + ".md\":\"H" + std::to_string(i) + "\"";
    }
    return json + "}";
  }

 private:
  static std::string Repeated(const std::string& piece, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes) text += piece;
    return text;
  }
};

}  // namespace kestrine::testing
