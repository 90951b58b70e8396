// The machine identity that the usage log and the recently-used queries key
// on: the hardware address of the first network interface, as text of six
// hexadecimal fields without leading zeros, upper case, joined by "-"
// (bytes 00 1A 2B 3C 4D 5E give "0-1A-2B-3C-4D-5E").
//
// Thread contract: stateless; every call asks the system again.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace qb {

std::string FormatMacAddress(const std::array<unsigned char, 6>& bytes);

// The identity of the first interface of `interfaceNames` (in that order) that
// is not a loopback interface and has a non-zero six-byte hardware address,
// read from `<netRoot>/<name>/address` and `<netRoot>/<name>/type`. Empty when
// there is none.
std::string GetMacAddressFrom(const std::string& netRoot,
                              const std::vector<std::string>& interfaceNames);

// GetMacAddressFrom over /sys/class/net with the interfaces in the system's
// index order.
std::string GetMacAddress();

}  // namespace qb
