#include "server/Dispatcher.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "catalog/Categories.h"
#include "catalog/LogsTable.h"
#include "catalog/PaperInfos.h"
#include "catalog/PaperSizeInfos.h"
#include "catalog/PictGroupGenericHistoryInfos.h"
#include "server/BrowserGuard.h"
#include "server/PictureRoutes.h"
#include "server/RefusalLog.h"
#include "server/RouteArguments.h"
#include "output/CPrintPage.h"
#include "output/CPrintSession.h"
#include "output/CQxSaveSession.h"
#include "output/CupsScheduler.h"
#include "output/JsonText.h"
#include "output/PrintJobStatus.h"
#include "catalog/CatalogueDamage.h"
#include "update/CatalogueRecovery.h"
#include "update/MaterialDownload.h"
#include "update/TemplateDownload.h"
#include "update/VersionCheck.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// The services of the context that routes use, taken once per request; the
// rest of the context (the listener's flags, notifiers, port, policies and
// the settings store) stays out of the routes' reach. Valid while the context
// lives, which outlasts every request.
struct RouteServices {
  CPrintMgr& printSessions;
  CControlWindow* window;  // the control window when the request came; may be null
  CatalogueSchema& catalogue;
  DownloadQueue& downloads;
  UpdateActivity& updates;
  const std::atomic<bool>& stop;

  static RouteServices Of(CAppData& app) {
    return {app.PrintSessions(), app.ControlWindow(), app.Catalogue(),
            app.Downloads(),     app.Updates(),       *app.StopFlag()};
  }
};

// What a route's work gets: the services, the parsed request, the whole path
// and, for routes that take one, the argument text. The route table hands a
// work that needs services only the ones it uses.
struct RouteRequest {
  const RouteServices& services;
  const CReqParse& request;
  const std::string& path;
  const std::string& argument;
};

// The whole answer to send (SuccessAnswer, or one a route frames itself with
// another type or status); nullopt for a failed work, which gets the
// server-error answer.
using RouteResult = std::optional<std::string>;

using RouteWork = RouteResult (*)(const RouteRequest&);

struct Route {
  std::string_view text;
  bool needsArgument;  // the work reads the argument text after "@"
  RouteWork work;
  // The answer comes from the request alone (no file, database, network or
  // user), so the listener may answer it itself.
  bool fromRequestAlone = false;
};

RouteResult EmptyAnswer(const RouteRequest&) { return SuccessAnswer(""); }

// The value of body item `name` read as a decimal integer (LeadingInt32);
// 0 when the item is missing.
int ItemInt(const CReqParse& request, std::string_view name) {
  const ParamData* item = request.FindItem(name);
  return item == nullptr ? 0 : LeadingInt32(item->GetValue());
}

// The print session named by body item "id", or null.
std::shared_ptr<CPrintSession> RequestedSession(CPrintMgr& sessions, const CReqParse& request) {
  const ParamData* id = request.FindItem("id");
  if (id == nullptr) {
    return nullptr;
  }
  return sessions.Lookup(id->GetValue());
}

RouteResult PrintInit(CPrintMgr& sessions, const CReqParse& request) {
  auto session = std::make_unique<CPrintSession>(
      NextSessionId(), ItemInt(request, "width"), ItemInt(request, "height"),
      ItemInt(request, "orientation"), ItemInt(request, "printCopies"));
  const std::shared_ptr<const CPrintSession> stored = sessions.Register(std::move(session));
  if (stored == nullptr) {
    return std::nullopt;
  }
  LogDebug("print session " + stored->m_strId + ": " + std::to_string(stored->m_nWidth) + " x " +
           std::to_string(stored->m_nHeight) + " mm, orientation " +
           std::to_string(stored->m_nOrientation) + ", copies " +
           std::to_string(stored->m_nCopies));
  return SuccessAnswer(stored->m_strId);
}

RouteResult PrintAdd(CPrintMgr& sessions, const CReqParse& request) {
  const std::shared_ptr<CPrintSession> session = RequestedSession(sessions, request);
  const ParamData* image = request.FindItem("img");
  if (session == nullptr || image == nullptr) {
    return std::nullopt;
  }
  Result<std::unique_ptr<CPrintPage>> page = CPrintPage::FromDataImage(image->GetValue());
  if (!page) {
    LogError("print session " + session->m_strId + ": page refused: " + page.Error());
    return std::nullopt;
  }
  const Result<int> key = session->AddPage(std::move(*page));
  if (!key) {
    LogInfo("print session " + session->m_strId + ": page refused: " + key.Error());
    return std::nullopt;
  }
  if (*key != CPrintSession::kDroppedPage) {
    const int pages = session->PageCount();
    sessions.Outcomes().Update(session->m_strId,
                               [pages](PrintOutcome& outcome) { outcome.pages = pages; });
  }
  LogDebug("print session " + session->m_strId +
           (*key == CPrintSession::kDroppedPage ? ": page dropped: the session has ended"
                                                : ": page " + std::to_string(*key)));
  return SuccessAnswer("");
}

RouteResult PrintEnd(CPrintMgr& sessions, CControlWindow* window, const CReqParse& request) {
  std::shared_ptr<CPrintSession> session = RequestedSession(sessions, request);
  if (session == nullptr || window == nullptr) {
    return std::nullopt;
  }
  session->MarkPosted();
  sessions.Outcomes().Update(session->m_strId, [](PrintOutcome& outcome) {
    if (outcome.state == PrintState::kOpen) {
      outcome.state = PrintState::kWaiting;
    }
  });
  window->PostPrint(std::move(session));
  return SuccessAnswer("");
}

// How long a print question may wait for the CUPS scheduler: well inside the
// time a client gives an answer.
constexpr std::chrono::seconds kSchedulerBudget{2};

RouteResult PrintStatus(CPrintMgr& sessions, const CReqParse& request) {
  const ParamData* id = request.FindItem("id");
  std::optional<PrintOutcome> outcome;
  if (id != nullptr) {
    outcome = RefreshPrintOutcome(sessions.Outcomes(), id->GetValue(), kSchedulerBudget);
  }
  if (!outcome) {
    return JsonAnswer("404 Not Found", "{\"error\":\"unknown print session\"}");
  }
  return JsonAnswer("200 OK", OutcomeJson(*outcome));
}

RouteResult PrinterList(const RouteRequest&) {
  const Result<CupsScheduler::Destinations> destinations =
      CupsScheduler(kSchedulerBudget).AllDestinations();
  if (!destinations) {
    LogError("cannot list the printers: " + destinations.Error());
    return JsonAnswer("503 Service Unavailable",
                      "{\"error\":" + JsonQuoted(destinations.Error()) + "}");
  }
  return JsonAnswer("200 OK", PrintersJson(destinations->defaultName, destinations->printers));
}

RouteResult SaveUpload(CControlWindow* window, const CReqParse& request) {
  const ParamData* data = request.FindItem("BinaryData");
  if (data == nullptr || window == nullptr) {
    return std::nullopt;
  }
  auto session = std::make_unique<CQxSaveSession>(NextSessionId());
  if (!session->SetData(data->m_binary.data(), static_cast<int64_t>(data->m_binary.size()))) {
    return std::nullopt;
  }
  session->SetName(request.GetQueryName());
  LogDebug("document " + session->m_strId + ": " + std::to_string(session->Size()) +
           " bytes, suggested name \"" + session->GetName() + "\"");
  window->PostSave(std::move(session));
  return SuccessAnswer("");
}

// Catalogue lists, product queries, usage log and schema.

// A query's answer; nullopt (a malformed argument text) is a failed work.
RouteResult Answered(std::optional<std::string> answer) {
  if (!answer) {
    return std::nullopt;
  }
  return SuccessAnswer(std::move(*answer));
}

RouteResult PrepareCatalogue(CatalogueSchema& definitions, DownloadQueue& queue) {
  definitions.CreateTables();
  // A file SQLite cannot read as a catalogue is moved aside and rebuilt.
  RecoverDamagedCatalogueBetweenUpdates(definitions, queue);
  // Nothing installs a catalogue on this platform: the folder starts at
  // version 0 so that the first check syncs from the catalogue server.
  EnsureLocalVersionFile();
  return SuccessAnswer(AnsiToUtf8(GetAppDataFolder()));
}

RouteResult CheckCatalogue(CatalogueSchema& definitions, DownloadQueue& queue,
                           const std::atomic<bool>& stop) {
  RecoverDamagedCatalogueBetweenUpdates(definitions, queue);
  std::string answer = CheckDbAnswer(definitions, &stop);
  if (CatalogueSuspect()) {
    // The check itself met the damage: rebuilt, the catalogue starts again
    // from version 0 and the check is asked once more.
    RecoverDamagedCatalogueBetweenUpdates(definitions, queue);
    answer = CheckDbAnswer(definitions, &stop);
  }
  return SuccessAnswer(std::move(answer));
}

RouteResult UpdateCatalogue(UpdateActivity& updates, CatalogueSchema& definitions,
                            DownloadQueue& queue) {
  updates.Run(definitions, queue);
  return SuccessAnswer("");
}

RouteResult QueueStatus(const DownloadQueue& queue) { return SuccessAnswer(queue.StatusText()); }

// A material request (ParseMaterialArguments): a known kind runs that
// material download, any other does nothing. Fewer than three pieces is a
// malformed request.
RouteResult DownloadMaterials(DownloadQueue& queue, const std::string& argument) {
  const std::optional<MaterialArguments> material = ParseMaterialArguments(argument);
  if (!material) {
    return std::nullopt;
  }
  if (material->kind) {
    MaterialDownload(*material->kind).RunMaterialRequest(queue, material->folder, material->value);
  }
  return SuccessAnswer("");
}

RouteResult DownloadTemplates(DownloadQueue& queue, const std::string& argument) {
  TemplateDownload().DownloadTemplates(queue, argument);
  return SuccessAnswer("");
}

RouteResult ListCatalogue(const RouteRequest& route) {
  if (route.path.find("&P") != std::string::npos) {
    return SuccessAnswer(PaperSizeInfos().GetPaperSizeList());
  }
  if (route.path.find("&C") != std::string::npos) {
    return SuccessAnswer(Categories().GetCategoryList());
  }
  return SuccessAnswer("");
}

// A product query over the conditions of the argument text; a path without
// one gives the server error.
template <std::optional<std::string> (PaperInfos::*Query)(std::vector<Condition>)>
RouteResult ProductQuery(const RouteRequest& route) {
  std::optional<std::vector<Condition>> conditions = ArgumentConditions(route.path);
  if (!conditions) {
    return std::nullopt;
  }
  return Answered((PaperInfos().*Query)(std::move(*conditions)));
}

RouteResult DrawingFile(const RouteRequest& route) {
  std::optional<std::string> name = ArgumentText(route.path);
  if (!name) {
    return std::nullopt;
  }
  return SuccessAnswer(PaperInfos().GetSvgData(std::move(*name)));
}

// The usage log and the picture history answer success whether or not a row
// is written.
RouteResult LogUsage(const RouteRequest& route) {
  if (const std::optional<UsageValues> used = ParseUsageValues(route.argument)) {
    Logs().InsertLog(used->first, used->second);
  } else {
    LogDebug("usage log entry without its two values: " + route.argument);
  }
  return SuccessAnswer("");
}

RouteResult RecordPicture(const RouteRequest& route) {
  if (const std::optional<UsageValues> picked = ParseUsageValues(route.argument)) {
    PictGroupGenericHistoryInfos().InsertHistory(picked->first, picked->second);
  } else {
    LogDebug("picture history entry without its two values: " + route.argument);
  }
  return SuccessAnswer("");
}

// Work that answers from the argument text alone; a malformed argument text
// (nullopt) gives the server error.
template <std::optional<std::string> (*Serve)(const std::string&)>
RouteResult ServeArgument(const RouteRequest& route) {
  return Answered(Serve(route.argument));
}

// Works that use services get, through their entry, only the ones they use.
constexpr auto kRoutes = std::to_array<Route>({
    {"print/init", false,
     [](const RouteRequest& r) { return PrintInit(r.services.printSessions, r.request); }},
    {"print/add", false,
     [](const RouteRequest& r) { return PrintAdd(r.services.printSessions, r.request); }},
    {"print/end", false,
     [](const RouteRequest& r) {
       return PrintEnd(r.services.printSessions, r.services.window, r.request);
     }},
    {"print/status", false,
     [](const RouteRequest& r) { return PrintStatus(r.services.printSessions, r.request); }},
    {"print/printers", false, PrinterList},
    {"saveqx/save", false,
     [](const RouteRequest& r) { return SaveUpload(r.services.window, r.request); }},
    {"dbAccess/DB_URL", false,
     [](const RouteRequest& r) {
       return PrepareCatalogue(r.services.catalogue, r.services.downloads);
     }},
    {"dbAccess/IMG_URL", false, EmptyAnswer, true},
    {"dbAccess/SVG_DATA", false, DrawingFile},
    {"dbAccess/CHK_DB", false,
     [](const RouteRequest& r) {
       return CheckCatalogue(r.services.catalogue, r.services.downloads, r.services.stop);
     }},
    {"dbAccess/UPDATE_DB", false,
     [](const RouteRequest& r) {
       return UpdateCatalogue(r.services.updates, r.services.catalogue, r.services.downloads);
     }},
    {"dbAccess/UPDATE_STATUS_DB", false,
     [](const RouteRequest& r) { return QueueStatus(r.services.downloads); }},
    {"dbAccess/LIST", false, ListCatalogue},
    {"dbAccess/SEARCH", false, ProductQuery<&PaperInfos::GetSearchList>},
    {"dbAccess/DETAIL", false, ProductQuery<&PaperInfos::GetDetail>},
    {"dbAccess/RECENT", false, ProductQuery<&PaperInfos::GetRecentList>},
    {"dbAccess/TOP_GROUP", true, ServeArgument<ServeTopGroup>},
    {"dbAccess/SUB_GROUP", true, ServeArgument<ServeSubGroup>},
    {"dbAccess/GENERIC_GROUP", true, ServeArgument<ServeGenericGroup>},
    {"dbAccess/SOZAI_DOWNLOAD", true,
     [](const RouteRequest& r) { return DownloadMaterials(r.services.downloads, r.argument); }},
    {"dbAccess/SOZAI_TEMP_STATUS_DOWNLOAD", false,
     [](const RouteRequest& r) { return QueueStatus(r.services.downloads); }},
    {"dbAccess/TEMPLATE_LIST", true, ServeArgument<ServeTemplateList>},
    {"dbAccess/TEMPLATE_DATA", true, ServeArgument<ServeTemplateData>},
    {"dbAccess/TEMPLATE_DOWNLOAD", true,
     [](const RouteRequest& r) { return DownloadTemplates(r.services.downloads, r.argument); }},
    {"dbAccess/LOG", true, LogUsage},
    {"dbAccess/PICT_HISTORY", true, RecordPicture},
    {"dbAccess/PICT_RECENT", true, ServeArgument<ServePictRecent>},
});

std::atomic<uint64_t> g_nextSessionId{0};

}  // namespace

namespace {

// An answer with the CORS header, `type` and the length of `body`.
std::string FramedAnswer(std::string_view status, std::string_view type, std::string_view body) {
  std::string answer;
  answer.reserve(128 + body.size());
  answer.append("HTTP/1.1 ").append(status).append("\r\nAccess-Control-Allow-Origin: *\r\n");
  answer.append("Content-Type: ").append(type).append("\r\nContent-Length: ");
  answer.append(std::to_string(body.size())).append("\r\n\r\n").append(body);
  return answer;
}

}  // namespace

std::string SuccessAnswer(std::string_view body) {
  return FramedAnswer("200 OK", "text/plain", body);
}

std::string JsonAnswer(std::string_view status, std::string_view body) {
  return FramedAnswer(status, "application/json", body);
}

namespace {

// The first route (in table order) whose text occurs in `path`.
const Route* RouteOf(std::string_view path) {
  for (const Route& route : kRoutes) {
    if (path.find(route.text) != std::string_view::npos) {
      return &route;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<std::string_view> FindRoute(std::string_view path) {
  const Route* route = RouteOf(path);
  return route != nullptr ? std::optional<std::string_view>(route->text) : std::nullopt;
}

// A route's text must occur in the request's bytes for it to be chosen,
// unless the target spells it with escapes, which only costs such a request
// the hand-over to a worker.
constexpr size_t kAtOnceLongestRequest = 4096;

bool MightAnswerAtOnce(std::string_view bytes) {
  if (bytes.size() > kAtOnceLongestRequest) {
    return false;
  }
  return std::any_of(kRoutes.begin(), kRoutes.end(), [bytes](const Route& route) {
    return route.fromRequestAlone && bytes.find(route.text) != std::string_view::npos;
  });
}

bool AnswersAtOnce(const CReqParse& request) {
  const Route* route = RouteOf(request.GetPath());
  return route != nullptr && route->fromRequestAlone;
}

std::vector<std::string_view> RouteTexts() {
  std::vector<std::string_view> texts;
  for (const Route& route : kRoutes) {
    texts.push_back(route.text);
  }
  return texts;
}

std::string NextSessionId() { return std::to_string(g_nextSessionId.fetch_add(1)); }

std::optional<std::string> OriginToAsk(const CAppData& app, const CReqParse& request) {
  const CControlWindow* window = app.ControlWindow();
  if (window == nullptr || !window->AsksUser() || request.HeaderValues("Origin").empty()) {
    return std::nullopt;
  }
  GuardVerdict verdict = CheckRequest(GuardContext::Of(app), request);
  if (verdict.kind != GuardVerdict::Kind::kAsk) {
    return std::nullopt;
  }
  return std::move(verdict.origin);
}

std::string BuildAnswer(CAppData* app, const CReqParse* request) {
  if (app == nullptr || app->IsStopping() || request == nullptr) {
    return std::string(kNotFoundAnswer);
  }
  GuardVerdict verdict = CheckRequest(GuardContext::Of(*app), *request);
  if (verdict.kind == GuardVerdict::Kind::kAnswer) {
    return std::move(verdict.answer);
  }
  if (verdict.kind == GuardVerdict::Kind::kAsk) {
    // Nobody holds it until the user answers: refused for now.
    Refusals().Log("unanswered " + verdict.origin,
                   "refused a request from origin \"" + verdict.origin +
                       "\" while the user has not answered whether it may use the server");
    return std::string(kWaitingAnswer);
  }
  const std::string path = request->GetPath();
  if (path.empty()) {
    return std::string(kNotFoundAnswer);
  }
  const Route* found = RouteOf(path);
  if (found == nullptr) {
    return std::string(kServerErrorAnswer);
  }
  const Route& route = *found;
  std::optional<std::string> argument;
  if (route.needsArgument && !(argument = ArgumentText(path))) {
    LogDebug("no argument text in " + path);
    return std::string(kServerErrorAnswer);
  }
  const RouteServices services = RouteServices::Of(*app);
  const RouteResult result =
      route.work(RouteRequest{services, *request, path, argument ? *argument : std::string()});
  if (!result) {
    return std::string(kServerErrorAnswer);
  }
  return std::move(*result);
}

}  // namespace qb
