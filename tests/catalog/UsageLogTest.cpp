#include <atomic>
#include <thread>
#include <vector>

#include "catalog/CatalogueFixture.h"
#include "catalog/LogsTable.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "ProductPaths.h"
#include "util/MacAddress.h"

namespace qb {
namespace {

class UsageLogTest : public qbtest::CatalogueFixture {
 protected:
  // Every row of `sql`'s result, columns joined by "|", NULL shown as "~".
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    Statement statement = db->Prepare(sql);
    while (statement.NextRow()) {
      std::string row;
      for (int i = 0; i < statement.ColumnCount(); ++i) {
        row.append(i ? "|" : "").append(statement.Text(i).value_or("~"));
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(UsageLogTest, InsertLogRows) {
  const std::string mac = GetMacAddress();
  struct Row {
    const char* name;
    std::string argument;
    std::vector<std::string> stored;  // mac replaced by "MAC"
  };
  const Row rows[] = {
      {"product and time", "p=SEL-1&t=2024-01-02 03:04:05",
       {"MAC|3|||SEL-1|2024-01-02 03:04:05|2024-01-02 03:04:05"}},
      {"keys are not looked at, later pieces ignored", "x=SEL-1&y=T&z=9", {"MAC|3|||SEL-1|T|T"}},
      {"empty first value", "p=&t=T", {"MAC|3||||T|T"}},
      {"quotes stored as sent", "p=O'Neil');DROP TABLE logs;--&t=it's",
       {"MAC|3|||O'Neil');DROP TABLE logs;--|it's|it's"}},
      {"a value ends at the next =", "p=a=b&t=T", {"MAC|3|||a|T|T"}},
      {"Japanese text", "p=ラベル&t=T", {"MAC|3|||ラベル|T|T"}},
      {"one piece", "p=SEL-1", {}},
      {"second piece without =", "p=SEL-1&t", {}},
      {"first piece without =", "SEL-1&t=T", {}},
      {"empty text", "", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DELETE FROM logs");
    EXPECT_EQ(qbtest::LogUsageAt(row.argument), !row.stored.empty());
    std::vector<std::string> expected;
    for (const std::string& stored : row.stored) {
      expected.push_back(mac + stored.substr(3));
    }
    EXPECT_EQ(Rows("SELECT mac_address, event_type, event_contents1, event_contents2, "
                   "event_contents3, create_at, update_at FROM logs"),
              expected);
  }
}

TEST_F(UsageLogTest, InsertHistoryRows) {
  struct Row {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> stored;
  };
  const Row rows[] = {
      {"one picture", {"t=/th/a.png&i=/im/a.png"}, {"0|0|/th/a.png|/im/a.png"}},
      {"a repeated picture keeps its first image",
       {"t=/th/a.png&i=/im/a.png", "t=/th/a.png&i=/im/b.png"},
       {"0|0|/th/a.png|/im/a.png"}},
      {"quotes stored as sent", {"t=it's&i=x'y"}, {"0|0|it's|x'y"}},
      {"missing value writes nothing", {"t=/th/a.png", "t=/th/a.png&i"}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Exec("DELETE FROM pict_generic_history_infos");
    for (const std::string& argument : row.arguments) {
      qbtest::RecordPictureAt(argument);
    }
    EXPECT_EQ(Rows("SELECT id, topLevelId, thumbUrl, imageUrl FROM pict_generic_history_infos"),
              row.stored);
  }
}

TEST_F(UsageLogTest, ConcurrentWritesAreAllKeptBesideReaders) {
  // As many writers as the server has workers, with readers holding the
  // database meanwhile: every write that reports success is stored, and none
  // reports failure.
  constexpr int kWriters = 64;
  constexpr int kWrites = 10;
  std::atomic<int> failed{0};
  std::atomic<bool> writing{true};
  std::vector<std::thread> threads;
  for (int r = 0; r < 8; ++r) {
    threads.emplace_back([&] {
      while (writing) {
        std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
        Statement statement = db->Prepare("SELECT * FROM logs");
        while (statement.NextRow()) {
        }
      }
    });
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kWrites; ++i) {
        if (!Logs().InsertLog("W" + std::to_string(w), std::to_string(i))) {
          ++failed;
        }
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  writing = false;
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(Rows("SELECT count(*) FROM logs"),
            std::vector<std::string>{std::to_string(kWriters * kWrites)});
}

}  // namespace
}  // namespace qb
