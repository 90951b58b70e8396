// The records of one catalogue server answer, handed to an importer one at a
// time: the children of a parsed answer's root element, or the records of an
// answer read piece by piece (AnswerRecords).
//
// Thread contract: one source per import, used on the importing thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "catalog/RecordReader.h"

namespace qb {

class RecordSource {
 public:
  virtual ~RecordSource() = default;

  // How many records Next hands out in all.
  virtual size_t Count() const = 0;
  // The field values of the next record, read with `reader` (valid until its
  // next read); null after the last; nullopt when the record cannot be read
  // (the answer must then not be stored).
  virtual std::optional<const std::vector<std::string_view>*> Next(RecordReader& reader) = 0;
};

}  // namespace qb
