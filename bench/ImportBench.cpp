// Import speed of a paper_infos getUpdate answer: 50,000 product records
// imported through the real importer (parse, bind, insert, picture sink),
// against the same rows inserted by one plain prepared statement in one
// transaction, in the same run on the same kind of fresh catalogue. Prints
// records/s of both and their ratio.
//
// The plain insert and the first importer run go into a catalogue without
// the product search index. Then the cost of keeping the index: the importer
// with the index kept by its triggers (as the server imports), against the
// importer without it followed by one rebuild of the index.
//
//   import_bench [records]
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/AnswerRecords.h"
#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueSchema.h"
#include "catalog/PaperInfosImport.h"
#include "catalog/SearchIndex.h"
#include "catalog/TableImporter.h"
#include "util/HeapPolicy.h"
#include "util/UserFolders.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Field {
  std::string name;
  bool number;
};

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = [] {
    std::vector<Field> list;
    qb::PaperInfosImport importer;
    for (const qb::ImportField& field : importer.Table().fields) {
      list.push_back({std::string(field.name), field.kind == qb::FieldKind::kNumber});
    }
    return list;
  }();
  return fields;
}

// The value of `field` in record `i`, like the sample catalogue's products.
std::string Value(const Field& field, int i) {
  if (field.name == "id" || field.name == "paperInfoId") return std::to_string(i);
  if (field.name.starts_with("paperOnePiece")) return std::to_string(10 + i % 80) + ".5";
  if (field.number) return std::to_string(i % 7);
  if (field.name == "create_at") return "2019-03-04 05:06:07";
  if (field.name == "update_at") return "2023-03-04 05:06:07";
  if (field.name.starts_with("goodsThumb") || field.name.starts_with("goodsPict")) {
    return "/paper/" + field.name + "/ZZ-" + std::to_string(i) + ".png";
  }
  return "\xE5\xAE\x9B\xE5\x90\x8D " + field.name + " " + std::to_string(i);
}

std::string Answer(int records) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<paper_infos>\n";
  for (int i = 1; i <= records; ++i) {
    xml += "  <row>";
    for (const Field& field : Fields()) {
      xml += "<" + field.name + ">" + Value(field, i) + "</" + field.name + ">";
    }
    xml += "</row>\n";
  }
  return xml + "</paper_infos>\n";
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A fresh catalogue, with or without the product search index.
void FreshCatalogue(bool searchIndex) {
  std::filesystem::remove_all(qb::GetDataFolder());
  qb::CatalogueSchema definitions;
  definitions.CreateTables();
  if (!searchIndex) {
    std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
    sqlite3_exec(db->Handle(),
                 "DROP TRIGGER paper_infos_search_insert; DROP TRIGGER paper_infos_search_update;"
                 "DROP TRIGGER paper_infos_search_delete; DROP TABLE paper_infos_search",
                 nullptr, nullptr, nullptr);
  }
}

// Seconds the real importer takes for `answer`.
double Import(const std::string& answer, size_t* pictures) {
  const Clock::time_point start = Clock::now();
  qb::PaperInfosImport().ImportXml(answer, [&](std::string_view) { ++*pictures; });
  return Seconds(start);
}

// Seconds creating and filling the search index takes on a catalogue without
// it (one transaction).
double BuildSearchIndex() {
  std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
  const Clock::time_point start = Clock::now();
  qb::EnsureSearchIndex(*db);
  return Seconds(start);
}

// The same rows through one prepared INSERT in one transaction.
double PlainInsert(int records) {
  std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
  std::string columns;
  std::string parameters;
  for (const Field& field : Fields()) {
    columns += (columns.empty() ? "" : ", ") + field.name;
    parameters += parameters.empty() ? "?" : ", ?";
  }
  std::vector<std::vector<std::string>> rows(static_cast<size_t>(records));
  for (int i = 1; i <= records; ++i) {
    for (const Field& field : Fields()) {
      rows[static_cast<size_t>(i - 1)].push_back(Value(field, i));
    }
  }
  const Clock::time_point start = Clock::now();
  sqlite3_exec(db->Handle(), "BEGIN", nullptr, nullptr, nullptr);
  qb::Statement insert =
      db->Prepare("INSERT INTO paper_infos (" + columns + ") VALUES (" + parameters + ")");
  for (const std::vector<std::string>& row : rows) {
    sqlite3_reset(insert.Get());
    for (size_t c = 0; c < row.size(); ++c) {
      const int index = static_cast<int>(c + 1);
      if (Fields()[c].number) {
        if (row[c].find('.') != std::string::npos) {
          sqlite3_bind_double(insert.Get(), index, std::stod(row[c]));
        } else {
          sqlite3_bind_int64(insert.Get(), index, std::stoll(row[c]));
        }
      } else {
        sqlite3_bind_text(insert.Get(), index, row[c].data(), static_cast<int>(row[c].size()),
                          SQLITE_STATIC);
      }
    }
    insert.Step();
  }
  insert = qb::Statement();
  sqlite3_exec(db->Handle(), "COMMIT", nullptr, nullptr, nullptr);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  qb::UseServerHeapPolicy();
  const int records = argc > 1 ? std::atoi(argv[1]) : 50000;
  std::string home = (std::filesystem::temp_directory_path() / "import-bench-XXXXXX").string();
  if (::mkdtemp(home.data()) == nullptr) {
    return 1;
  }
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);

  const std::string answer = Answer(records);
  size_t pictures = 0;
  FreshCatalogue(false);
  const double imported = Import(answer, &pictures);
  FreshCatalogue(false);
  const double plain = PlainInsert(records);
  // The search index kept by its triggers during the import, against one
  // rebuild after an import without it.
  FreshCatalogue(true);
  size_t ignored = 0;
  const double indexed = Import(answer, &ignored);
  FreshCatalogue(false);
  const double unindexed = Import(answer, &ignored);
  const double rebuilt = BuildSearchIndex();
  std::filesystem::remove_all(home);
  // What the importer spends reading the answer: checking its shape, then
  // reading its records one by one into field values; and, for comparison, parsing it whole.
  Clock::time_point start = Clock::now();
  std::optional<qb::AnswerRecords> streamed = qb::AnswerRecords::Scan(answer);
  const double scanning = Seconds(start);
  start = Clock::now();
  size_t read = 0;
  qb::RecordReader reader(qb::PaperInfosImport().Table());
  while (streamed) {
    const std::optional<const std::vector<std::string_view>*> values = streamed->Next(reader);
    if (!values || *values == nullptr) {
      break;
    }
    ++read;
  }
  const double reading = Seconds(start);
  start = Clock::now();
  const bool parsed = qb::ParseAnswer(answer).has_value();
  const double parsing = Seconds(start);

  std::printf("paper_infos answer: %d records, %.1f MB, %zu pictures queued\n", records,
              static_cast<double>(answer.size()) / 1e6, pictures);
  std::printf("importer:     %8.3f s  %10.0f records/s\n", imported, records / imported);
  std::printf("plain insert: %8.3f s  %10.0f records/s\n", plain, records / plain);
  std::printf("importer / plain: %.2f\n", plain / imported);
  std::printf("of which checking the answer's shape: %.3f s%s, reading its %zu records: %.3f s\n",
              scanning, streamed ? "" : " (not the usual shape)", read, reading);
  std::printf("(parsing it as one document instead: %.3f s%s)\n", parsing,
              parsed ? "" : " (failed)");
  std::printf("importer, search index kept:     %8.3f s  %10.0f records/s (/ plain: %.2f)\n",
              indexed, records / indexed, plain / indexed);
  std::printf("importer, then one index build:  %8.3f s + %.3f s (/ plain: %.2f)\n", unindexed,
              rebuilt, plain / (unindexed + rebuilt));
  std::printf("keeping the index: %.3f s; building it once: %.3f s\n", indexed - unindexed,
              rebuilt);
  return 0;
}
