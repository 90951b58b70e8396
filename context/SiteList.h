// The web sites (origins) the user and the administrator allowed or denied,
// and every change to them. They are kept in the [Server] group of the
// configuration files: allowedOrigins and deniedOrigins list origins,
// answeredOrigins names those of the user's entries that are answers to the
// question the server asked (the rest were written by hand), and
// askForNewSites=false turns the question off.
//
// The lists of the user's file and of the system-wide files apply together:
// an origin the user's file lists takes its standing from there, any other
// from the first system-wide file that lists it. Within one file a denial
// wins over an allowance. Changes are made to the user's file only; the
// system-wide files stay the administrator's.
//
// Remembered denials are bounded: past kMaxRememberedDenials answers on the
// user's denied list, the oldest answers are dropped (entries written by
// hand are never dropped).
//
// The prompt, the command line (--sites, --forget-site) and the status
// window all list and change the sites through this class, and the listener
// builds its origin policy from List().
//
// Thread contract: stateless; any thread and any process. A change reads,
// edits and replaces the user's file while it holds an exclusive lock on the
// file's folder, so that changes of several threads or processes never lose
// one another.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "context/OriginPolicy.h"
#include "util/ConfigFiles.h"
#include "util/Result.h"

namespace qb {

inline constexpr size_t kMaxRememberedDenials = 100;

enum class SiteSource {
  kAnswer,      // the user's file, written as an answer to the question
  kUserFile,    // the user's file, written by hand or changed by the user
  kSystemFile,  // a system-wide file
};

struct SiteEntry {
  std::string origin;  // compared form, or "*" (any origin, allowed only)
  bool allowed = false;
  SiteSource source = SiteSource::kUserFile;
  std::string file;  // the file that lists it

  bool operator==(const SiteEntry&) const = default;
};

class SiteList {
 public:
  // The sites in effect in `files` (the user's file first, as ConfigFiles
  // reads them): the user's entries, allowed then denied, then the
  // system-wide files' entries for origins the user's file does not list.
  static std::vector<SiteEntry> List(const ConfigFiles& files);
  static std::vector<SiteEntry> List() { return List(ConfigFiles::Read()); }
  // The origin policy of `entries`, asking about new origins or not.
  static OriginPolicy Policy(const std::vector<SiteEntry>& entries, bool asks);

  // Remembers the user's answer to the question about `origin` (compared
  // form): it goes on the allowed or the denied list of the user's file, off
  // the other one, and is marked as an answer.
  static Result<> Remember(const std::string& origin, bool allowed);
  // Puts `origin` on the user's allowed or denied list, off the other one,
  // as the user's own choice.
  static Result<> Set(const std::string& origin, bool allowed);
  // Takes `origin` off the user's lists. The entry it removed; nullopt when
  // the user's file does not list it.
  static Result<std::optional<SiteEntry>> Forget(const std::string& origin);
  // Sets askForNewSites in the user's file.
  static Result<> SetAsking(bool asks);

  // How `source` is named to the user: "an answer to the question", "the
  // user's file", "the system file".
  static std::string SourceName(SiteSource source);
};

}  // namespace qb
