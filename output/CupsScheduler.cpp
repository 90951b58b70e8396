#include "output/CupsScheduler.h"

#include <cups/cups.h>

#include <algorithm>

namespace qb {
namespace {

constexpr const char* kPrinterAttributes[] = {
    "printer-name",      "printer-info",  "printer-state", "printer-state-reasons",
    "printer-is-accepting-jobs", "printer-state-message", "media-supported"};

constexpr const char* kJobAttributes[] = {"job-state", "job-state-reasons",
                                          "job-state-message", "job-printer-state-message"};

std::vector<std::string> Strings(ipp_attribute_t* attribute) {
  std::vector<std::string> values;
  const int count = attribute == nullptr ? 0 : ippGetCount(attribute);
  for (int i = 0; i < count; ++i) {
    const char* value = ippGetString(attribute, i, nullptr);
    if (value != nullptr) {
      values.emplace_back(value);
    }
  }
  return values;
}

std::string String(ipp_attribute_t* attribute) {
  const char* value = attribute == nullptr ? nullptr : ippGetString(attribute, 0, nullptr);
  return value == nullptr ? std::string() : std::string(value);
}

// The printer described by the attributes from `first` up to the next group
// separator; `next` is left at that separator (or null).
CupsPrinterFacts ReadPrinter(ipp_t* answer, ipp_attribute_t* first, ipp_attribute_t** next) {
  CupsPrinterFacts printer;
  ipp_attribute_t* attribute = first;
  for (; attribute != nullptr && ippGetGroupTag(attribute) == IPP_TAG_PRINTER;
       attribute = ippNextAttribute(answer)) {
    const char* name = ippGetName(attribute);
    if (name == nullptr) {
      continue;
    }
    const std::string key(name);
    if (key == "printer-name") {
      printer.name = String(attribute);
    } else if (key == "printer-info") {
      printer.description = String(attribute);
    } else if (key == "printer-state") {
      printer.state = ippGetInteger(attribute, 0);
    } else if (key == "printer-state-reasons") {
      printer.reasons = CleanReasons(Strings(attribute));
    } else if (key == "printer-is-accepting-jobs") {
      printer.accepting = ippGetBoolean(attribute, 0) != 0;
    } else if (key == "printer-state-message") {
      printer.message = String(attribute);
    } else if (key == "media-supported") {
      printer.media = Strings(attribute);
    }
  }
  *next = attribute;
  return printer;
}

// Every printer group of `answer`.
std::vector<CupsPrinterFacts> ReadPrinters(ipp_t* answer) {
  std::vector<CupsPrinterFacts> printers;
  ipp_attribute_t* attribute = ippFirstAttribute(answer);
  while (attribute != nullptr) {
    if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
      attribute = ippNextAttribute(answer);
      continue;
    }
    ipp_attribute_t* next = nullptr;
    CupsPrinterFacts printer = ReadPrinter(answer, attribute, &next);
    if (!printer.name.empty()) {
      printers.push_back(std::move(printer));
    }
    attribute = next;
  }
  return printers;
}

std::string PrinterUri(const std::string& name) {
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   "/printers/%s", name.c_str());
  return uri;
}

}  // namespace

CupsScheduler::CupsScheduler(Clock::duration budget) : m_deadline(Clock::now() + budget) {}

CupsScheduler::~CupsScheduler() {
  if (m_http != nullptr) {
    httpClose(m_http);
  }
}

std::string CupsScheduler::ServerName() {
  const char* server = cupsServer();
  return server == nullptr ? std::string("localhost") : std::string(server);
}

std::string CupsScheduler::Unreachable() const {
  return "the print scheduler (CUPS at " + ServerName() + ") cannot be reached";
}

std::string CupsScheduler::NoAnswer(const std::string& what) const {
  const char* reason = cupsLastErrorString();
  if (cupsLastError() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || m_http == nullptr ||
      Clock::now() >= m_deadline) {
    return "the print scheduler (CUPS at " + ServerName() + ") did not answer " + what +
           (reason != nullptr && *reason != '\0' ? std::string(" (") + reason + ")" : "");
  }
  return reason != nullptr && *reason != '\0' ? std::string(reason)
                                              : "CUPS refused " + what;
}

bool CupsScheduler::ArmTimeout() {
  const auto left = std::chrono::duration<double>(m_deadline - Clock::now()).count();
  if (left <= 0) {
    return false;
  }
  httpSetTimeout(m_http, left, nullptr, nullptr);
  return true;
}

Result<http_t*> CupsScheduler::Connection() {
  if (m_http != nullptr) {
    if (!ArmTimeout()) {
      return Failure{Unreachable() + " in time"};
    }
    return m_http;
  }
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
  if (left <= 0) {
    return Failure{Unreachable() + " in time"};
  }
  m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                        static_cast<int>(std::min<long long>(left, 1 << 30)), nullptr);
  if (m_http == nullptr || !ArmTimeout()) {
    return Failure{Unreachable()};
  }
  return m_http;
}

Result<std::vector<CupsPrinterFacts>> CupsScheduler::Printers() {
  const Result<http_t*> http = Connection();
  if (!http) {
    return Failure{http.Error()};
  }
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kPrinterAttributes)), nullptr, kPrinterAttributes);
  ipp_t* answer = cupsDoRequest(*http, request, "/");
  if (answer == nullptr || ippGetStatusCode(answer) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    const bool none = answer != nullptr && ippGetStatusCode(answer) == IPP_STATUS_ERROR_NOT_FOUND;
    ippDelete(answer);
    if (none) {
      return std::vector<CupsPrinterFacts>{};
    }
    return Failure{NoAnswer("the list of printers")};
  }
  std::vector<CupsPrinterFacts> printers = ReadPrinters(answer);
  ippDelete(answer);
  return printers;
}

Result<CupsScheduler::Destinations> CupsScheduler::AllDestinations() {
  Result<std::vector<CupsPrinterFacts>> printers = Printers();
  if (!printers) {
    return Failure{printers.Error()};
  }
  Result<std::string> defaultName = DefaultPrinter();
  if (!defaultName) {
    return Failure{defaultName.Error()};
  }
  return Destinations{std::move(*defaultName), std::move(*printers)};
}

Result<CupsPrinterFacts> CupsScheduler::Printer(const std::string& name) {
  const Result<http_t*> http = Connection();
  if (!http) {
    return Failure{http.Error()};
  }
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               PrinterUri(name).c_str());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kPrinterAttributes)), nullptr, kPrinterAttributes);
  ipp_t* answer = cupsDoRequest(*http, request, "/");
  if (answer == nullptr || ippGetStatusCode(answer) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    ippDelete(answer);
    return Failure{NoAnswer("about printer " + name)};
  }
  std::vector<CupsPrinterFacts> printers = ReadPrinters(answer);
  ippDelete(answer);
  if (printers.empty()) {
    return Failure{"CUPS knows no printer " + name};
  }
  return std::move(printers.front());
}

Result<std::string> CupsScheduler::DefaultPrinter() {
  const Result<http_t*> http = Connection();
  if (!http) {
    return Failure{http.Error()};
  }
  cups_dest_t* dest = cupsGetNamedDest(*http, nullptr, nullptr);
  if (dest == nullptr) {
    const ipp_status_t status = cupsLastError();
    if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL) {
      return Failure{NoAnswer("which printer is the default")};
    }
    return std::string();
  }
  std::string name = dest->name == nullptr ? std::string() : std::string(dest->name);
  cupsFreeDests(1, dest);
  return name;
}

Result<CupsJobFacts> CupsScheduler::Job(int id) {
  const Result<http_t*> http = Connection();
  if (!http) {
    return Failure{http.Error()};
  }
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kJobAttributes)), nullptr, kJobAttributes);
  ipp_t* answer = cupsDoRequest(*http, request, "/");
  if (answer == nullptr || ippGetStatusCode(answer) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    ippDelete(answer);
    return Failure{NoAnswer("about job " + std::to_string(id))};
  }
  CupsJobFacts job;
  if (ipp_attribute_t* state = ippFindAttribute(answer, "job-state", IPP_TAG_ENUM)) {
    job.state = ippGetInteger(state, 0);
  }
  job.reasons = CleanReasons(Strings(ippFindAttribute(answer, "job-state-reasons", IPP_TAG_KEYWORD)));
  job.message = String(ippFindAttribute(answer, "job-printer-state-message", IPP_TAG_TEXT));
  if (job.message.empty()) {
    job.message = String(ippFindAttribute(answer, "job-state-message", IPP_TAG_TEXT));
  }
  ippDelete(answer);
  return job;
}

Result<int> CupsScheduler::Submit(const std::string& printer, const std::string& path,
                                  const std::string& title,
                                  const std::vector<std::pair<std::string, std::string>>& options) {
  const Result<http_t*> http = Connection();
  if (!http) {
    return Failure{http.Error()};
  }
  cups_option_t* cupsOptions = nullptr;
  int count = 0;
  for (const auto& [name, value] : options) {
    count = cupsAddOption(name.c_str(), value.c_str(), count, &cupsOptions);
  }
  const int job = cupsPrintFile2(*http, printer.c_str(), path.c_str(), title.c_str(), count,
                                 cupsOptions);
  cupsFreeOptions(count, cupsOptions);
  if (job <= 0) {
    return Failure{NoAnswer("the job")};
  }
  return job;
}

}  // namespace qb
