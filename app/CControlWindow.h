// What connection threads may ask of the control window: run a print job or
// a save on the UI thread. Both calls only post the work and return at once;
// the work runs later on the UI thread, in posting order.
//
// Thread contract: both calls may come from any thread, as long as the window
// outlives every connection worker (the shell joins the workers before it
// deletes the window).
#pragma once

#include <memory>

namespace qb {

class CPrintSession;
class CQxSaveSession;

class CControlWindow {
 public:
  virtual ~CControlWindow() = default;

  // Posts the print job of `session`, which stays owned by the print manager.
  virtual void PostPrint(CPrintSession* session) = 0;
  // Posts the save of `session`; the window owns it from now on.
  virtual void PostSave(std::unique_ptr<CQxSaveSession> session) = 0;
};

}  // namespace qb
