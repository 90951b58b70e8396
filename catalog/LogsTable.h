// The usage log kept in table logs: one row per product the client reports as
// used on this machine (event type 3, the product's searchSelNo and the time
// of use). The recently-used products are read back from these rows.
//
// The class bears its table's name, as every table class does; the file is
// named for the table so that it is not taken for util/Log, the process log.
//
// Thread contract: no state; an instance serves one request on the calling
// thread, on a connection of its own.
#pragma once

#include <string_view>

namespace qb {

class Logs {
 public:
  ~Logs() = default;

  // Writes one row: this machine's identity, event type 3, two empty
  // contents, `product` in event_contents3 and `usedAt` in create_at and
  // update_at, stored exactly as given. True when the row was written.
  bool InsertLog(std::string_view product, std::string_view usedAt);
};

}  // namespace qb
