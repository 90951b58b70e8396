// The records of one catalogue server answer, handed to an importer one at a
// time: the children of a parsed answer's root element, or the records of an
// answer read piece by piece (AnswerRecords).
//
// Thread contract: one source per import, used on the importing thread.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <optional>

namespace qb {

class RecordSource {
 public:
  virtual ~RecordSource() = default;

  // How many records Next hands out in all.
  virtual size_t Count() const = 0;
  // The next record, valid until the next call; an empty node after the last;
  // nullopt when it cannot be read (the answer must then not be stored).
  virtual std::optional<pugi::xml_node> Next() = 0;
};

}  // namespace qb
