// Queries on the history of picked pictures (table pict_generic_history_infos).
//
// Thread contract: no state; an instance serves one request on the calling
// thread and opens its own connection.
#pragma once

#include <string>
#include <string_view>

namespace qb {

class PictGroupGenericHistoryInfos {
 public:
  virtual ~PictGroupGenericHistoryInfos() = default;

  // "<pictInfoList>" with one picture record numbered 99 per history row that
  // meets `condition` (SQL the client writes), in database order. The
  // condition may only read this table and must leave one statement;
  // otherwise the list is empty.
  std::string GetHistoryPictList(std::string_view condition) const;
};

}  // namespace qb
