#include "output/CupsJobs.h"

#include <cups/cups.h>

namespace qb {

int FindCupsJob(const std::string& printer, const std::string& title) {
  if (printer.empty()) {
    return 0;
  }
  cups_job_t* jobs = nullptr;
  const int count =
      cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printer.c_str(), 1, CUPS_WHICHJOBS_ALL);
  int found = 0;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].title != nullptr && title == jobs[i].title && jobs[i].id > found) {
      found = jobs[i].id;
    }
  }
  cupsFreeJobs(count, jobs);
  return found;
}

}  // namespace qb
