// The trigram index over the five product columns a SEARCH keyword is looked
// for in (goods, searchSelNo, searchNo, goodsPartsNo, goodsDisplayLabel).
//
// It only narrows the rows the keyword condition is evaluated on: a search
// keeps its LIKE condition unchanged and adds "the row is among the index's
// candidates" in front of it, so the answer is the same with or without the
// index. The candidates are every row where one of the columns contains each
// literal run of three or more characters of the keyword, letters folded to
// one case (the index folds more than LIKE does, which admits more rows, never
// fewer). A keyword with no such run, or one that is not valid UTF-8 or holds
// a zero byte, gets no filter and is answered by the scan.
//
// The index lives in the catalogue file beside the product table and is kept
// by triggers on that table, so every write (an import's included) changes it
// in the same transaction. It is created and filled, in one transaction, where
// it is missing.
//
// Thread contract: stateless; each call works on the connection it is given,
// on that connection's thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/CatalogueDb.h"

namespace qb {

class ReadSession;

inline constexpr std::string_view kSearchIndexTable = "paper_infos_search";

// Creates the index and its triggers and fills it from the product table,
// unless all of them exist. False when that failed (logged); the catalogue is
// then left as it was.
bool EnsureSearchIndex(CatalogueDb& db);

// Inside a write transaction on `db`, before `records` product records are
// written: when that many rows would cost more to index one by one than
// building the index once, takes the triggers away (true); the caller then
// calls ResumeSearchIndex in the same transaction.
bool SuspendSearchIndex(CatalogueDb& db, size_t records);
// Puts the triggers back and builds the index from the products.
bool ResumeSearchIndex(CatalogueDb& db);

// True when the index and every trigger that keeps it exist on `db`'s file.
bool SearchIndexReady(ReadSession& session);

// The index's match expression admitting every row whose columns contain
// `keyword` as LIKE '%keyword%' compares; nullopt when the keyword cannot be
// filtered.
std::optional<std::string> SearchIndexFilter(std::string_view keyword);

// When the index is present but damaged or not holding one entry per product:
// builds it again from the product table (logged). True when it was rebuilt.
bool RepairSearchIndex(CatalogueDb& db);

}  // namespace qb
