#include "server/RouteArguments.h"

#include "util/Text.h"

namespace qb {

std::optional<std::string> ArgumentText(std::string_view path) {
  std::vector<std::string> pieces;
  Split(&pieces, path, "@");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  return std::move(pieces[1]);
}

Condition ParseCondition(std::string_view piece) {
  std::vector<std::string> parts = Split(piece, "=");
  Condition condition;
  condition.name = std::move(parts[0]);
  if (parts.size() > 1) {
    condition.value = std::move(parts[1]);
  }
  return condition;
}

Condition FirstCondition(std::string_view argument) {
  return ParseCondition(argument.substr(0, argument.find('&')));
}

std::optional<std::vector<Condition>> ArgumentConditions(std::string_view path) {
  const std::optional<std::string> text = ArgumentText(path);
  if (!text) {
    return std::nullopt;
  }
  std::vector<Condition> conditions;
  for (const std::string& piece : Split(*text, "&")) {
    conditions.push_back(ParseCondition(piece));
  }
  return conditions;
}

bool GroupSelection::Selects(std::string_view word) const {
  return selector.find(word) != std::string::npos;
}

std::optional<GroupSelection> ParseGroupSelection(std::string_view argument) {
  std::vector<std::string> pieces = Split(argument, "&");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  GroupSelection selection;
  selection.selector = std::move(pieces[0]);
  selection.targets.assign(std::make_move_iterator(pieces.begin() + 1),
                           std::make_move_iterator(pieces.end()));
  return selection;
}

std::optional<UsageValues> ParseUsageValues(std::string_view argument) {
  const std::vector<std::string> pieces = Split(argument, "&");
  if (pieces.size() < 2) {
    return std::nullopt;
  }
  Condition first = ParseCondition(pieces[0]);
  Condition second = ParseCondition(pieces[1]);
  if (!first.value || !second.value) {
    return std::nullopt;
  }
  return UsageValues{std::move(*first.value), std::move(*second.value)};
}

std::optional<MaterialArguments> ParseMaterialArguments(std::string_view argument) {
  const std::vector<std::string> pieces = Split(argument, "&");
  if (pieces.size() < 3) {
    return std::nullopt;
  }
  MaterialArguments material;
  const std::string kind = ParseCondition(pieces[0]).value.value_or("");
  if (kind.size() == 1 && kind[0] >= '0' && kind[0] <= '3') {
    material.kind = static_cast<MaterialKind>(kind[0] - '0');
  }
  material.folder = ParseCondition(pieces[1]).value.value_or("");
  material.value = ParseCondition(pieces[2]).value.value_or("");
  return material;
}

}  // namespace qb
