#include "output/ConfiguredPrinters.h"

#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {

std::vector<RememberedPrinter> ConfiguredPrinters::List() const { return RememberedPrinterList(); }

Result<> ConfiguredPrinters::Forget(const std::string& sheet) {
  if (Result<> written = ForgetPrinter(sheet); !written) {
    return written;
  }
  LogInfo("the printer remembered for sheets of " + sheet + " is forgotten; written to " +
          GetConfigFile());
  return {};
}

}  // namespace qb
