// Environment values read as numbers (limits that tests lower) or as text.
//
// Thread contract: reads the environment; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qb {

// The value of environment variable `name` when it is a whole decimal number
// (0 or more); nullopt when it is unset or anything else.
std::optional<uint64_t> EnvNumber(const char* name);

// The value of environment variable `name`; empty when it is unset.
std::string EnvText(const char* name);

}  // namespace qb
