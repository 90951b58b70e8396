// The product queries over table paper_infos (joined to its category and
// paper size): the search list, one product's detail with all its parts, the
// products recently used on this machine, and the drawing files that products
// name below the data folder.
//
// The product operations take the whole request path and read "key=value"
// pairs from its argument text (after "@", pairs split at "&"). Values reach
// SQLite as bound parameters; a key that is used as a column name must be a
// plain identifier, otherwise the query answers as for a statement that does
// not compile. Answers are UTF-8 XML with LF line ends, values unescaped.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

class PaperInfos {
 public:
  virtual ~PaperInfos() = default;

  // Each product operation gives nullopt for a malformed argument text (no
  // "@", or a pair without "=" whose value is needed); the caller answers
  // that as a server error.

  // The products matching every pair, ordered by searchSelNo, as a list
  // document. A key containing "usage" searches five text columns for the
  // value; category_id=99 means any category; a value "1" also admits 13.
  std::optional<std::string> GetSearchList(std::string_view path);
  // The part rows of one product (goodsBackFront and goodsAllEdit values are
  // translated to the stored words) as a detail document with the row count.
  std::optional<std::string> GetDetail(std::string_view path);
  // Up to five products most recently logged as used on this machine, newest
  // first, as a list document. Adds paper_infos.jan_code first when missing.
  std::optional<std::string> GetRecentList(std::string_view path);
  // The drawing file named by the argument text, taken inside the data folder
  // (a leading "/" included), with its line ends dropped; empty when the file
  // is missing, unreadable or would lie outside the data folder.
  std::optional<std::string> GetSvgData(std::string_view path);

  // The shared select list and joins of the product queries.
  static const std::string& SelectColumns();
};

}  // namespace qb
