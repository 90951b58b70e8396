// The user's decisions about web sites, kept in the [Server] group of the
// user's configuration file: allowedOrigins and deniedOrigins list origins,
// answeredOrigins names those of them that are answers to the question the
// server asked (the rest were written by hand), and askForNewSites=false
// turns the question off. Every change to these keys goes through here, so
// that the prompt, the command line and the status window write them alike.
//
// Remembered denials are bounded: past kMaxRememberedDenials answers on the
// denied list, the oldest answers are dropped (entries written by hand are
// never dropped).
//
// Thread contract: stateless; any thread and any process. A change reads,
// edits and replaces the user's file while it holds an exclusive lock on the
// file's folder, so that changes of several threads or processes never lose
// one another.
#pragma once

#include <cstddef>
#include <string>

#include "util/Result.h"

namespace qb {

inline constexpr size_t kMaxRememberedDenials = 100;

class SiteList {
 public:
  // Remembers the user's answer to the question about `origin` (compared
  // form): it goes on the allowed or the denied list, off the other one, and
  // is marked as an answer.
  static Result<> Remember(const std::string& origin, bool allowed);
  // Sets askForNewSites in the user's file.
  static Result<> SetAsking(bool asks);
};

}  // namespace qb
