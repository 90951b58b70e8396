#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "output/CupsScheduler.h"
#include "output/CupsStateMap.h"
#include "output/JsonText.h"
#include "output/PrintOutcomes.h"

namespace qb {
namespace {

CupsPrinterFacts PrinterIn(int state, std::vector<std::string> reasons,
                           std::string message = {}) {
  CupsPrinterFacts printer;
  printer.name = "Label_Printer";
  printer.state = state;
  printer.reasons = std::move(reasons);
  printer.message = std::move(message);
  return printer;
}

TEST(CupsStateMap, JobAndPrinterStatesBecomePrintStates) {
  struct Row {
    const char* name;
    int job;
    std::optional<CupsPrinterFacts> printer;
    PrintState state;
    std::vector<std::string> reasons;
    std::string message;
  };
  const Row rows[] = {
      {"pending on an idle printer", kJobPending, PrinterIn(kPrinterIdle, {}), PrintState::kQueued,
       {}, ""},
      {"held", kJobHeld, PrinterIn(kPrinterIdle, {"none"}), PrintState::kQueued, {}, ""},
      {"processing", kJobProcessing, PrinterIn(kPrinterProcessing, {}), PrintState::kPrinting,
       {}, ""},
      {"printer unknown", kJobProcessing, std::nullopt, PrintState::kPrinting, {}, ""},
      {"pending on a disabled printer", kJobPending,
       PrinterIn(kPrinterStopped, {"paused"}, "out of labels"), PrintState::kStopped,
       {"paused"}, "Label_Printer is paused: out of labels"},
      {"processing while out of labels", kJobProcessing,
       PrinterIn(kPrinterProcessing, {"media-empty-error"}), PrintState::kStopped,
       {"media-empty-error"}, "Label_Printer is out of labels"},
      {"offline report", kJobProcessing, PrinterIn(kPrinterProcessing, {"offline-report"}),
       PrintState::kStopped, {"offline-report"}, "Label_Printer is offline"},
      {"a warning does not stop it", kJobProcessing,
       PrinterIn(kPrinterProcessing, {"media-low-warning"}), PrintState::kPrinting, {}, ""},
      {"job stopped by the scheduler alone", kJobStopped, PrinterIn(kPrinterIdle, {}),
       PrintState::kStopped, {}, "Label_Printer stopped the job: Unable to open serial port"},
      {"aborted", kJobAborted, PrinterIn(kPrinterIdle, {}), PrintState::kAborted,
       {"job-aborted-by-system"}, "Label_Printer aborted the job: Unable to open serial port"},
      {"cancelled in CUPS", kJobCanceled, PrinterIn(kPrinterIdle, {}), PrintState::kAborted,
       {"job-canceled-by-user"}, "the job was cancelled on Label_Printer: Unable to open serial port"},
      {"completed on a stopped printer", kJobCompleted, PrinterIn(kPrinterStopped, {"paused"}),
       PrintState::kCompleted, {}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CupsJobFacts job;
    job.state = row.job;
    if (row.job == kJobStopped) {
      job.reasons = {"job-printing"};  // a job reason, not the printer's
    } else if (row.job == kJobAborted) {
      job.reasons = {"job-aborted-by-system"};
    } else if (row.job == kJobCanceled) {
      job.reasons = {"none", "job-canceled-by-user"};
    }
    if (row.job == kJobAborted || row.job == kJobCanceled || row.job == kJobStopped) {
      job.message = "Unable to open serial port";
    }
    const MappedJob mapped = MapCupsJob(job, row.printer, "Label_Printer");
    EXPECT_EQ(mapped.state, row.state);
    EXPECT_EQ(mapped.reasons, row.reasons);
    EXPECT_EQ(mapped.message, row.message);
  }
}

TEST(CupsStateMap, PrinterStatesAndReasons) {
  EXPECT_EQ(PrinterStateName(kPrinterIdle), "idle");
  EXPECT_EQ(PrinterStateName(kPrinterProcessing), "printing");
  EXPECT_EQ(PrinterStateName(kPrinterStopped), "stopped");
  EXPECT_EQ(ReasonKeyword("media-empty-error"), "media-empty");
  EXPECT_EQ(ReasonKeyword("offline-report"), "offline");
  EXPECT_EQ(ReasonKeyword("paused"), "paused");
  EXPECT_EQ(MainReason({"none", "media-low-warning", "media-empty-error"}), "media-empty-error");
  EXPECT_EQ(MainReason({"media-low-warning"}), "media-low-warning");
  EXPECT_EQ(MainReason({"none"}), "");
  EXPECT_FALSE(NeedsAttention(PrinterIn(kPrinterIdle, {"none", "media-low-warning"})));
  EXPECT_TRUE(NeedsAttention(PrinterIn(kPrinterIdle, {"door-open-error"})));
}

TEST(PrintOutcome, AnswersAndNoticesReadAsDocumented) {
  PrintOutcome outcome;
  outcome.id = "3";
  outcome.state = PrintState::kCompleted;
  outcome.printer = "Label_Printer";
  outcome.job = 17;
  outcome.pages = 2;
  EXPECT_EQ(OutcomeJson(outcome),
            "{\"id\":\"3\",\"state\":\"completed\",\"printer\":\"Label_Printer\",\"job\":17,"
            "\"pages\":2,\"copies\":1,\"reasons\":[],\"message\":\"\"}");
  outcome.state = PrintState::kStopped;
  outcome.reasons = {"media-empty-error"};
  EXPECT_EQ(NoticeText(outcome), "Label not printed: Label_Printer is out of labels (media-empty)");
  // Stopped by the scheduler alone, the job's message is what the user reads.
  outcome.reasons = {};
  outcome.message = "Label_Printer stopped the job";
  EXPECT_EQ(NoticeText(outcome), "Label not printed: Label_Printer stopped the job");
  outcome.state = PrintState::kFailed;
  outcome.message = "Destination \"Label_Printer\" is not accepting jobs.";
  EXPECT_EQ(NoticeText(outcome),
            "Label not printed: Destination \"Label_Printer\" is not accepting jobs.");
  EXPECT_EQ(JsonQuoted("a\"b\\c\n\x01\xff\xc3\xa9"), "\"a\\\"b\\\\c\\n\\u0001\xEF\xBF\xBD\xc3\xa9\"");
  EXPECT_EQ(JsonStrings({"a", "b"}), "[\"a\",\"b\"]");
}

PrintOutcome Outcome(const std::string& id, PrintState state) {
  PrintOutcome outcome;
  outcome.id = id;
  outcome.state = state;
  return outcome;
}

TEST(PrintOutcomes, NoticesOncePerJobAndNeverForFinalOrFriendlyStates) {
  PrintOutcomes outcomes;
  std::vector<std::string> notices;
  outcomes.SetNoticeSink([&](const PrintOutcome& o) { notices.push_back(o.id); });
  outcomes.Record(Outcome("1", PrintState::kQueued));
  outcomes.Update("1", [](PrintOutcome& o) { o.state = PrintState::kStopped; });
  outcomes.Update("1", [](PrintOutcome& o) { o.state = PrintState::kStopped; });
  outcomes.Update("1", [](PrintOutcome& o) { o.state = PrintState::kAborted; });
  // Final: nothing changes it any more.
  EXPECT_FALSE(outcomes.Update("1", [](PrintOutcome& o) { o.state = PrintState::kCompleted; }));
  EXPECT_EQ(outcomes.Find("1")->state, PrintState::kAborted);
  outcomes.Record(Outcome("2", PrintState::kCompleted));
  outcomes.Record(Outcome("3", PrintState::kCancelled));
  outcomes.Record(Outcome("4", PrintState::kFailed));
  EXPECT_EQ(notices, (std::vector<std::string>{"1", "4"}));
  EXPECT_FALSE(outcomes.Find("5"));
}

TEST(PrintOutcomes, FinalOutcomesLeaveAfterACountOrATime) {
  PrintOutcomes outcomes;
  const auto start = PrintOutcomes::Clock::now();
  outcomes.Record(Outcome("open", PrintState::kOpen), start);
  const int finals = static_cast<int>(PrintOutcomes::kMaxFinal) + 3;
  for (int i = 0; i < finals; ++i) {
    outcomes.Record(Outcome(std::to_string(i), PrintState::kCompleted), start);
  }
  EXPECT_EQ(outcomes.Count(), PrintOutcomes::kMaxFinal + 1);
  for (int i = 0; i < finals; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(outcomes.Find(std::to_string(i), start).has_value(), i >= 3);
  }
  const std::vector<PrintOutcome> all = outcomes.Snapshot(start);
  ASSERT_EQ(all.size(), PrintOutcomes::kMaxFinal + 1);
  EXPECT_EQ(all.front().id, "open");
  EXPECT_EQ(all.back().id, std::to_string(finals - 1));
  outcomes.Find("open", start + PrintOutcomes::kKeepFinal - std::chrono::seconds(1));
  EXPECT_EQ(outcomes.Count(), PrintOutcomes::kMaxFinal + 1);
  EXPECT_TRUE(outcomes.Find("open", start + PrintOutcomes::kKeepFinal));
  EXPECT_EQ(outcomes.Count(), 1u);  // an open print stays
}

// Every question to a scheduler that cannot be reached fails with its name.
TEST(CupsScheduler, AnUnreachableSchedulerIsNamed) {
  const char* before = std::getenv("CUPS_SERVER");
  const std::string saved = before == nullptr ? std::string() : std::string(before);
  std::vector<std::string> reasons;
  // libcups reads CUPS_SERVER once per thread: a fresh thread asks.
  std::thread asker([&] {
    ::setenv("CUPS_SERVER", "/nonexistent/quillbox-cups.sock", 1);
    CupsScheduler cups(std::chrono::seconds(5));
    reasons.push_back(cups.Printers().Error());
    reasons.push_back(cups.Printer("Label_Printer").Error());
    reasons.push_back(cups.DefaultPrinter().Error());
    reasons.push_back(cups.Job(1).Error());
    reasons.push_back(cups.Submit("Label_Printer", "/dev/null", "label", {}).Error());
  });
  asker.join();
  if (before == nullptr) {
    ::unsetenv("CUPS_SERVER");
  } else {
    ::setenv("CUPS_SERVER", saved.c_str(), 1);
  }
  EXPECT_EQ(reasons, std::vector<std::string>(
                         5, "the print scheduler (CUPS at /nonexistent/quillbox-cups.sock) "
                            "cannot be reached"));
}

}  // namespace
}  // namespace qb
