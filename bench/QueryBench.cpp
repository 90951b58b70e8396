// Catalogue queries in-process, to show where the time of an HTTP query goes:
// opening a connection, compiling a statement, and each query's whole work
// (statement, rows, XML). Runs on the catalogue of $XDG_DATA_HOME (query_load.sh
// generates one); QB_MODEL and QB_FRAGMENT name a model and a model-number
// fragment in it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "catalog/CatalogueDb.h"
#include "catalog/Categories.h"
#include "catalog/PaperInfos.h"
#include "ProductPaths.h"
#include "server/PictureRoutes.h"
#include "util/HeapPolicy.h"

namespace {

// The server's heap, set before the benchmarks' main runs.
const bool kServerHeap = (qb::UseServerHeapPolicy(), true);

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

void BM_OpenConnection(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(qb::CatalogueDb::Open());
  }
}
BENCHMARK(BM_OpenConnection);

void BM_OpenAndCompileSearch(benchmark::State& state) {
  const std::string sql = qb::PaperInfos::SelectColumns() + "WHERE category_id = ?1 ORDER BY +searchSelNo";
  for (auto _ : state) {
    std::optional<qb::CatalogueDb> db = qb::CatalogueDb::Open();
    benchmark::DoNotOptimize(db->Prepare(sql));
  }
}
BENCHMARK(BM_OpenAndCompileSearch);

template <typename Query>
void RunQuery(benchmark::State& state, Query query) {
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = query().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["answer_bytes"] = static_cast<double>(bytes);
}

void BM_ListCategories(benchmark::State& state) {
  RunQuery(state, [] { return qb::Categories().GetCategoryList(); });
}
BENCHMARK(BM_ListCategories);

void BM_SearchNumber(benchmark::State& state) {
  const std::string path = "/dbAccess/SEARCH@usage=" + Env("QB_FRAGMENT", "0101");
  RunQuery(state, [&] { return *qbtest::SearchAt(path); });
}
BENCHMARK(BM_SearchNumber)->Unit(benchmark::kMillisecond);

void BM_SearchCategory(benchmark::State& state) {
  RunQuery(state, [] { return *qbtest::SearchAt("/dbAccess/SEARCH@category_id=3"); });
}
BENCHMARK(BM_SearchCategory)->Unit(benchmark::kMillisecond);

void BM_Detail(benchmark::State& state) {
  const std::string path = "/dbAccess/DETAIL@searchSelNo=" + Env("QB_MODEL", "ZZ-A0100");
  RunQuery(state, [&] { return *qbtest::DetailAt(path); });
}
BENCHMARK(BM_Detail);

void BM_Recent(benchmark::State& state) {
  RunQuery(state, [] { return *qbtest::RecentAt("/dbAccess/RECENT@mac_address=x"); });
}
BENCHMARK(BM_Recent);

void BM_TopGroupList(benchmark::State& state) {
  const std::string argument = "list&searchSelNo=" + Env("QB_MODEL", "ZZ-A0100");
  RunQuery(state, [&] { return *qb::ServeTopGroup(argument); });
}
BENCHMARK(BM_TopGroupList);

void BM_GenericGroupList(benchmark::State& state) {
  RunQuery(state, [] { return *qb::ServeGenericGroup("list&level=0"); });
}
BENCHMARK(BM_GenericGroupList);

void BM_GenericGroupImages(benchmark::State& state) {
  RunQuery(state, [] { return *qb::ServeGenericGroup("images&level=1"); });
}
BENCHMARK(BM_GenericGroupImages);

}  // namespace
