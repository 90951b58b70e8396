// The paper sizes of table paper_size_infos, answered as the client's
// paper-size pick list. Size 13 is never offered.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <string>

namespace qb {

class PaperSizeInfos {
 public:
  ~PaperSizeInfos() = default;

  // "<paperSize>\n", per row whose paperSizeId is not 13 (nor NULL) a sizeInfo
  // entry (id = paperSizeId, name, sizeH, sizeW; a NULL column leaves its
  // element out), "</paperSize>\n". Rows in the order the database gives.
  // Without a readable table only the outer pair.
  std::string GetPaperSizeList();
};

}  // namespace qb
