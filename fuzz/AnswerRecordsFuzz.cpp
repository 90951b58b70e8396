// Catalogue server answers read record by record (AnswerRecords) against the
// same answers parsed whole (DocumentRecords), through the same record
// reader: the path every import of a usual-shaped answer takes.
//
// Properties: an answer the record reader accepts is well-formed and parses
// whole; its root element is the parsed document's, attributes included; it
// has as many records, and every record gives the same field values, byte
// for byte, as the parsed document's. The table is the one the root names,
// else the product table, so that any input exercises the field matching.

#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "catalog/AnswerRecords.h"
#include "catalog/CatalogueTable.h"
#include "catalog/DocumentRecords.h"
#include "catalog/RecordReader.h"
#include "catalog/TableImporter.h"

namespace {

std::vector<std::string> Copy(const std::vector<std::string_view>& values) {
  return {values.begin(), values.end()};
}

std::string Attributes(const pugi::xml_node& node) {
  std::string text;
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    text.append(attribute.name()).push_back('\0');
    text.append(attribute.value()).push_back('\0');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer = qbfuzz::Bytes(data, size);
  std::optional<qb::AnswerRecords> streamed = qb::AnswerRecords::Scan(answer);
  if (!streamed) {
    return 0;
  }
  qb::Result<pugi::xml_document> document = qb::ReadAnswer(answer);
  FUZZ_CHECK(document.has_value());
  const pugi::xml_node root = qb::AnswerRoot(*document);
  FUZZ_CHECK(root);
  FUZZ_CHECK(std::string_view(streamed->Root().name()) == root.name());
  FUZZ_CHECK(Attributes(streamed->Root()) == Attributes(root));

  const qb::CatalogueTable* named = qb::FindCatalogueTable(root.name());
  const qb::CatalogueTable* table =
      named != nullptr && named->Imported() ? named : qb::FindCatalogueTable("paper_infos");
  FUZZ_CHECK(table != nullptr);
  qb::DocumentRecords whole(root);
  FUZZ_CHECK(streamed->Count() == whole.Count());
  qb::RecordReader streamedReader(*table);
  qb::RecordReader wholeReader(*table);
  for (;;) {
    const auto fromStream = streamed->Next(streamedReader);
    const auto fromWhole = whole.Next(wholeReader);
    FUZZ_CHECK(fromStream.has_value() == fromWhole.has_value());
    if (!fromStream) {
      break;
    }
    FUZZ_CHECK((*fromStream == nullptr) == (*fromWhole == nullptr));
    if (*fromStream == nullptr) {
      break;
    }
    FUZZ_CHECK(Copy(**fromStream) == Copy(**fromWhole));
  }
  return 0;
}
