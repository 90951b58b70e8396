// The history of pictures the user picked, kept in table
// pict_generic_history_infos (thumbUrl is its key, so a picture is recorded
// once, with its first imageUrl), and the list answered from it.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <string>
#include <string_view>

namespace qb {

class PictGroupGenericHistoryInfos {
 public:
  ~PictGroupGenericHistoryInfos() = default;

  // Records the picture `thumbUrl` with its `imageUrl`, id 0 and topLevelId
  // 0. A picture already recorded writes nothing. True when a row was
  // written.
  bool InsertHistory(std::string_view thumbUrl, std::string_view imageUrl);

  // "<pictInfoList>" with one picture record numbered 99 per history row that
  // meets `condition` (SQL the client writes), in database order. The
  // condition may only read this table and must leave one statement;
  // otherwise the list is empty.
  std::string GetHistoryPictList(std::string_view condition) const;
};

}  // namespace qb
