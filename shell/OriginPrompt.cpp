#include "shell/OriginPrompt.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include "util/Log.h"

namespace qb {
namespace {

QString Tr(const char* text) { return QCoreApplication::translate("OriginPrompt", text); }

}  // namespace

OriginPrompt::OriginPrompt(QObject* parent) : QObject(parent) {}

OriginPrompt::~OriginPrompt() { delete m_pBox; }

QString OriginPrompt::QuestionText(const std::string& origin) {
  return Tr("Allow %1 to use the label server on this computer?")
      .arg(QString::fromStdString(origin));
}

QString OriginPrompt::ExplanationText(const std::string& origin) {
  return Tr("If you allow it, this site may print, save files and read the label catalogue on "
            "this computer. Your answer is remembered; you can take it back in the label "
            "server's status window or with the command quillbox-server --forget-site %1")
      .arg(QString::fromStdString(origin));
}

QString OriginPrompt::AllowLabel() { return Tr("&Allow"); }
QString OriginPrompt::DenyLabel() { return Tr("&Deny"); }
QString OriginPrompt::StopAskingLabel() { return Tr("Do&n't ask again"); }

void OriginPrompt::Ask(const std::string& origin, StillOpen stillOpen, Answered answered) {
  m_queue.push_back({origin, std::move(stillOpen), std::move(answered)});
  if (m_pBox == nullptr) {
    ShowNext();
  }
}

void OriginPrompt::ShowNext() {
  while (!m_queue.empty() && m_queue.front().stillOpen && !m_queue.front().stillOpen()) {
    LogDebug("the question about origin \"" + m_queue.front().origin +
             "\" is no longer open; not shown");
    m_queue.pop_front();
  }
  if (m_queue.empty()) {
    return;
  }
  m_pBox = new QMessageBox(QMessageBox::Question, Tr("Label server"),
                           QuestionText(m_queue.front().origin));
  m_pBox->setTextFormat(Qt::PlainText);  // the origin is shown as written
  m_pBox->setInformativeText(ExplanationText(m_queue.front().origin));
  QPushButton* allow = m_pBox->addButton(AllowLabel(), QMessageBox::AcceptRole);
  QPushButton* deny = m_pBox->addButton(DenyLabel(), QMessageBox::RejectRole);
  QPushButton* stop = m_pBox->addButton(StopAskingLabel(), QMessageBox::DestructiveRole);
  m_pBox->setDefaultButton(deny);
  m_pBox->setEscapeButton(deny);
  m_pBox->setWindowFlag(Qt::WindowStaysOnTopHint);
  connect(m_pBox, &QMessageBox::finished, this, [this, allow, stop] {
    const QAbstractButton* clicked = m_pBox->clickedButton();
    const OriginAnswer answer = clicked == allow  ? OriginAnswer::kAllow
                                : clicked == stop ? OriginAnswer::kStopAsking
                                                  : OriginAnswer::kDeny;
    Question question = std::move(m_queue.front());
    m_queue.pop_front();
    m_pBox->deleteLater();
    m_pBox = nullptr;
    question.answered(answer);
    ShowNext();
  });
  m_pBox->show();
  m_pBox->raise();
  m_pBox->activateWindow();
}

}  // namespace qb
