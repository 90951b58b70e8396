// Looks up print jobs in the CUPS scheduler the process talks to (the default
// server, or CUPS_SERVER), so that the log can name the job a print became.
//
// Thread contract: stateless; any thread (each call makes its own request).
#pragma once

#include <string>

namespace qb {

// The highest job id among this user's jobs on `printer` whose title is
// `title`; 0 when there is none or the scheduler cannot be asked.
int FindCupsJob(const std::string& printer, const std::string& title);

}  // namespace qb
