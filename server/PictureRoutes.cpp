#include "server/PictureRoutes.h"

#include <functional>
#include <vector>

#include "catalog/CatalogueDb.h"
#include "catalog/GenericGroupInfos.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "catalog/PictGroupSubLevelInfos.h"
#include "catalog/PictGroupTopLevelInfos.h"
#include "catalog/TemplateInfos.h"
#include "util/ClientSocket.h"
#include "util/Log.h"
#include "util/LowPriorityPool.h"
#include "util/SafePath.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// The argument's "&" pieces (a selector, then what it selects), or nullopt
// (with a trace) when there are fewer than two.
std::optional<std::vector<std::string>> SplitSelector(const std::string& argument) {
  std::vector<std::string> pieces = Split(argument, "&");
  if (pieces.size() < 2) {
    LogDebug("too few pieces in the argument text " + argument);
    return std::nullopt;
  }
  return pieces;
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
  const std::optional<std::vector<std::string>> selected = SplitSelector(argument);
  if (!selected) {
    return std::nullopt;
  }
  const std::vector<std::string>& pieces = *selected;
  const PictGroupTopLevelInfos groups;
  return Contains(pieces[0], "list") ? groups.GetTopLevelList(pieces[1])
                                     : groups.GetPictList(pieces[1]);
}

std::optional<std::string> ServeSubGroup(const std::string& argument) {
  const std::optional<std::vector<std::string>> selected = SplitSelector(argument);
  if (!selected) {
    return std::nullopt;
  }
  const std::vector<std::string>& pieces = *selected;
  const PictGroupSubLevelInfos groups;
  if (Contains(pieces[0], "list")) {
    return OnConditionThread([&] { return groups.GetSubLevelList(pieces[1]); });
  }
  if (pieces.size() == 3) {
    return groups.GetPictList(pieces[1] + "&" + pieces[2]);
  }
  return groups.GetPictList(pieces[1]);
}

std::optional<std::string> ServeGenericGroup(const std::string& argument) {
  const std::optional<std::vector<std::string>> selected = SplitSelector(argument);
  if (!selected) {
    return std::nullopt;
  }
  const std::vector<std::string>& pieces = *selected;
  const GenericGroupInfos groups;
  const std::string& selector = pieces[0];
  if (Contains(selector, "backlist")) {
    return groups.GetBackGroupList(pieces[1]);
  }
  if (Contains(selector, "backimages")) {
    return groups.GetPictList(pieces[1], GenericGroupInfos::PictMode::kBackground);
  }
  if (Contains(selector, "list")) {
    return groups.GetGroupList(pieces[1]);
  }
  if (Contains(selector, "images") || Contains(selector, "pictImages2")) {
    return groups.GetPictList(pieces[1], GenericGroupInfos::PictMode::kMaterial);
  }
  return std::string();
}

std::optional<std::string> ServeTemplateList(const std::string& argument) {
  return TemplateInfos().GetTemplateList(argument);
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
