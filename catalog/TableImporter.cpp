#include "catalog/TableImporter.h"

#include <optional>

#include "catalog/AnswerRecords.h"
#include "catalog/CatalogueDb.h"
#include "catalog/DocumentRecords.h"
#include "catalog/RecordPipe.h"
#include "catalog/RecordReader.h"
#include "catalog/RecordStore.h"
#include "catalog/SearchIndex.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr int kStopCheckInterval = 256;
constexpr size_t kReadAheadRecords = 2048;

}  // namespace

Result<pugi::xml_document> ReadAnswer(std::string_view answer) {
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(answer.data(), answer.size(), kAnswerParseOptions, pugi::encoding_utf8);
  if (!result) {
    return Failure{std::string("not well-formed XML: ") + result.description() + " at offset " +
                   std::to_string(result.offset)};
  }
  return document;
}

std::optional<pugi::xml_document> ParseAnswer(std::string_view answer) {
  Result<pugi::xml_document> document = ReadAnswer(answer);
  if (!document) {
    LogError("catalogue answer is " + document.Error());
    return std::nullopt;
  }
  return std::move(*document);
}

pugi::xml_node AnswerRoot(const pugi::xml_document& document) {
  const pugi::xml_node first = document.first_child();
  return first ? first.next_sibling() : pugi::xml_node();
}

bool TableImporter::ImportXml(std::string_view answer, const std::atomic<bool>* stop) const {
  if (std::optional<AnswerRecords> records = AnswerRecords::Scan(answer)) {
    return ImportRecords(*records, {}, stop);
  }
  std::optional<pugi::xml_document> document = ParseAnswer(answer);
  if (!document) {
    return false;
  }
  const pugi::xml_node root = AnswerRoot(*document);
  if (!root) {
    LogError("catalogue answer without a root element after the declaration");
    return false;
  }
  return ImportRoot(root, {}, stop);
}

bool TableImporter::ImportRoot(const pugi::xml_node& root, const RecordHook& hook,
                               const std::atomic<bool>* stop) const {
  DocumentRecords records(root);
  return ImportRecords(records, hook, stop);
}

bool TableImporter::ImportRecords(RecordSource& source, const RecordHook& hook,
                                  const std::atomic<bool>* stop) const {
  const std::string table(m_table.name);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    LogError("cannot open the catalogue to import " + table);
    return false;
  }
  std::optional<CatalogueDb::Transaction> transaction = db->BeginWrite();
  if (!transaction) {
    LogError("cannot start the import of " + table);
    return false;
  }
  // A large product answer is indexed for search once, at its end.
  const bool indexLater =
      m_table.name == "paper_infos" &&
      SuspendSearchIndex(*db, source.Count());
  const std::optional<int> stored = StoreRecords(*db, source, hook, stop);
  if (!stored || (indexLater && !ResumeSearchIndex(*db)) || !transaction->Commit()) {
    LogError("nothing of the " + table + " answer was stored");
    return false;
  }
  LogDebug("imported " + std::to_string(*stored) + " " + table + " records");
  return true;
}

std::optional<int> TableImporter::StoreRecords(CatalogueDb& db, RecordSource& source,
                                               const RecordHook& hook,
                                               const std::atomic<bool>* stop) const {
  const std::string table(m_table.name);
  RecordStore store(db, m_table);
  if (!store.Valid()) {
    LogError("cannot prepare the import of " + table);
    return std::nullopt;
  }
  // A large answer is read on another thread while its records are stored.
  RecordReader reader(m_table);
  std::optional<RecordPipe> pipe;
  if (source.Count() >= kReadAheadRecords) {
    pipe.emplace(source, m_table);
  }
  int records = 0;
  int stored = 0;
  while (true) {
    const std::optional<const std::vector<std::string_view>*> read =
        pipe ? pipe->Next() : source.Next(reader);
    if (!read) {
      LogError("import of " + table + " failed: record " + std::to_string(records + 1) +
               " cannot be read");
      return std::nullopt;
    }
    if (*read == nullptr) {
      break;
    }
    if (++records % kStopCheckInterval == 0 && stop != nullptr && stop->load()) {
      LogInfo("import of " + table + " interrupted by shutdown");
      return std::nullopt;
    }
    const std::vector<std::string_view>& values = **read;
    const RecordStore::Result result = store.Store(values);
    if (hook) {
      hook(values);
    }
    if (result == RecordStore::Result::kFailed) {
      LogError("import of " + table + " failed: " + sqlite3_errmsg(db.Handle()));
      return std::nullopt;
    }
    stored += result == RecordStore::Result::kStored ? 1 : 0;
  }
  return stored;
}

}  // namespace qb
