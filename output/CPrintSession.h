// One print session: the paper, orientation and copies the client asked for
// and the pages it has sent, numbered 0, 1, 2 ... in arrival order.
//
// States: 0 new (pages are added), 1 printing (the print job has started; the
// pages stay when the user cancels the print dialog), 2 done (the pages are
// gone). Pages may still be added in states 1 and 2; the next job start on a
// session that is not new deletes them without printing.
//
// Pages count against the limits of PrintLimits: pages and bytes of this
// session, bytes of all sessions. A session that is new and has not been
// touched for a while may be expired by the print manager (state 2).
//
// Thread contract: the settings are fixed at construction. The pages and the
// state are guarded by m_mutex: connection threads add pages while the UI
// thread runs the job.
#pragma once

#include <QImage>
#include <chrono>
#include <memory>
#include <string>

#include "output/CDataMap.h"
#include "output/CPrintPage.h"
#include "util/Mutex.h"

namespace qb {

class CPrintSession {
 public:
  enum State { kNew = 0, kPrinting = 1, kDone = 2 };

  CPrintSession(std::string id, int width, int height, int orientation, int copies);
  virtual ~CPrintSession();

  using Clock = std::chrono::steady_clock;

  // Stores `page` as page number PageCount(); its key, or why it could not be
  // stored.
  Result<int> AddPage(std::unique_ptr<CPrintPage> page);
  // Bytes of the encoded page images held.
  size_t PageBytes() const;
  // Marks the session as used at `now` (a request named it).
  void Touch(Clock::time_point now);
  // When the session is not being printed, holds pages or is new, and was
  // last used `idle` or longer before `now`: ends it (state 2, pages deleted)
  // and returns the number of pages dropped; otherwise -1.
  int ExpireIfIdle(Clock::time_point now, Clock::duration idle);
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
  void DropPages() REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  // Keyed 0, 1, 2 ... in arrival order.
  CDataMap<unsigned, CPrintPage> m_pages GUARDED_BY(m_mutex);
  int m_nState GUARDED_BY(m_mutex) = kNew;
  size_t m_nBytes GUARDED_BY(m_mutex) = 0;  // encoded bytes of m_pages
  Clock::time_point m_lastUsed GUARDED_BY(m_mutex) = Clock::now();
};

}  // namespace qb
