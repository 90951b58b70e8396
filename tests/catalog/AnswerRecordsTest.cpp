#include "catalog/AnswerRecords.h"

#include <gtest/gtest.h>

#include "catalog/DocumentRecords.h"
#include "catalog/RecordReader.h"
#include "catalog/TableImporter.h"

namespace qb {
namespace {

constexpr FieldKind N = FieldKind::kNumber;
constexpr FieldKind T = FieldKind::kText;

const CatalogueTable kTable{"t", "", "", {{"id", N}, {"name", T}, {"note", T}}};

using Records = std::vector<std::vector<std::string>>;

// Every record of `source` as the reader sees it; nullopt when one cannot be
// read.
std::optional<Records> ReadAll(RecordSource& source) {
  RecordReader reader(kTable);
  Records records;
  while (true) {
    const std::optional<const std::vector<std::string_view>*> values = source.Next(reader);
    if (!values) {
      return std::nullopt;
    }
    if (*values == nullptr) {
      return records;
    }
    std::vector<std::string> record;
    for (const std::string_view value : **values) {
      // A missing field (no data) and an empty one are told apart.
      record.push_back(value.data() == nullptr ? "<missing>" : std::string(value));
    }
    records.push_back(record);
  }
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Answers read record by record give what the whole document gives; answers
// of any other shape, well-formed or not, are left to the document.
TEST(AnswerRecords, ReadsWhatTheDocumentReadsOrLeavesTheAnswerToIt) {
  struct Row {
    const char* name;
    std::string answer;
    bool streamed;
  };
  const Row rows[] = {
      {"plain records",
       kDeclaration + "\n<t>\n  <r><id>1</id><name>a</name></r>\n  <r><id>2</id></r>\n</t>\n", true},
      {"plain records with blanks and empty fields",
       kDeclaration + "<t><r ><id >1</id ><name> \t\n </name><note/></r><r/><r></r>" +
           "<r>\n<note></note> <other>x</other><note>y</note><id> 2 </id></r></t>",
       true},
      {"no records", kDeclaration + "<t></t>", true},
      {"root attributes", kDeclaration + "<t count=\"2\" x='>'><r><id>1</id></r></t>", true},
      {"escapes and line ends",
       kDeclaration + "<t><r><name>a&amp;b&#x41;&bogus;&lt;</name><note>x\r\ny\rz</note></r></t>",
       true},
      {"CDATA and comments in a record",
       kDeclaration +
           "<t><r><name><![CDATA[<b>&amp;</b>]]></name><!-- <id>9</id> --><id>1<!--c-->2</id></r></t>",
       true},
      {"nested elements in a field",
       kDeclaration + "<t><r><name>a<b>b<c>c</c></b>d</name><note/></r></t>", true},
      {"attributes with > and / in quotes",
       kDeclaration + "<t><r a=\"x>y\" b='/>'><id k = \"1\">7</id></r><r/></t>", true},
      {"text between fields and Japanese",
       kDeclaration + "<t><r>text<name>\xE5\xAE\x9B</name>more<id> 3 </id></r></t>", true},
      {"first of repeated fields", kDeclaration + "<t><r><id>1</id><id>2</id></r></t>", true},
      {"no declaration", "<t><r><id>1</id></r></t>", false},
      {"declaration not first", " " + kDeclaration + "<t><r/></t>", false},
      {"a byte order mark", "\xEF\xBB\xBF" + kDeclaration + "<t><r/></t>", false},
      {"a document type", kDeclaration + "<!DOCTYPE t><t><r/></t>", false},
      {"a comment between records", kDeclaration + "<t><r/><!-- c --><r/></t>", false},
      {"text between records", kDeclaration + "<t>x<r/>y<r><id>1</id></r></t>", false},
      {"CDATA between records", kDeclaration + "<t><r/><![CDATA[x]]></t>", false},
      {"a comment after the root", kDeclaration + "<t><r/></t><!-- c -->", false},
      {"a second root", kDeclaration + "<t><r/></t><u/>", false},
      {"an empty root", kDeclaration + "<t/>", false},
      {"a processing instruction in a record", kDeclaration + "<t><r><?p x?></r></t>", false},
      {"a prefixed name", kDeclaration + "<t><r><a:id>1</a:id></r></t>", false},
      {"a zero byte", kDeclaration + std::string("<t><r><id>1\0</id></r></t>", 24), false},
      {"< in an attribute", kDeclaration + "<t><r a=\"<\"/></t>", false},
      {"a comment that does not end", kDeclaration + "<t><r><!--></r></t>", false},
      {"a CDATA section that does not end", kDeclaration + "<t><r><![CDATA[]></r></t>", false},
      {"mismatched end tag", kDeclaration + "<t><r><id>1</name></r></t>", false},
      {"unclosed record", kDeclaration + "<t><r><id>1</id></t>", false},
      {"unclosed root", kDeclaration + "<t><r/>", false},
      {"attribute without value", kDeclaration + "<t><r a/></t>", false},
      {"attributes not apart", kDeclaration + "<t><r a=\"1\"b=\"2\"/></t>", false},
      {"bad declaration", "<?xml version=1.0?><t><r/></t>", false},
      {"not XML", "<html>502 Bad Gateway</html>", false},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<AnswerRecords> streamed = AnswerRecords::Scan(row.answer);
    ASSERT_EQ(streamed.has_value(), row.streamed);
    if (!streamed) {
      continue;
    }
    Result<pugi::xml_document> document = ReadAnswer(row.answer);
    ASSERT_TRUE(document) << document.Error();
    const pugi::xml_node root = AnswerRoot(*document);
    EXPECT_STREQ(streamed->Root().name(), root.name());
    DocumentRecords whole(root);
    EXPECT_EQ(streamed->Count(), whole.Count());
    const std::optional<Records> expected = ReadAll(whole);
    const std::optional<Records> read = ReadAll(*streamed);
    ASSERT_TRUE(expected && read);
    EXPECT_EQ(*read, *expected);
  }
}

}  // namespace
}  // namespace qb
