// One print session: the paper, orientation and copies the client asked for
// and the pages it has sent, numbered 0, 1, 2 ... in arrival order.
//
// States: 0 new (pages are added), 1 printing (the print job has started; the
// pages stay when the user cancels the print dialog), 2 done (the pages are
// gone). Pages may still be added in states 1 and 2; the next job start on a
// session that is not new deletes them without printing.
//
// Thread contract: the settings are fixed at construction. The pages and the
// state are guarded by m_mutex: connection threads add pages while the UI
// thread runs the job.
#pragma once

#include <QImage>
#include <memory>
#include <mutex>
#include <string>

#include "output/CDataMap.h"
#include "output/CPrintPage.h"

namespace qb {

class CPrintSession {
 public:
  enum State { kNew = 0, kPrinting = 1, kDone = 2 };

  CPrintSession(std::string id, int width, int height, int orientation, int copies);
  virtual ~CPrintSession();

  // Stores `page` as page number PageCount(); its key, or -1 when it could not
  // be stored.
  int AddPage(std::unique_ptr<CPrintPage> page);
  int PageCount() const;
  int GetState() const;

  // Starts the print job: -1 when the session is not new, otherwise the state
  // becomes 1 and the result is the page count at this moment.
  int StartPrinting();
  // The image of page `key` as 32-bit ARGB; null when there is no such page or
  // it does not decode.
  QImage PageImage(unsigned key) const;
  // Ends the session: state 2, every page deleted.
  void Finish();

  const std::string m_strId;  // identifier handed out by "print/init"
  const int m_nWidth;         // paper width in millimetres
  const int m_nHeight;        // paper height in millimetres
  const int m_nOrientation;   // 0 portrait, anything else landscape
  const int m_nCopies;        // copies to ask the printer for

 private:
  mutable std::mutex m_mutex;                  // guards m_pages and m_nState
  CDataMap<unsigned, CPrintPage> m_pages;      // keyed 0, 1, 2 ... in arrival order
  int m_nState = kNew;
};

}  // namespace qb
