#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QCoreApplication>
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
    std::unique_lock lock(mutex);
    ++asked;
    changed.notify_all();
    changed.wait(lock, [&] { return !hang; });
    if (!failure.empty()) {
      return Failure{failure};
    }
    if (numbered) {  // the answer says which question it answers
      std::vector<PrinterStatus> answer = printers;
      for (PrinterStatus& printer : answer) {
        printer.reasons = "question " + std::to_string(asked);
      }
      return answer;
    }
    return printers;
  }
  // Set under `mutex` while the window may be asking.
  void Hang(bool hanging) {
    std::lock_guard lock(mutex);
    hang = hanging;
    changed.notify_all();
  }
  int Asked() const {
    std::lock_guard lock(mutex);
    return asked;
  }

  std::vector<PrinterStatus> printers;
  std::string failure;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  mutable int asked = 0;
  bool hang = false;  // the print system does not answer until released
  bool numbered = false;
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

// The printer table once it shows `expected`, or as it is after 10 s: the
// window asks for the queues off the UI thread and fills the table when the
// answer arrives.
QStringList PrinterRows(QWidget& window, const QStringList& expected) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Rows(Table(window, "Printers")) != expected && std::chrono::steady_clock::now() < until) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return Rows(Table(window, "Printers"));
}

class StatusWindowTest : public ::testing::Test {
 protected:
  qbtest::TempDir m_home;
  qbtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
  qbtest::ScopedEnv m_state{"XDG_STATE_HOME", m_home.Path() + "/state"};
  qbtest::ScopedEnv m_data{"XDG_DATA_HOME", m_home.Path() + "/data"};

  // The window's sources: the fakes below, as each test fills them.
  StatusSources Sources() {
    StatusSources sources;
    sources.appData = &m_app;
    sources.printers = &m_printers;
    sources.remembered = &m_remembered;
    sources.sites = &m_sites;
    sources.prints = &m_history;
    sources.started = std::chrono::steady_clock::now();
    return sources;
  }

  CAppData m_app;
  FakePrinters m_printers;
  FakeRemembered m_remembered;
  FakeSites m_sites;
  FakeHistory m_history;
};

TEST_F(StatusWindowTest, ShowsItsSourcesAndChangesThemOnlyThroughThem) {
  CAppData& app = m_app;
  app.SetListening({ListeningPlace::Way::kBound, 3210, {"127.0.0.1", "::1"}, {}});
  FakePrinters& printers = m_printers;
  printers.printers = {{"Office", true, PrinterStatus::State::kStopped, "paused", false},
                       {"Labels", false, PrinterStatus::State::kIdle, "", true}};
  FakeRemembered& remembered = m_remembered;
  remembered.remembered = {{"100x50mm", "Labels"}};
  FakeSites& sites = m_sites;
  const std::string user = "/home/me/.config/Tavrim/Quillbox.conf";
  sites.sites = {{"https://mine.example", true, SiteSource::kUserFile, user},
                 {"https://asked.example", false, SiteSource::kAnswer, user},
                 {"https://admin.example", false, SiteSource::kSystemFile,
                  "/etc/xdg/Tavrim/Quillbox.conf"}};
  m_history.records = {{"7", "100 × 50 mm", 2, "finished", "10:00:00"}};
  int updates = 0;
  StatusSources sources = Sources();
  sources.updateNow = [&] { ++updates; };
  StatusWindow window(std::move(sources));
  window.Refresh();

  EXPECT_EQ(window.windowTitle(), "Quillbox label server");
  const QStringList queues({"Office (default)|stopped, refusing jobs|paused", "Labels|idle|none"});
  EXPECT_EQ(PrinterRows(window, queues), queues);
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
  const QStringList unreachable({"the printers cannot be read||the print scheduler (CUPS at "
                                 "/run/cups/cups.sock) cannot be reached"});
  EXPECT_EQ(PrinterRows(window, unreachable), unreachable);
}

TEST_F(StatusWindowTest, APrintSystemThatDoesNotAnswerLeavesTheWindowLive) {
  FakePrinters& printers = m_printers;
  printers.printers = {{"Labels", true, PrinterStatus::State::kIdle, "", true}};
  printers.numbered = true;
  StatusSources sources = Sources();
  printers.Hang(true);
  std::thread release;
  {
    StatusWindow window(std::move(sources));
    // Refreshing returns while the question hangs; asking again meanwhile
    // asks once more after it, not twice at once.
    window.Refresh();
    window.Refresh();
    window.Refresh();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (printers.Asked() < 1 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(printers.Asked(), 1);
    EXPECT_EQ(Rows(Table(window, "Printers")), QStringList());
    printers.Hang(false);
    const QStringList second({"Labels (default)|idle|question 2"});
    EXPECT_EQ(PrinterRows(window, second), second);
    EXPECT_EQ(printers.Asked(), 2);

    // Closed while a question hangs (released a little later, so that the
    // window is most likely already waiting): the window waits for it, and
    // its late answer goes nowhere.
    printers.Hang(true);
    window.Refresh();
    release = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      printers.Hang(false);
    });
  }
  release.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(printers.Asked(), 3);
}

}  // namespace
}  // namespace qb
