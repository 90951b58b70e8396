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

  // Writes one row from the argument text "k=PRODUCT&k=TIME" (keys are not
  // looked at, pieces after the second are ignored): this machine's identity,
  // event type 3, two empty contents, PRODUCT in event_contents3 and TIME in
  // create_at and update_at. Values are stored exactly as sent. A missing
  // piece or value writes nothing. True when a row was written.
  bool InsertLog(std::string_view argument);
};

}  // namespace qb
