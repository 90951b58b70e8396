// The product queries over table paper_infos (joined to its category and
// paper size): the search list, one product's detail with all its parts, the
// products recently used on this machine, and the drawing files that products
// name below the data folder.
//
// The product operations take the conditions the client sent. Values reach
// SQLite as bound parameters; a name that is used as a column name must be a
// plain identifier, otherwise the query answers as for a statement that does
// not compile. Answers are UTF-8 XML with LF line ends, values unescaped.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalog/Condition.h"

namespace qb {

class PaperInfos {
 public:
  ~PaperInfos() = default;

  // Each product operation takes the client's conditions (column and value)
  // and gives nullopt when a condition whose value is needed has none; the
  // caller answers that as a server error.

  // The products matching every condition, ordered by searchSelNo, as a list
  // document. A name containing "usage" searches five text columns for the
  // value; category_id=99 means any category; a value "1" also admits 13.
  std::optional<std::string> GetSearchList(std::vector<Condition> conditions);
  // The part rows of one product (goodsBackFront and goodsAllEdit values are
  // translated to the stored words) as a detail document with the row count.
  std::optional<std::string> GetDetail(std::vector<Condition> conditions);
  // Up to five products most recently logged as used on this machine, newest
  // first, as a list document; a "mac_address" condition (its value unused) asks
  // for this machine's rows. Adds paper_infos.jan_code first when missing.
  std::optional<std::string> GetRecentList(std::vector<Condition> conditions);
  // The drawing file `name`, taken inside the data folder (a leading "/"
  // included), with its line ends dropped; empty when the file is missing,
  // unreadable or would lie outside the data folder.
  std::string GetSvgData(std::string name);

  // The shared select list and joins of the product queries.
  static const std::string& SelectColumns();
};

}  // namespace qb
