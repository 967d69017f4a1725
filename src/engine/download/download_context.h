#pragma once

#include "engine/download/download_host.h"
#include "engine/download/download_report.h"
#include "engine/run/run_settings.h"

namespace kestrine {

class AddressQueue;
class RunArchive;
class IPageRenderer;
class ConfinedFolder;
class IStatusMonitor;
class ProjectJournal;
class TransferEngine;
struct RunTally;

// Everything one download of a run works with, named: the queue its entry
// belongs to, the copy's folder and journal, its reports, the run's counts,
// settings and transfers, the user's requests, and the project it asks to
// queue what it finds.
struct DownloadContext {
  AddressQueue& queue;
  const ConfinedFolder& files;
  ProjectJournal& journal;
  DownloadReport& report;
  RunTally& tally;
  const RunSettings& settings;
  TransferEngine& transfers;
  IStatusMonitor& monitor;
  IDownloadHost& host;
  // Whether this run brings a copy up to date.
  bool updating = false;
  // The web archive the run keeps beside the copy, if any.
  RunArchive* archive = nullptr;
  // The browser pages are rendered in, if the front end gave one.
  IPageRenderer* renderer = nullptr;
};

}  // namespace kestrine
