// The product queries as the server runs them for a request path: its pairs
// parsed at the server's boundary, and nullopt (the server error) for a path
// without argument text. Lets the tables of these tests stay request paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/PaperInfos.h"
#include "server/RouteArguments.h"

namespace qbtest {

inline std::optional<std::string> SearchAt(std::string_view path) {
  auto pairs = qb::ArgumentPairs(path);
  return pairs ? qb::PaperInfos().GetSearchList(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> DetailAt(std::string_view path) {
  auto pairs = qb::ArgumentPairs(path);
  return pairs ? qb::PaperInfos().GetDetail(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> RecentAt(std::string_view path) {
  auto pairs = qb::ArgumentPairs(path);
  return pairs ? qb::PaperInfos().GetRecentList(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> DrawingAt(std::string_view path) {
  auto name = qb::ArgumentText(path);
  return name ? std::optional(qb::PaperInfos().GetSvgData(std::move(*name))) : std::nullopt;
}

}  // namespace qbtest
