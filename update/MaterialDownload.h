// One material request ("dbAccess/SOZAI_DOWNLOAD"): turns the requested kind
// (MaterialKind) into material URLs, loads them into the shared download queue
// and serves it. Kind 1 fetches the pictures of a level's material groups
// (each with its "/sozai4_S/" variant), kind 2 the "image.zip" archives of one
// material folder or of every sub-level group of a top-level group, kind 3 the
// background pictures of a level; kind 0 and any other value do nothing.
// Archives are saved below the data folder, unpacked next to themselves and
// deleted by the queue; other material URLs are fetched into memory only.
//
// Thread contract: an instance serves one request on the calling connection
// thread, which also serves the queue until its own entries are served. The
// queue is shared with update runs and other downloads: every kind that queues
// anything opens a job that forgets the URLs served for earlier requests
// (kinds 1 and 3 only once their list has arrived), so the same materials can
// be fetched again, without taking entries away from requests still running.
// Values put into list URLs and folder paths are percent-encoded.
#pragma once

#include <cstdint>
#include <string>

#include "update/DownloadQueue.h"

namespace qb {

// The kinds of material request, by their number in the request.
enum class MaterialKind : int32_t {
  kNone = 0,
  kLevelImages = 1,
  kGroupArchives = 2,
  kBackImages = 3,
};

class MaterialDownload {
 public:
  explicit MaterialDownload(MaterialKind kind = MaterialKind::kNone) : m_kind(kind) {}
  ~MaterialDownload() = default;

  // Runs the kind given at construction: kLevelImages with `value` as level,
  // kGroupArchives with `folder` and `value` as top-level group id,
  // kBackImages with `value` as level; any other kind does nothing.
  void RunMaterialRequest(DownloadQueue& queue, const std::string& folder,
                          const std::string& value) const;

  // Kind 1: the pictures of every material group (slevel) of `level`.
  void DownloadLevelImages(DownloadQueue& queue, const std::string& level) const;
  // Kind 2: the two archives of `folder`; with an empty folder, those of every
  // sub-level group of the top-level group `topLevelId` in the local catalogue.
  void DownloadGroupFolders(DownloadQueue& queue, const std::string& folder,
                            const std::string& topLevelId) const;
  // Queues the two archives of each record's "folder" in the locally built
  // sub-level list `xml` (no declaration: its first node is the root) and
  // serves the queue.
  void EnqueueFolderArchives(DownloadQueue& queue, const std::string& xml) const;
  // Kind 3: the background pictures of `level`, without small variants.
  void DownloadBackImages(DownloadQueue& queue, const std::string& level) const;

 private:
  MaterialKind m_kind;
};

// Success callback of material URLs: the fetched text is not kept.
void OnMaterialDownloaded(const std::string& url, const std::string& body, DownloadJob& job);

}  // namespace qb
