#include "server/Dispatcher.h"

#include <array>
#include <atomic>

#include "update/UpdateRun.h"
#include "update/VersionCheck.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// What a route's work gets: the context, the parsed request, the whole path
// and, for routes that take one, the argument text.
struct RouteRequest {
  CAppData* app;
  const CReqParse& request;
  const std::string& path;
  const std::string& argument;
};

// The body to send, or failure (the server-error answer).
struct RouteResult {
  bool ok = false;
  std::string body;
};

using RouteWork = RouteResult (*)(const RouteRequest&);

struct Route {
  std::string_view text;
  bool needsArgument;  // the work reads the argument text after "@"
  RouteWork work;
};

RouteResult EmptyAnswer(const RouteRequest&) { return {true, {}}; }

// Work that is connected as its subsystem arrives answers the server error
// until then.
RouteResult NotConnected(const RouteRequest& route) {
  LogDebug("route not available yet: " + route.path);
  return {};
}

RouteResult DataFolderAnswer(const RouteRequest& route) {
  route.app->m_pInitDataBase->LoadDefinitions();
  route.app->m_pInitDataBase->CreateTables();
  return {true, AnsiToUtf8(GetAppDataFolder())};
}

RouteResult CheckDb(const RouteRequest& route) {
  return {true, CheckDbAnswer(*route.app->m_pInitDataBase, &route.app->m_bStop)};
}

RouteResult UpdateDb(const RouteRequest& route) {
  RunUpdate(*route.app->m_pInitDataBase, *route.app->m_pDownloadDataBase);
  return {true, {}};
}

RouteResult QueueStatus(const RouteRequest& route) {
  return {true, route.app->m_pDownloadDataBase->StatusText()};
}

constexpr std::array<Route, kRouteCount> kRoutes{{
    {"print/init", false, NotConnected},
    {"print/add", false, NotConnected},
    {"print/end", false, NotConnected},
    {"saveqx/save", false, NotConnected},
    {"dbAccess/DB_URL", false, DataFolderAnswer},
    {"dbAccess/IMG_URL", false, EmptyAnswer},
    {"dbAccess/SVG_DATA", false, NotConnected},
    {"dbAccess/CHK_DB", false, CheckDb},
    {"dbAccess/UPDATE_DB", false, UpdateDb},
    {"dbAccess/UPDATE_STATUS_DB", false, QueueStatus},
    {"dbAccess/LIST", false, NotConnected},
    {"dbAccess/SEARCH", false, NotConnected},
    {"dbAccess/DETAIL", false, NotConnected},
    {"dbAccess/RECENT", false, NotConnected},
    {"dbAccess/TOP_GROUP", true, NotConnected},
    {"dbAccess/SUB_GROUP", true, NotConnected},
    {"dbAccess/GENERIC_GROUP", true, NotConnected},
    {"dbAccess/SOZAI_DOWNLOAD", true, NotConnected},
    {"dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD", false, QueueStatus},
    {"dbAccess/TEMPLATE_LIST", true, NotConnected},
    {"dbAccess/TEMPLATE_DATA", true, NotConnected},
    {"dbAccess/TEMPLATE_DOWNLOAD", true, NotConnected},
    {"dbAccess/LOG", true, NotConnected},
    {"dbAccess/PICT_HISTORY", true, NotConnected},
    {"dbAccess/PICT_RECENT", true, NotConnected},
}};

std::atomic<uint64_t> g_nextSessionId{0};

}  // namespace

std::string SuccessAnswer(std::string_view body) {
  std::string answer;
  answer.reserve(128 + body.size());
  answer.append(
      "HTTP/1.1 200 OK\r\n"
      "Access-Control-Allow-Origin: *\r\n"
      "Content-Type: text/plain\r\n"
      "Content-Length: ");
  answer.append(std::to_string(body.size()));
  answer.append("\r\n\r\n");
  answer.append(body);
  return answer;
}

std::string_view RouteText(size_t index) { return kRoutes.at(index).text; }

int FindRoute(std::string_view path) {
  for (size_t i = 0; i < kRoutes.size(); ++i) {
    if (path.find(kRoutes[i].text) != std::string_view::npos) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool GetArgumentText(std::string_view path, std::string* argument) {
  std::vector<std::string> pieces;
  Split(&pieces, path, "@");
  if (pieces.size() < 2) {
    return false;
  }
  *argument = std::move(pieces[1]);
  return true;
}

std::string NextSessionId() { return std::to_string(g_nextSessionId.fetch_add(1)); }

std::string BuildAnswer(CAppData* app, const CReqParse* request) {
  if (app == nullptr || app->m_bStop.load() != 0 || request == nullptr) {
    return std::string(kNotFoundAnswer);
  }
  const std::string path = request->GetPath();
  if (path.empty()) {
    return std::string(kNotFoundAnswer);
  }
  const int index = FindRoute(path);
  if (index < 0) {
    return std::string(kServerErrorAnswer);
  }
  const Route& route = kRoutes[static_cast<size_t>(index)];
  std::string argument;
  if (route.needsArgument && !GetArgumentText(path, &argument)) {
    LogDebug("no argument text in " + path);
    return std::string(kServerErrorAnswer);
  }
  const RouteResult result = route.work(RouteRequest{app, *request, path, argument});
  if (!result.ok) {
    return std::string(kServerErrorAnswer);
  }
  return SuccessAnswer(result.body);
}

}  // namespace qb
