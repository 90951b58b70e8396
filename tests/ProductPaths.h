// The product queries and usage writes as the server runs them for a request
// path or argument text: parsed at the server's boundary, nullopt (the server
// error) for a path without argument text. Lets the tables of these tests stay
// request texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/LogsTable.h"
#include "catalog/PaperInfos.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "server/RouteArguments.h"

namespace qbtest {

inline std::optional<std::string> SearchAt(std::string_view path) {
  auto pairs = qb::ArgumentConditions(path);
  return pairs ? qb::PaperInfos().GetSearchList(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> DetailAt(std::string_view path) {
  auto pairs = qb::ArgumentConditions(path);
  return pairs ? qb::PaperInfos().GetDetail(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> RecentAt(std::string_view path) {
  auto pairs = qb::ArgumentConditions(path);
  return pairs ? qb::PaperInfos().GetRecentList(std::move(*pairs)) : std::nullopt;
}

inline std::optional<std::string> DrawingAt(std::string_view path) {
  auto name = qb::ArgumentText(path);
  return name ? std::optional(qb::PaperInfos().GetSvgData(std::move(*name))) : std::nullopt;
}

// The usage-log write of argument text "p=PRODUCT&t=TIME"; false when the
// text lacks a value or the row was not written.
inline bool LogUsageAt(std::string_view argument) {
  const auto used = qb::ParseUsageValues(argument);
  return used && qb::Logs().InsertLog(used->first, used->second);
}

// The picture-history write of argument text "t=THUMB&i=IMAGE".
inline bool RecordPictureAt(std::string_view argument) {
  const auto picked = qb::ParseUsageValues(argument);
  return picked && qb::PictGroupGenericHistoryInfos().InsertHistory(picked->first, picked->second);
}

}  // namespace qbtest
