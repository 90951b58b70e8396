// The import of one catalogue server answer into its table: the answer is an
// XML document whose root element (the second top-level node, after the XML
// declaration) names the table and whose every child is one record. Each
// field is the text of the record's first child element of the field's name
// (empty text when there is none). A record is inserted, and when a row with
// its id exists, that row is updated instead (every imported column except
// id, create_at and the table's kept columns).
//
// Values reach SQLite as bound parameters, so text holding "'" is stored
// exactly. A number field whose text is not a numeric literal (empty, words,
// expressions) makes the record be skipped. One answer is stored on one
// connection inside one transaction: an answer that is interrupted (stop flag,
// process end, a database error) stores nothing.
//
// A table importer is a TableImporter built with its table's description.
//
// Thread contract: importers hold no state beyond their constant description;
// any thread may import, each call on its own connection.
#pragma once

#include <pugixml.hpp>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class FieldKind { kNumber, kText };

struct ImportField {
  std::string_view name;
  FieldKind kind;
};

// What differs from table to table.
struct ImportTable {
  std::string_view table;
  std::vector<ImportField> fields;  // insert order; the first is "id"
  // Columns written by the insert only (besides id and create_at).
  std::vector<std::string_view> keptOnUpdate;
  // Columns whose value is this number whatever the record holds.
  std::vector<std::pair<std::string_view, std::string_view>> fixedNumbers;
};

// Parses an answer; the document owns the text of every node.
bool ParseAnswer(std::string_view answer, pugi::xml_document* document);
// The root element of a parsed answer: its second top-level node, or an empty
// node when there is none.
pugi::xml_node AnswerRoot(const pugi::xml_document& document);

class TableImporter {
 public:
  // Field values of one record, in field order (views into the document).
  using RecordHook = std::function<void(const std::vector<std::string_view>& values)>;

  explicit TableImporter(ImportTable table);
  virtual ~TableImporter() = default;

  // Stores every record of `answer`; an answer that does not parse or has no
  // root element is skipped. False when the answer was not stored.
  bool ImportXml(std::string_view answer, const std::atomic<int>* stop = nullptr) const;
  // The same for an answer parsed already; `hook` runs after every record,
  // stored or skipped.
  bool ImportRoot(const pugi::xml_node& root, const RecordHook& hook = {},
                  const std::atomic<int>* stop = nullptr) const;

  const ImportTable& Table() const { return m_table; }
  // Index of `name` in the field list, or -1.
  int FieldIndex(std::string_view name) const;

 private:
  ImportTable m_table;
  std::string m_insertSql;
  std::string m_updateSql;
  std::vector<int> m_updateFields;  // field indexes bound by the update, in order
  std::vector<bool> m_fixed;        // per field: written as its fixed number
};

}  // namespace qb
