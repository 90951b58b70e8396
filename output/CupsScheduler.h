// Asks the CUPS scheduler the process prints through (the default server, or
// CUPS_SERVER) about printers and jobs, and hands print files to it. Every
// question is bounded: the connection and each answer may take at most the
// time left until the deadline given at construction, so that a slow or
// stopped scheduler makes a question fail with the reason ("CUPS at
// /run/cups/cups.sock cannot be reached") instead of holding its caller.
//
// Thread contract: one object per caller and question round; any thread
// (each object makes its own connection; libcups keeps its error state per
// thread).
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "output/CupsStateMap.h"
#include "util/Result.h"

typedef struct _http_s http_t;

namespace qb {

class CupsScheduler {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CupsScheduler(Clock::duration budget);
  ~CupsScheduler();
  CupsScheduler(const CupsScheduler&) = delete;
  CupsScheduler& operator=(const CupsScheduler&) = delete;

  // Where the scheduler is asked ("/run/cups/cups.sock", "localhost" ...).
  static std::string ServerName();

  // Every queue the scheduler has.
  Result<std::vector<CupsPrinterFacts>> Printers();
  // Every queue and the user's default destination, in one round: what the
  // printer list, the status report and the status window show.
  struct Destinations {
    std::string defaultName;  // empty when there is none
    std::vector<CupsPrinterFacts> printers;
  };
  Result<Destinations> AllDestinations();
  // One queue.
  Result<CupsPrinterFacts> Printer(const std::string& name);
  // The user's default destination (lpoptions, then the scheduler's); empty
  // when there is none.
  Result<std::string> DefaultPrinter();
  // Job `id` of the scheduler.
  Result<CupsJobFacts> Job(int id);
  // Hands the file at `path` (PDF) to queue `printer` as job `title` with the
  // `options` (name, value); the job id CUPS gave this submission.
  Result<int> Submit(const std::string& printer, const std::string& path,
                     const std::string& title,
                     const std::vector<std::pair<std::string, std::string>>& options);

 private:
  // The connection, made on first use within the deadline; the reason when
  // there is none.
  Result<http_t*> Connection();
  // Sets the time left for the next answer; false when none is left.
  bool ArmTimeout();
  std::string Unreachable() const;
  std::string NoAnswer(const std::string& what) const;

  const Clock::time_point m_deadline;
  http_t* m_http = nullptr;
};

}  // namespace qb
