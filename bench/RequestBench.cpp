// Cost of the request path without sockets: framing, parsing and answer
// building for the cheap route (any origin allowed, and a list of allowed
// origins), and parsing of a large form body (a page
// image of about 4 MB).
#include <benchmark/benchmark.h>

#include <string>

#include "server/CReqParse.h"
#include "server/Dispatcher.h"
#include "server/RequestFramer.h"

namespace {

const std::string kCheapRequest =
    "GET /dbAccess/IMG_URL HTTP/1.1\r\nHost: localhost:3210\r\nUser-Agent: Mozilla/5.0 (X11; "
    "Linux x86_64)\r\nAccept: */*\r\nOrigin: http://localhost:8080\r\nConnection: keep-alive\r\n\r\n";

// Frames, parses and answers the cheap request once per iteration.
void AnswerCheapRequest(benchmark::State& state, qb::CAppData& app) {
  for (auto _ : state) {
    qb::RequestFramer framer;
    const qb::RequestFrame frame = framer.Update(kCheapRequest);
    qb::CReqParse parse;
    parse.Parse(std::string_view(kCheapRequest).substr(0, frame.size));
    benchmark::DoNotOptimize(qb::BuildAnswer(&app, &parse));
  }
}

void BM_CheapRouteAnswer(benchmark::State& state) {
  qb::CAppData app;
  AnswerCheapRequest(state, app);
}
BENCHMARK(BM_CheapRouteAnswer);

// The same with allowedOrigins set to a list that holds the request's origin:
// the Origin header is looked up and compared before the route runs.
void BM_CheapRouteAnswerWithOriginList(benchmark::State& state) {
  qb::CAppData app;
  app.SetOriginPolicy(std::make_shared<const qb::OriginPolicy>(qb::OriginPolicy::FromConfig(
      "https://labels.example.com http://localhost:8080 null", nullptr)));
  AnswerCheapRequest(state, app);
}
BENCHMARK(BM_CheapRouteAnswerWithOriginList);

void BM_PageImageBody(benchmark::State& state) {
  const std::string body = "id=0&img=data:image/png;base64," + std::string(4 << 20, 'A');
  const std::string request = "POST /print/add HTTP/1.1\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  for (auto _ : state) {
    qb::RequestFramer framer;
    benchmark::DoNotOptimize(framer.Update(request));
    qb::CReqParse parse;
    benchmark::DoNotOptimize(parse.Parse(request));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(request.size()));
}
BENCHMARK(BM_PageImageBody)->Unit(benchmark::kMillisecond);

}  // namespace
