#include "server/Dispatcher.h"

#include <array>
#include <atomic>

#include "catalog/Categories.h"
#include "catalog/Logs.h"
#include "catalog/PaperInfos.h"
#include "catalog/PaperSizeInfos.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "server/PictureRoutes.h"
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

// Catalogue lists, product queries, usage log and schema.

// A query's answer; nullopt (a malformed argument text) is a failed work.
RouteResult Answered(std::optional<std::string> answer) {
  if (!answer) {
    return {};
  }
  return {true, std::move(*answer)};
}

RouteResult PrepareCatalogue(const RouteRequest& route) {
  InitDataBase& definitions = *route.app->m_pInitDataBase;
  definitions.LoadDefinitions();
  definitions.CreateTables();
  return {true, AnsiToUtf8(GetAppDataFolder())};
}

RouteResult CheckCatalogue(const RouteRequest& route) {
  // The catalogue server's version check belongs first: a newer catalogue
  // there answers "1" before the product table is looked at.
  const int refresh = route.app->m_pInitDataBase->CheckJanCode("paper_infos", "jan_code");
  return {true, refresh == 1 ? "1" : "0"};
}

RouteResult ListCatalogue(const RouteRequest& route) {
  if (route.path.find("&P") != std::string::npos) {
    return {true, PaperSizeInfos().GetPaperSizeList()};
  }
  if (route.path.find("&C") != std::string::npos) {
    return {true, Categories().GetCategoryList()};
  }
  return {true, {}};
}

RouteResult SearchProducts(const RouteRequest& route) {
  return Answered(PaperInfos().GetSearchList(route.path));
}

RouteResult ProductDetail(const RouteRequest& route) {
  return Answered(PaperInfos().GetDetail(route.path));
}

RouteResult RecentProducts(const RouteRequest& route) {
  return Answered(PaperInfos().GetRecentList(route.path));
}

RouteResult DrawingFile(const RouteRequest& route) {
  return Answered(PaperInfos().GetSvgData(route.path));
}

RouteResult LogUsage(const RouteRequest& route) {
  Logs().InsertLog(route.argument);
  return {true, {}};
}

RouteResult RecordPicture(const RouteRequest& route) {
  PictGroupGenericHistoryInfos().InsertHistory(route.argument);
  return {true, {}};
}

// Work that answers from the argument text alone; a malformed argument text
// (nullopt) gives the server error.
template <std::optional<std::string> (*Serve)(const std::string&)>
RouteResult ServeArgument(const RouteRequest& route) {
  return Answered(Serve(route.argument));
}

constexpr std::array<Route, kRouteCount> kRoutes{{
    {"print/init", false, NotConnected},
    {"print/add", false, NotConnected},
    {"print/end", false, NotConnected},
    {"saveqx/save", false, NotConnected},
    {"dbAccess/DB_URL", false, PrepareCatalogue},
    {"dbAccess/IMG_URL", false, EmptyAnswer},
    {"dbAccess/SVG_DATA", false, DrawingFile},
    {"dbAccess/CHK_DB", false, CheckCatalogue},
    {"dbAccess/UPDATE_DB", false, NotConnected},
    {"dbAccess/UPDATE_STATUS_DB", false, NotConnected},
    {"dbAccess/LIST", false, ListCatalogue},
    {"dbAccess/SEARCH", false, SearchProducts},
    {"dbAccess/DETAIL", false, ProductDetail},
    {"dbAccess/RECENT", false, RecentProducts},
    {"dbAccess/TOP_GROUP", true, ServeArgument<ServeTopGroup>},
    {"dbAccess/SUB_GROUP", true, ServeArgument<ServeSubGroup>},
    {"dbAccess/GENERIC_GROUP", true, ServeArgument<ServeGenericGroup>},
    {"dbAccess/SOZAI_DOWNLOAD", true, NotConnected},
    {"dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD", false, NotConnected},
    {"dbAccess/TEMPLATE_LIST", true, ServeArgument<ServeTemplateList>},
    {"dbAccess/TEMPLATE_DATA", true, ServeArgument<ServeTemplateData>},
    {"dbAccess/TEMPLATE_DOWNLOAD", true, NotConnected},
    {"dbAccess/LOG", true, LogUsage},
    {"dbAccess/PICT_HISTORY", true, RecordPicture},
    {"dbAccess/PICT_RECENT", true, ServeArgument<ServePictRecent>},
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
