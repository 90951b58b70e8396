// The import of one catalogue server answer into its table: the answer is an
// XML document whose root element (the second top-level node, after the XML
// declaration) names the table and whose every child is one record. The
// records come from a RecordSource (read one by one from the answer's bytes
// where it has the usual shape, else from the parsed document); a
// RecordReader reads each into field values and a RecordStore inserts or
// updates its row.
//
// One answer is stored on one connection inside one transaction: an answer
// that is interrupted (stop flag, process end, a database error) stores
// nothing.
//
// Thread contract: importers hold no state beyond their table, which outlives
// them; any thread may import, each call on its own connection.
#pragma once

#include <pugixml.hpp>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogueTable.h"
#include "catalog/RecordSource.h"
#include "util/Result.h"

namespace qb {

class CatalogueDb;

// Parses an answer; the document owns the text of every node. Text that is
// an element's first content is the element's own value rather than a node
// of its own (child_value and text() read it). Fails, saying why (not
// logged), when it is not well-formed.
Result<pugi::xml_document> ReadAnswer(std::string_view answer);
// As ReadAnswer; nullopt, with the reason logged, when it is not well-formed.
std::optional<pugi::xml_document> ParseAnswer(std::string_view answer);
// The root element of a parsed answer: its second top-level node, or an empty
// node when there is none.
pugi::xml_node AnswerRoot(const pugi::xml_document& document);

class TableImporter {
 public:
  // Field values of one record, in field order (views into the document).
  using RecordHook = std::function<void(const std::vector<std::string_view>& values)>;

  // `table` must be one with import fields.
  explicit TableImporter(const CatalogueTable& table) : m_table(table) {}
  virtual ~TableImporter() = default;

  // Stores every record of `answer`; an answer that does not parse or has no
  // root element is skipped. False when the answer was not stored.
  bool ImportXml(std::string_view answer, const std::atomic<bool>* stop = nullptr) const;
  // The same for an answer parsed already; `hook` runs after every record,
  // stored or skipped.
  bool ImportRoot(const pugi::xml_node& root, const RecordHook& hook = {},
                  const std::atomic<bool>* stop = nullptr) const;
  // The same for the records of `source`. When a record cannot be read,
  // nothing is stored (the hook has run for the records before it).
  bool ImportRecords(RecordSource& source, const RecordHook& hook = {},
                     const std::atomic<bool>* stop = nullptr) const;

  const CatalogueTable& Table() const { return m_table; }

 private:
  // Stores the records of `root` inside the open transaction: the number
  // stored, or nullopt when the answer must not be committed.
  std::optional<int> StoreRecords(CatalogueDb& db, RecordSource& source,
                                  const RecordHook& hook, const std::atomic<bool>* stop) const;

  const CatalogueTable& m_table;
};

}  // namespace qb
