// One print session: the paper, orientation and copies the client asked for
// and the pages it has sent, numbered 0, 1, 2 ... in arrival order.
//
// States: 0 new (pages are added), 1 printing (the print job has started),
// 2 done (the job ended however it ended: printed, cancelled, failed, no
// printer; the pages are gone). Pages added in state 1 are kept until the job
// ends; pages added in state 2 are accepted and dropped at once, since nothing
// can print them any more.
//
// The pages' encoded images are kept in the session's PageSpool file, not in
// memory (in memory only when no such file can be made, logged once); the file
// goes when the pages do. Pages count against the limits of PrintLimits: pages and bytes of this
// session, bytes of all sessions. A session that is new, not yet handed to the
// print job and not touched for a while may be expired by the print manager
// (state 2).
//
// Thread contract: the settings are fixed at construction. The pages and the
// state are guarded by m_mutex: connection threads add pages while the UI
// thread runs the job.
#pragma once

#include <QImage>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/CPrintPage.h"
#include "output/PageSpool.h"
#include "util/Mutex.h"

namespace qb {

class CPrintSession {
 public:
  enum State { kNew = 0, kPrinting = 1, kDone = 2 };

  CPrintSession(std::string id, int width, int height, int orientation, int copies);
  ~CPrintSession();

  using Clock = std::chrono::steady_clock;

  // The key AddPage gives a page that it accepts without storing it.
  static constexpr int kDroppedPage = -1;

  // Stores `page` as page number PageCount(); its key, kDroppedPage when the
  // session is done (the page is accepted and deleted), or why it could not
  // be stored (a limit, or the page file could not take it).
  Result<int> AddPage(std::unique_ptr<CPrintPage> page);
  // Bytes of the encoded page images held.
  size_t PageBytes() const;
  // Marks the session as used at `now` (a request named it).
  void Touch(Clock::time_point now);
  // Marks the session as handed to the print job ("print/end" posted it):
  // from now on it does not expire while it waits for its turn.
  void MarkPosted();
  // When the session is new, not handed to the print job, and was last used
  // `idle` or longer before `now`: ends it (state 2, pages deleted) and
  // returns the number of pages dropped; otherwise -1.
  int ExpireIfIdle(Clock::time_point now, Clock::duration idle);
  // When the session entered state 2; nullopt before.
  std::optional<Clock::time_point> EndedAt() const;
  int PageCount() const;
  int GetState() const;

  // Starts the print job: when the session is new the state becomes 1 and
  // the result is the page count at this moment; otherwise why it cannot
  // start (nothing changes).
  Result<int> StartPrinting();
  // The image of page `key` as 32-bit ARGB; null when there is no such page or
  // it does not decode.
  QImage PageImage(unsigned key) const;
  // The encoded image bytes of page `key`, or why there are none.
  Result<std::string> EncodedPage(unsigned key) const;
  // Ends the session: state 2, every page deleted and its bytes given back to
  // the all-sessions budget. Finishing a finished session changes nothing.
  void Finish();

  const std::string m_strId;  // identifier handed out by "print/init"
  const int m_nWidth;         // paper width in millimetres
  const int m_nHeight;        // paper height in millimetres
  const int m_nOrientation;   // 0 portrait, anything else landscape
  const int m_nCopies;        // copies to ask the printer for

 private:
  void DropPages() REQUIRES(m_mutex);
  void EndLocked() REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  // Where each page lies in m_spool, indexed by page number (arrival order).
  std::vector<PageSpool::Span> m_pages GUARDED_BY(m_mutex);
  PageSpool m_spool GUARDED_BY(m_mutex);  // the bytes of m_pages
  int m_nState GUARDED_BY(m_mutex) = kNew;
  size_t m_nBytes GUARDED_BY(m_mutex) = 0;  // encoded bytes of m_pages
  Clock::time_point m_lastUsed GUARDED_BY(m_mutex) = Clock::now();
  bool m_bPosted GUARDED_BY(m_mutex) = false;
  std::optional<Clock::time_point> m_ended GUARDED_BY(m_mutex);  // when state 2 began
};

}  // namespace qb
