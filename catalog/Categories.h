// The product categories of table categories, answered as the client's
// category pick list.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <string>

namespace qb {

class Categories {
 public:
  ~Categories() = default;

  // "<categoryList>\n", per row a categoryInfo entry (pno = id, category,
  // label = name, thumbnail and image = thumbnail; a NULL column leaves its
  // elements out), "</categoryList>\n". Rows in the order the database gives.
  // Without a readable table only the outer pair.
  std::string GetCategoryList();
};

}  // namespace qb
