// What connection threads may ask of the control window: run a print job or
// a save on the UI thread, or ask the user whether a web origin may use the
// server. The calls only post the work and return at once; the work runs
// later on the UI thread, in posting order.
//
// Thread contract: every call may come from any thread, as long as the window
// outlives every connection worker (the shell joins the workers before it
// deletes the window).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qb {

class CPrintSession;
class CQxSaveSession;

// What the user answered when asked about a web origin.
enum class OriginAnswer {
  kAllow,
  kDeny,        // the Deny button, Escape or closing the question
  kStopAsking,  // refuse this origin and ask about no new origin from now on
};

class CControlWindow {
 public:
  virtual ~CControlWindow() = default;

  // Posts the print job of `session`, shared with the print manager.
  virtual void PostPrint(std::shared_ptr<CPrintSession> session) = 0;
  // Posts the save of `session`; the window owns it from now on.
  virtual void PostSave(std::unique_ptr<CQxSaveSession> session) = 0;

  // True when the window can ask the user (a display is available).
  virtual bool AsksUser() const { return false; }
  // Asks the user whether `origin` may use the server; `answered` runs on the
  // UI thread with the answer. Questions wait for their turn; one whose
  // `stillOpen` (called on the UI thread) says false by then is dropped
  // without being shown or answered. A window that cannot ask never calls
  // `answered`.
  virtual void PostOriginQuestion(const std::string& origin, std::function<bool()> stillOpen,
                                  std::function<void(OriginAnswer)> answered) {
    (void)origin;
    (void)stillOpen;
    (void)answered;
  }
};

}  // namespace qb
