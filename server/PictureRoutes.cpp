#include "server/PictureRoutes.h"

#include <functional>
#include <span>
#include <vector>

#include "catalog/CatalogueDb.h"
#include "catalog/GenericGroupInfos.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "catalog/PictGroupSubLevelInfos.h"
#include "catalog/PictGroupTopLevelInfos.h"
#include "catalog/TemplateInfos.h"
#include "server/RouteArguments.h"
#include "util/ClientSocket.h"
#include "util/Log.h"
#include "util/LowPriorityPool.h"
#include "util/SafePath.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// The argument's selector and targets, or nullopt (with a trace) when there
// are fewer than two pieces.
std::optional<GroupSelection> Selection(const std::string& argument) {
  std::optional<GroupSelection> selection = ParseGroupSelection(argument);
  if (!selection) {
    LogDebug("too few pieces in the argument text " + argument);
  }
  return selection;
}

// Answers a query whose condition the client wrote on a low-priority thread,
// so that runaway conditions leave the processor to other requests. When all
// such threads are busy the query runs here, where it finds every condition
// slot taken and answers at once as a failed statement.
std::optional<std::string> OnConditionThread(
    const std::function<std::optional<std::string>()>& query) {
  static LowPriorityPool pool(kMaxClientConditions);
  std::optional<std::string> answer;
  const int socket = ClientSocket::Current();
  const auto run = [&] {
    const ClientSocket client(socket);
    answer = query();
  };
  if (!pool.TryRun(run)) {
    run();
  }
  return answer;
}

}  // namespace

std::optional<std::string> ServeTopGroup(const std::string& argument) {
  const std::optional<GroupSelection> selection = Selection(argument);
  if (!selection) {
    return std::nullopt;
  }
  const Condition target = ParseCondition(selection->targets[0]);
  const PictGroupTopLevelInfos groups;
  if (!selection->Selects("list")) {
    return groups.GetPictList(std::span(&target, 1));
  }
  if (!target.value) {
    return std::nullopt;
  }
  return groups.GetTopLevelList(*target.value);
}

std::optional<std::string> ServeSubGroup(const std::string& argument) {
  const std::optional<GroupSelection> selection = Selection(argument);
  if (!selection) {
    return std::nullopt;
  }
  const std::vector<std::string>& targets = selection->targets;
  const PictGroupSubLevelInfos groups;
  if (selection->Selects("list")) {
    // The target is the client's own condition, taken as sent.
    return OnConditionThread([&] { return groups.GetSubLevelList(targets[0]); });
  }
  // Two filters when exactly two targets are sent; otherwise the first only.
  std::vector<Condition> filters{ParseCondition(targets[0])};
  if (targets.size() == 2) {
    filters.push_back(ParseCondition(targets[1]));
  }
  return groups.GetPictList(filters);
}

std::optional<std::string> ServeGenericGroup(const std::string& argument) {
  const std::optional<GroupSelection> selection = Selection(argument);
  if (!selection) {
    return std::nullopt;
  }
  const GenericGroupInfos groups;
  if (selection->Selects("backlist")) {
    return groups.GetBackGroupList();
  }
  const Condition target = ParseCondition(selection->targets[0]);
  if (selection->Selects("backimages")) {
    return groups.GetPictList(target, GenericGroupInfos::PictMode::kBackground);
  }
  if (selection->Selects("list")) {
    return groups.GetGroupList(target);
  }
  if (selection->Selects("images") || selection->Selects("pictImages2")) {
    return groups.GetPictList(target, GenericGroupInfos::PictMode::kMaterial);
  }
  return std::string();
}

std::optional<std::string> ServeTemplateList(const std::string& argument) {
  const Condition product = FirstCondition(argument);
  if (!product.value) {
    return std::nullopt;
  }
  return TemplateInfos().GetTemplateList(*product.value);
}

std::optional<std::string> ServeTemplateData(const std::string& argument) {
  const std::optional<std::string> path = ResolveInsideFolder(GetDataFolder(), argument);
  if (!path) {
    LogDebug("refused a template path outside the data folder: " + argument);
    return std::string();
  }
  return ReadFileAsHex(*path);
}

std::optional<std::string> ServePictRecent(const std::string& argument) {
  return OnConditionThread(
      [&] { return PictGroupGenericHistoryInfos().GetHistoryPictList(argument); });
}

}  // namespace qb
