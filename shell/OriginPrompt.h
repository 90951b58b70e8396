// The question put to the user about a web origin: "Allow <origin> to use the
// label server on this computer?" with the buttons Allow and Deny (Deny is
// the default and answers Escape and closing the window). Questions are
// shown one at a time, in the order asked; the window does not block the
// event loop, so print jobs and saves go on while it is open.
//
// Thread contract: UI thread only.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <string>

class QMessageBox;

namespace qb {

class OriginPrompt : public QObject {
 public:
  using Answered = std::function<void(bool allowed)>;

  explicit OriginPrompt(QObject* parent = nullptr);
  ~OriginPrompt() override;
  OriginPrompt(const OriginPrompt&) = delete;
  OriginPrompt& operator=(const OriginPrompt&) = delete;

  // Asks about `origin`; `answered` runs with the answer once the user gives
  // it. Unanswered questions are dropped with the prompt.
  void Ask(const std::string& origin, Answered answered);

  // The question text for `origin`, translated.
  static QString QuestionText(const std::string& origin);

 private:
  struct Question {
    std::string origin;
    Answered answered;
  };

  void ShowNext();

  std::deque<Question> m_queue;  // the open question first
  QMessageBox* m_pBox = nullptr;  // the open question's window, owned
};

}  // namespace qb
