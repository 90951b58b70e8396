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

void OriginPrompt::Ask(const std::string& origin, Answered answered) {
  m_queue.push_back({origin, std::move(answered)});
  if (m_pBox == nullptr) {
    ShowNext();
  }
}

void OriginPrompt::ShowNext() {
  if (m_queue.empty()) {
    return;
  }
  m_pBox = new QMessageBox(QMessageBox::Question, Tr("Label server"),
                           QuestionText(m_queue.front().origin));
  m_pBox->setTextFormat(Qt::PlainText);  // the origin is shown as written
  QPushButton* allow = m_pBox->addButton(Tr("&Allow"), QMessageBox::AcceptRole);
  QPushButton* deny = m_pBox->addButton(Tr("&Deny"), QMessageBox::RejectRole);
  m_pBox->setDefaultButton(deny);
  m_pBox->setEscapeButton(deny);
  m_pBox->setWindowFlag(Qt::WindowStaysOnTopHint);
  connect(m_pBox, &QMessageBox::finished, this, [this, allow] {
    const bool allowed = m_pBox->clickedButton() == allow;
    Question question = std::move(m_queue.front());
    m_queue.pop_front();
    m_pBox->deleteLater();
    m_pBox = nullptr;
    question.answered(allowed);
    ShowNext();
  });
  m_pBox->show();
  m_pBox->raise();
  m_pBox->activateWindow();
}

}  // namespace qb
