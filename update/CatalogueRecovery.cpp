#include "update/CatalogueRecovery.h"

#include "catalog/CatalogueDamage.h"
#include "catalog/CatalogueDb.h"
#include "update/VersionCheck.h"
#include "util/Log.h"

namespace qb {

bool RecoverDamagedCatalogue(CatalogueSchema& definitions) {
  if (!CatalogueSuspect()) {
    return false;
  }
  const std::optional<MovedCatalogue> moved = MoveDamagedCatalogueAside();
  if (!moved) {
    return false;
  }
  LogError("the catalogue " + CatalogueDb::Path() + " is damaged (" + moved->reason +
           "); moved to " + moved->aside +
           "; it is rebuilt empty and filled again by the next update");
  definitions.CreateTables();
  RestartVersionFiles();
  return true;
}

void RecoverDamagedCatalogueBetweenUpdates(CatalogueSchema& definitions, DownloadQueue& queue) {
  if (CatalogueSuspect()) {
    queue.RunBetweenUpdates([&definitions] { RecoverDamagedCatalogue(definitions); });
  }
}

}  // namespace qb
