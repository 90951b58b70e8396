#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTranslator>

#include "shell/OriginPrompt.h"
#include "shell/StatusWindow.h"
#include "shell/TrayIcon.h"
#include "output/PrinterDirectory.h"
#include "TempDir.h"
#include "output/CPrintSession.h"
#include "output/CupsStateMap.h"
#include "output/PrintJob.h"
#include "output/PrintOutcome.h"
#include "output/SaveDocument.h"

namespace qb {
namespace {

struct NoPrinters : PrinterDirectory {
  Result<std::vector<PrinterStatus>> Printers() const override {
    return std::vector<PrinterStatus>();
  }
};

QString MenuTexts(const TrayIcon& tray) {
  QStringList texts;
  for (const QAction* action : tray.Menu()->actions()) {
    texts << action->text();
  }
  return texts.join('|');
}

TEST(Translation, JapaneseCoversEveryTextOfTheDialogs) {
  QTranslator translator;
  ASSERT_TRUE(translator.load(QStringLiteral("quillbox_ja"),
                              QStringLiteral(QUILLBOX_TEST_TRANSLATIONS_DIR)));
  ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
  const CPrintSession label("1", 100, 50, 0, 1);
  const StatusWindow window{StatusSources{}};
  const qbtest::TempDir state;  // no update run recorded
  const qbtest::ScopedEnv stateHome("XDG_STATE_HOME", state.Path());
  const NoPrinters printers;
  const TrayIcon tray({}, &printers);
  PrintOutcome outOfLabels;
  outOfLabels.state = PrintState::kStopped;
  outOfLabels.printer = "Label_Printer";
  outOfLabels.reasons = {"media-empty-error"};
  CupsJobFacts aborted;
  aborted.state = kJobAborted;
  struct Row {
    QString text;
    const char* japanese;
  };
  const Row rows[] = {
      {PrintDialogTitle(label, 1), "印刷 100 × 50 mm – 1 ページ"},
      {PrintDialogTitle(label, 3), "印刷 100 × 50 mm – 3 ページ"},
      {SaveFilters(true).join('|'), "PDF 文書 (*.pdf)|すべてのファイル (*)"},
      {SaveFilters(false).join('|'), "ラベル文書 (*.qx3)|すべてのファイル (*)"},
      {SaveDialogTitle("a.pdf", true), "PDF 文書「a.pdf」を保存"},
      {SaveDialogTitle("a.qx3", false), "ラベル文書「a.qx3」を保存"},
      {SaveDialogTitle("", true), "PDF 文書を保存"},
      {SaveDialogTitle("", false), "ラベル文書を保存"},
      {OriginPrompt::QuestionText("https://a.example"),
       "https://a.example にこのコンピューターのラベルサーバーの使用を許可しますか?"},
      {OriginPrompt::ExplanationText("https://a.example"),
       "許可すると、このサイトはこのコンピューターで印刷、ファイルの保存、ラベルカタログの"
       "読み込みができます。回答は記憶されます。ラベルサーバーの状態ウィンドウ、またはコマンド "
       "quillbox-server --forget-site https://a.example で取り消せます。"},
      {OriginPrompt::AllowLabel(), "許可(&A)"},
      {OriginPrompt::DenyLabel(), "拒否(&D)"},
      {OriginPrompt::StopAskingLabel(), "今後は確認しない(&N)"},
      {window.windowTitle(), "Quillbox ラベルサーバー"},
      {ListeningText({ListeningPlace::Way::kBound, 3210, {"127.0.0.1", "::1"}, {}}, 3210),
       "127.0.0.1 と ::1 のポート 3210"},
      {ListeningText({ListeningPlace::Way::kWaiting, 3210, {}, "/run/quillbox/broker"}, 3210),
       "ポートブローカー /run/quillbox/broker 経由のポート 3210 (待機中: "
       "このユーザーの別のサーバーが登録されています)"},
      {MenuTexts(tray), "表示(&S)|カタログを更新(&U)||終了(&Q)"},
      {tray.ToolTip(), "Quillbox ラベルサーバー: 待機中"},
      {QString::fromStdString(NoticeText(outOfLabels)),
       "ラベルは印刷されませんでした: Label_Printer はラベル切れです (media-empty)"},
      {QString::fromStdString(MapCupsJob(aborted, std::nullopt, "Label_Printer").message),
       "Label_Printer がジョブを中止しました"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.text, QString::fromUtf8(row.japanese));
  }
  QCoreApplication::removeTranslator(&translator);
  EXPECT_EQ(SaveFilters(false).join('|'), "Label document (*.qx3)|All files (*)");
}

}  // namespace
}  // namespace qb
