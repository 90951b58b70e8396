// Limits that tests lower through the environment read their number here.
//
// Thread contract: reads the environment; any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace qb {

// The value of environment variable `name` when it is a whole decimal number
// (0 or more); nullopt when it is unset or anything else.
std::optional<uint64_t> EnvNumber(const char* name);

}  // namespace qb
