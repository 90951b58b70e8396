#include "context/ListeningPlace.h"

namespace qb {

std::string ListeningPlace::Text() const {
  const std::string portText = "port " + std::to_string(port);
  switch (way) {
    case Way::kNowhere:
      return {};
    case Way::kBound: {
      std::string bound;
      for (const std::string& address : addresses) {
        bound += (bound.empty() ? "" : " and ") + address;
      }
      return bound + " " + portText;
    }
    case Way::kRegistered:
      return portText + " through the port broker at " + broker + " (registered)";
    case Way::kWaiting:
      return portText + " through the port broker at " + broker +
             " (waiting: another server of this user is registered)";
  }
  return {};
}

}  // namespace qb
