#include "catalog/RecordPipe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/CatalogueTable.h"

namespace qb {
namespace {

// Records whose values name their record and field ("r7f2"), empty for every
// third field; record `failAt` (counting from 0) cannot be read.
class CountedRecords : public RecordSource {
 public:
  CountedRecords(size_t count, size_t fields, size_t failAt)
      : m_count(count), m_failAt(failAt), m_values(fields), m_texts(fields) {}
  size_t Count() const override { return m_count; }
  std::optional<const std::vector<std::string_view>*> Next(RecordReader&) override {
    if (m_next == m_failAt) {
      return std::nullopt;
    }
    if (m_next == m_count) {
      return nullptr;
    }
    for (size_t f = 0; f < m_values.size(); ++f) {
      m_texts[f] = f % 3 == 2 ? "" : "r" + std::to_string(m_next) + "f" + std::to_string(f);
      m_values[f] = m_texts[f];
    }
    ++m_next;
    return &m_values;
  }

 private:
  size_t m_count;
  size_t m_failAt;
  size_t m_next = 0;
  std::vector<std::string_view> m_values;
  std::vector<std::string> m_texts;
};

const CatalogueTable& Products() {
  const CatalogueTable* table = FindCatalogueTable("paper_infos");
  EXPECT_NE(table, nullptr);
  return *table;
}

// Every record comes out in order with its values, across batch boundaries,
// and the end or the unreadable record is reported where the source has it.
TEST(RecordPipe, HandsOutTheSourcesRecordsInOrderAndItsEndOrFailure) {
  const size_t fields = Products().fields.size();
  struct Case {
    size_t count;
    size_t failAt;  // count + 1: none
  };
  for (const Case& one : {Case{0, 1}, Case{1, 2}, Case{256, 257}, Case{257, 258},
                          Case{3000, 3001}, Case{3000, 0}, Case{3000, 1500}}) {
    CountedRecords source(one.count, fields, one.failAt);
    RecordPipe pipe(source, Products());
    size_t read = 0;
    for (;;) {
      const std::optional<const std::vector<std::string_view>*> values = pipe.Next();
      if (!values) {
        EXPECT_EQ(read, one.failAt) << one.count;
        break;
      }
      if (*values == nullptr) {
        EXPECT_EQ(read, one.count);
        EXPECT_GT(one.failAt, one.count);
        break;
      }
      ASSERT_EQ((*values)->size(), fields);
      for (size_t f = 0; f < fields; ++f) {
        const std::string expected =
            f % 3 == 2 ? "" : "r" + std::to_string(read) + "f" + std::to_string(f);
        ASSERT_EQ((**values)[f], expected) << read << " " << f;
      }
      ++read;
    }
  }
}

// A pipe left before its end stops its reading thread (an import that fails
// or is stopped part of the way).
TEST(RecordPipe, LeftHalfReadItStopsReading) {
  CountedRecords source(100000, Products().fields.size(), 100001);
  {
    RecordPipe pipe(source, Products());
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(pipe.Next().value_or(nullptr) != nullptr);
    }
  }
  SUCCEED();  // the destructor returned: the reader was joined
}

}  // namespace
}  // namespace qb
