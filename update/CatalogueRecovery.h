// Rebuilding a damaged catalogue: the damaged file is moved aside, the tables
// are created afresh and the catalogue starts again from version 0, so the
// next version check asks for an update and the next update fills it.
//
// Thread contract: runs on a connection thread while no update writes the
// catalogue (inside the update, or through the queue's RunBetweenUpdates).
#pragma once

#include "catalog/CatalogueSchema.h"
#include "update/DownloadQueue.h"

namespace qb {

// When a statement has reported damage and the file is confirmed damaged:
// moves it aside, logs where it went as an error, recreates the tables and
// restarts the version files. True when it rebuilt the catalogue.
bool RecoverDamagedCatalogue(CatalogueSchema& definitions);
// The same from a request that is not the update: waits for a running update
// first, and only when a statement has reported damage.
void RecoverDamagedCatalogueBetweenUpdates(CatalogueSchema& definitions, DownloadQueue& queue);

}  // namespace qb
