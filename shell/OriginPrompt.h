// The question put to the user about a web origin: "Allow <origin> to use the
// label server on this computer?", what allowing means and where the answer
// can be taken back, with the buttons Allow, Deny and Don't ask again (Deny is the default and answers Escape and closing the window).
// Questions are shown one at a time, in the order asked; a question that is
// no longer open when its turn comes (see Ask) is skipped. The window does
// not block the event loop, so print jobs and saves go on while it is open.
//
// Thread contract: UI thread only.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <string>

#include "context/CControlWindow.h"

class QMessageBox;

namespace qb {

class OriginPrompt : public QObject {
 public:
  using StillOpen = std::function<bool()>;
  using Answered = std::function<void(OriginAnswer)>;

  explicit OriginPrompt(QObject* parent = nullptr);
  ~OriginPrompt() override;
  OriginPrompt(const OriginPrompt&) = delete;
  OriginPrompt& operator=(const OriginPrompt&) = delete;

  // Asks about `origin` in turn; `answered` runs with the answer once the
  // user gives it. When its turn comes and `stillOpen` (may be empty: always
  // open) says false, the question is dropped unanswered. Unanswered
  // questions are dropped with the prompt.
  void Ask(const std::string& origin, StillOpen stillOpen, Answered answered);

  // The question text for `origin`, translated.
  static QString QuestionText(const std::string& origin);
  // What allowing `origin` means, that the answer is remembered and where
  // it is taken back, translated.
  static QString ExplanationText(const std::string& origin);
  // The button labels, translated: Allow, Deny, Don't ask again.
  static QString AllowLabel();
  static QString DenyLabel();
  static QString StopAskingLabel();

 private:
  struct Question {
    std::string origin;
    StillOpen stillOpen;
    Answered answered;
  };

  void ShowNext();

  std::deque<Question> m_queue;  // the open question first
  QMessageBox* m_pBox = nullptr;  // the open question's window, owned
};

}  // namespace qb
