#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "TempDir.h"
#include "context/CAppData.h"
#include "context/SiteDirectory.h"
#include "output/PrintHistory.h"
#include "output/PrinterDirectory.h"
#include "output/RememberedPrinters.h"
#include "shell/StatusWindow.h"

namespace qb {
namespace {

struct FakePrinters : PrinterDirectory {
  Result<std::vector<PrinterStatus>> Printers() const override {
    if (!failure.empty()) {
      return Failure{failure};
    }
    return printers;
  }
  std::vector<PrinterStatus> printers;
  std::string failure;
};

struct FakeRemembered : RememberedPrinters {
  std::vector<RememberedPrinter> List() const override { return remembered; }
  Result<> Forget(const std::string& sheet) override {
    forgotten.push_back(sheet);
    return {};
  }
  std::vector<RememberedPrinter> remembered;
  std::vector<std::string> forgotten;
};

struct FakeSites : SiteDirectory {
  std::vector<SiteEntry> Sites() const override { return sites; }
  Result<> Remove(const std::string& origin) override {
    calls.push_back("remove " + origin);
    return {};
  }
  Result<> Switch(const std::string& origin, bool allowed) override {
    calls.push_back((allowed ? "allow " : "deny ") + origin);
    return Failure{"the file is read-only"};
  }
  std::vector<SiteEntry> sites;
  std::vector<std::string> calls;
};

struct FakeHistory : PrintHistory {
  std::vector<PrintRecord> Latest() const override { return records; }
  std::vector<PrintRecord> records;
};

QTreeWidget* Table(QWidget& window, const QString& name) {
  for (QTreeWidget* table : window.findChildren<QTreeWidget*>()) {
    if (table->accessibleName() == name) {
      return table;
    }
  }
  return nullptr;
}

QPushButton* Button(QWidget& window, const QString& text) {
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->text() == text) {
      return button;
    }
  }
  return nullptr;
}

QStringList Rows(QTreeWidget* table) {
  QStringList rows;
  for (int i = 0; table != nullptr && i < table->topLevelItemCount(); ++i) {
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column) {
      cells << table->topLevelItem(i)->text(column);
    }
    rows << cells.join('|');
  }
  return rows;
}

class StatusWindowTest : public ::testing::Test {
 protected:
  qbtest::TempDir m_home;
  qbtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
  qbtest::ScopedEnv m_state{"XDG_STATE_HOME", m_home.Path() + "/state"};
  qbtest::ScopedEnv m_data{"XDG_DATA_HOME", m_home.Path() + "/data"};
};

TEST_F(StatusWindowTest, ShowsItsSourcesAndChangesThemOnlyThroughThem) {
  CAppData app;
  app.SetListening({ListeningPlace::Way::kBound, 3210, {"127.0.0.1", "::1"}, {}});
  FakePrinters printers;
  printers.printers = {{"Office", true, PrinterStatus::State::kStopped, "paused", false},
                       {"Labels", false, PrinterStatus::State::kIdle, "", true}};
  FakeRemembered remembered;
  remembered.remembered = {{"100x50mm", "Labels"}};
  FakeSites sites;
  const std::string user = "/home/me/.config/Tavrim/Quillbox.conf";
  sites.sites = {{"https://mine.example", true, SiteSource::kUserFile, user},
                 {"https://asked.example", false, SiteSource::kAnswer, user},
                 {"https://admin.example", false, SiteSource::kSystemFile,
                  "/etc/xdg/Tavrim/Quillbox.conf"}};
  FakeHistory history;
  history.records = {{"7", "100 × 50 mm", 2, "finished", "10:00:00"}};
  int updates = 0;
  StatusSources sources;
  sources.appData = &app;
  sources.printers = &printers;
  sources.remembered = &remembered;
  sources.sites = &sites;
  sources.prints = &history;
  sources.started = std::chrono::steady_clock::now();
  sources.updateNow = [&] { ++updates; };
  StatusWindow window(std::move(sources));
  window.Refresh();

  EXPECT_EQ(window.windowTitle(), "Quillbox label server");
  EXPECT_EQ(Rows(Table(window, "Printers")),
            QStringList({"Office (default)|stopped, refusing jobs|paused", "Labels|idle|none"}));
  EXPECT_EQ(Rows(Table(window, "Remembered printers")), QStringList({"100x50mm|Labels"}));
  EXPECT_EQ(Rows(Table(window, "Sites")),
            QStringList({"https://mine.example|allowed|your settings "
                         "(/home/me/.config/Tavrim/Quillbox.conf)",
                         "https://asked.example|denied|answer to the question "
                         "(/home/me/.config/Tavrim/Quillbox.conf)",
                         "https://admin.example|denied|system settings, read-only "
                         "(/etc/xdg/Tavrim/Quillbox.conf)"}));
  EXPECT_EQ(Rows(Table(window, "Recent prints")),
            QStringList({"10:00:00|7|100 × 50 mm|2|finished"}));
  const QStringList labels = [&] {
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>()) {
      texts << label->text();
    }
    return texts;
  }();
  EXPECT_TRUE(labels.contains("127.0.0.1 and ::1 port 3210"));
  EXPECT_TRUE(labels.contains("none yet"));       // no catalogue version
  EXPECT_TRUE(labels.contains("none recorded"));  // no update run

  // A system entry cannot be selected; the user's own can be removed.
  QTreeWidget* siteTable = Table(window, "Sites");
  QPushButton* remove = Button(window, "Remove site");
  ASSERT_NE(remove, nullptr);
  siteTable->setCurrentItem(siteTable->topLevelItem(2));
  EXPECT_FALSE(remove->isEnabled());
  siteTable->setCurrentItem(siteTable->topLevelItem(0));
  ASSERT_TRUE(remove->isEnabled());
  remove->click();
  EXPECT_EQ(sites.calls, std::vector<std::string>({"remove https://mine.example"}));

  QTreeWidget* rememberedTable = Table(window, "Remembered printers");
  rememberedTable->setCurrentItem(rememberedTable->topLevelItem(0));
  Button(window, "Forget printer")->click();
  EXPECT_EQ(remembered.forgotten, std::vector<std::string>({"100x50mm"}));

  Button(window, "Update now")->click();
  EXPECT_EQ(updates, 1);

  // A print system that cannot be asked is said so, with its reason.
  printers.failure = "the print scheduler (CUPS at /run/cups/cups.sock) cannot be reached";
  window.Refresh();
  EXPECT_EQ(Rows(Table(window, "Printers")),
            QStringList({"the printers cannot be read||the print scheduler (CUPS at "
                         "/run/cups/cups.sock) cannot be reached"}));
}

}  // namespace
}  // namespace qb
