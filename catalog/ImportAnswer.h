// The import of a catalogue server answer into the table its root element
// names, looked up in the catalogue's table list: products through
// PaperInfosImport (their picture files go to the sink), every other imported
// table through a TableImporter of its entry. An answer naming a table that is
// never filled from the server, or no table at all, is ignored.
//
// Thread contract: as the importers: any thread, each call on its own
// connection; the sink runs on the calling thread.
#pragma once

#include <pugixml.hpp>

#include <atomic>

#include "catalog/PaperInfosImport.h"

namespace qb {

// False when an answer of an imported table was not stored; true when it was
// stored or ignored.
bool ImportAnswer(const pugi::xml_node& root, const PaperInfosImport::PictureSink& pictures,
                  const std::atomic<bool>* stop);
// The same for the records of `records`, the table named by `root`'s name.
bool ImportAnswer(const pugi::xml_node& root, RecordSource& records,
                  const PaperInfosImport::PictureSink& pictures, const std::atomic<bool>* stop);

}  // namespace qb
