#include "catalog/LogsTable.h"

#include "catalog/CatalogueDb.h"
#include "util/MacAddress.h"

namespace qb {

bool Logs::InsertLog(std::string_view product, std::string_view usedAt) {
  const std::string identity = GetMacAddress();
  return ExecuteSql(
      "INSERT INTO logs (mac_address, event_type, "
      "                  event_contents1, event_contents2, event_contents3, "
      "                  create_at, update_at)"
      " VALUES (?1,3,'','',?2,?3,?3)",
      [&](Statement& statement) {
        return statement.BindText(1, identity) && statement.BindText(2, product) &&
               statement.BindText(3, usedAt);
      });
}

}  // namespace qb
