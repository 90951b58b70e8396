// Which browser origins the server answers: the [Server] allowedOrigins value
// of the configuration file, a list of origins separated by blanks, or "*" for
// any origin (the default).
//
// Origins compare as browsers write them: scheme and host without regard to
// case, a port equal to the scheme's default (80 for http and ws, 443 for
// https and wss) the same as none, and one trailing "/" of a listed entry
// ignored. "null" (the origin of sandboxed and file pages) matches only when
// it is listed. A listed entry that is not of the form scheme://host[:port]
// is left out of the list.
//
// Thread contract: immutable once built; any number of threads may ask it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class OriginPolicy {
 public:
  // Any origin.
  OriginPolicy() = default;
  virtual ~OriginPolicy() = default;

  // The policy of an allowedOrigins value: unset, blank, or a list holding
  // "*" allows any origin; otherwise the listed origins, and each entry that
  // is not an origin is added to `rejected` (may be null) and left out, so a
  // list of nothing but such entries allows no origin.
  static OriginPolicy FromConfig(const std::optional<std::string>& value,
                                 std::vector<std::string>* rejected);

  bool AllowsAny() const { return m_bAny; }
  // True when any origin is allowed or the value of an Origin header, blanks
  // around it ignored, is one of the listed origins.
  bool Allows(std::string_view origin) const;
  // The listed origins in their compared form, in the order given.
  const std::vector<std::string>& Origins() const { return m_origins; }

 private:
  bool m_bAny = true;
  std::vector<std::string> m_origins;
};

// The compared form of an origin: "null", or scheme://host[:port] in lower
// case without a default port and without one trailing "/"; nullopt when
// `text` is neither.
std::optional<std::string> NormalizeOrigin(std::string_view text);

}  // namespace qb
