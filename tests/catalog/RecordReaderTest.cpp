#include "catalog/RecordReader.h"

#include <gtest/gtest.h>

#include "catalog/TableImporter.h"

namespace qb {
namespace {

constexpr FieldKind N = FieldKind::kNumber;
constexpr FieldKind T = FieldKind::kText;

const CatalogueTable kTable{"t", "", "", {{"id", N}, {"name", T}, {"note", T}}};

using Values = std::vector<std::string>;

// The values the reader gives for the first child of an answer's root.
Values ReadFirst(RecordReader& reader, const std::string& records) {
  std::optional<pugi::xml_document> document = ParseAnswer("<?xml version=\"1.0\"?><t>" + records + "</t>");
  if (!document) {
    ADD_FAILURE() << "not well-formed: " << records;
    return {};
  }
  const std::vector<std::string_view>& values = reader.Read(AnswerRoot(*document).first_child());
  return Values(values.begin(), values.end());
}

TEST(RecordReader, ReadsEachFieldFromItsFirstElement) {
  struct Row {
    const char* name;
    std::string record;
    Values values;
  };
  const Row rows[] = {
      {"fields in order", "<r><id>1</id><name>a</name><note>n</note></r>", {"1", "a", "n"}},
      {"fields out of order", "<r><note>n</note><id>1</id><name>a</name></r>", {"1", "a", "n"}},
      {"missing fields are empty", "<r><name>a</name></r>", {"", "a", ""}},
      {"an empty record", "<r/>", {"", "", ""}},
      {"the first of two elements counts",
       "<r><id>1</id><id>2</id><name>a</name><name>b</name></r>", {"1", "a", ""}},
      {"unknown elements are passed over", "<r><extra>x</extra><id>3</id><other/></r>",
       {"3", "", ""}},
      {"names differ in case", "<r><ID>1</ID><Name>a</Name></r>", {"", "", ""}},
      {"nested markup gives all its text", "<r><name>a<b>c<i>d</i></b>e</name></r>",
       {"", "acde", ""}},
      {"an element holding only elements", "<r><name><b/></name></r>", {"", "", ""}},
      {"escapes and CDATA", "<r><name>O&apos;Neil &amp; <![CDATA[<x>]]></name></r>",
       {"", "O'Neil & <x>", ""}},
      {"loose text in the record", "<r>1<id>2</id>loose</r>", {"2", "", ""}},
      {"a record that is only text", "just text", {"", "", ""}},
      {"a field nested one level too deep", "<r><wrap><id>1</id></wrap></r>", {"", "", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RecordReader reader(kTable);
    EXPECT_EQ(ReadFirst(reader, row.record), row.values);
  }
}

TEST(RecordReader, NothingOfARecordCarriesIntoTheNext) {
  RecordReader reader(kTable);
  EXPECT_EQ(ReadFirst(reader, "<r><id>1</id><name>a<b>b</b></name><note>n</note></r>"),
            (Values{"1", "ab", "n"}));
  EXPECT_EQ(ReadFirst(reader, "<r><note>m</note></r>"), (Values{"", "", "m"}));
}

}  // namespace
}  // namespace qb
