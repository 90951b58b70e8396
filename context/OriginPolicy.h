// Which browser origins the server answers: the [Server] allowedOrigins value
// of the configuration file, a list of origins separated by blanks, or "*" for
// any origin; and the origins the user refused, [Server] deniedOrigins. An
// origin on neither list is unlisted: the user is asked about it when a
// display is available and asking is on ([Server] askForNewSites), and
// otherwise it is refused. Unset or blank, allowedOrigins lists no origin.
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

enum class OriginStanding {
  kAllowed,   // listed in allowedOrigins, or allowedOrigins is "*"
  kDenied,    // listed in deniedOrigins, or not an origin at all
  kUnlisted,  // neither
};

class OriginPolicy {
 public:
  // No origin listed either way.
  OriginPolicy() = default;
  ~OriginPolicy() = default;

  // Any origin allowed.
  static OriginPolicy Any();

  // The policy of an allowedOrigins value and a deniedOrigins value: a list
  // holding "*" allows any origin that is not denied; otherwise the listed
  // origins. Each entry that is not an origin is added to `rejected` (may be
  // null) and left out.
  static OriginPolicy FromConfig(const std::optional<std::string>& allowed,
                                 std::vector<std::string>* rejected);
  static OriginPolicy FromConfig(const std::optional<std::string>& allowed,
                                 const std::optional<std::string>& denied,
                                 std::vector<std::string>* rejected);

  // This policy with `origin` (compared form) added to the allowed or the
  // denied origins, and taken off the other list.
  OriginPolicy With(const std::string& origin, bool allowed) const;

  // This policy with asking about unlisted origins turned on or off.
  OriginPolicy WithAsking(bool asks) const;

  bool AllowsAny() const { return m_bAny; }
  // True unless asking the user about unlisted origins is turned off.
  bool AsksAboutNew() const { return m_bAsks; }
  // What the value of an Origin header, blanks around it ignored, is. With
  // "*" every value is allowed except a denied origin; otherwise a value that
  // is not an origin counts as denied.
  OriginStanding Standing(std::string_view origin) const;
  // True when Standing() is kAllowed.
  bool Allows(std::string_view origin) const;
  // The listed origins in their compared form, in the order given.
  const std::vector<std::string>& Origins() const { return m_origins; }
  const std::vector<std::string>& DeniedOrigins() const { return m_denied; }

 private:
  bool m_bAny = false;
  bool m_bAsks = true;
  std::vector<std::string> m_origins;
  std::vector<std::string> m_denied;
};

// The origins of a list value (blank-separated); "*" sets `any` (may be
// null), entries that are not origins go to `rejected` (may be null).
std::vector<std::string> ParseOriginList(const std::optional<std::string>& value, bool* any,
                                         std::vector<std::string>* rejected);

// The compared form of an origin: "null", or scheme://host[:port] in lower
// case without a default port and without one trailing "/"; nullopt when
// `text` is neither.
std::optional<std::string> NormalizeOrigin(std::string_view text);

}  // namespace qb
