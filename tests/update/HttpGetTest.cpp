#include "update/HttpGet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempDir.h"
#include "update/TestHttpServer.h"

namespace qb {
namespace {

using qbtest::ReadAll;

// Text of 3-byte characters long enough to straddle many 4096-byte reads.
std::string LongJapanese() {
  std::string text;
  for (int i = 0; i < 5000; ++i) {
    text += "\xE3\x81\x82";
  }
  return text + "end";
}

TEST(HttpGet, AcceptsStatus200OnlyInBothModes) {
  qbtest::TestHttpServer server;
  server.Answer("/ok", 200, "hello \xE3\x81\x82");
  server.Answer("/long", 200, LongJapanese());
  server.Answer("/empty", 200, "");
  server.Answer("/missing", 404, "not here");
  server.Answer("/broken", 500, "oops");
  server.Answer("/moved", 302, "moved", "Location: /ok\r\n");
  server.Answer("/date?d=2013-01-01%2000:00:00", 200, "blank sent as %20");
  qbtest::TempDir root;

  struct Row {
    const char* name;
    std::string target;
    std::string body;   // the text in memory and the file's content; empty: failed
    std::string error;  // why both modes failed
  };
  const Row rows[] = {
      {"text", "/ok", "hello \xE3\x81\x82", ""},
      {"many reads, decoded once", "/long", LongJapanese(), ""},
      {"empty body", "/empty", "", "empty body"},
      {"404", "/missing", "", "status 404"},
      {"500", "/broken", "", "status 500"},
      {"302 is not followed", "/moved", "", "status 302"},
      {"blank in the query", "/date?d=2013-01-01 00:00:00", "blank sent as %20", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result<std::string> text = HttpGet(server.BaseUrl() + row.target);
    EXPECT_EQ(text.value_or("(failed)"), row.error.empty() ? row.body : "(failed)");
    EXPECT_EQ(text.Error(), row.error);
    const std::string path = root.Path() + "/file.bin";
    qbtest::WriteFile(path, "earlier content is replaced");
    const Result<> saved = HttpDownload(server.BaseUrl() + row.target, path);
    EXPECT_EQ(static_cast<bool>(saved), row.error.empty());
    EXPECT_EQ(saved.Error(), row.error);
    EXPECT_EQ(ReadAll(path), row.body) << "the file is emptied before the request";
  }
  EXPECT_EQ(server.LastAgent(), "thisapp");
  const std::vector<std::string> targets = server.Targets();
  EXPECT_EQ(std::count(targets.begin(), targets.end(), "/ok"), 2) << "a redirect was followed";
}

TEST(HttpGet, FailsWithoutTouchingTheNetwork) {
  qbtest::TestHttpServer server;
  server.Answer("/ok", 200, "x");
  qbtest::TempDir root;
  const std::string unwritable = root.Path() + "/no/such/folder/file";
  const std::string path = root.Path() + "/file.bin";
  struct Row {
    const char* name;
    std::string url;
    std::string savePath;  // empty: memory mode
    std::string error;
  };
  const Row rows[] = {
      {"empty url", "", "", "no URL"},
      {"empty url, file", "", path, "no URL"},
      {"other scheme", "ftp://127.0.0.1/ok", "", "not an http URL"},
      {"other scheme, file", "ftp://127.0.0.1/ok", path, "not an http URL"},
      {"file scheme", "file:///etc/hostname", "", "not an http URL"},
      {"file cannot be created", server.BaseUrl() + "/ok", unwritable,
       "cannot create " + unwritable},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.savePath.empty()) {
      const Result<std::string> text = HttpGet(row.url);
      EXPECT_FALSE(text);
      EXPECT_EQ(text.Error(), row.error);
    } else {
      const Result<> saved = HttpDownload(row.url, row.savePath);
      EXPECT_FALSE(saved);
      EXPECT_EQ(saved.Error(), row.error);
    }
  }
  EXPECT_TRUE(server.Targets().empty());
}

TEST(HttpGet, MemoryModeRefusesBodiesOverTheLimit) {
  // The client keeps nothing of a refused body and stops reading it: an
  // announced length is refused before the body, an unannounced body soon
  // after it passes the limit (what the socket buffers hold aside).
  constexpr size_t kSlack = size_t{64} * 1024 * 1024;
  struct Row {
    const char* name;
    size_t bytes;
    bool announce;
    bool accepted;
    size_t mostSent;  // body bytes the server may have written
  };
  const Row rows[] = {
      {"at the limit, announced", kMaxMemoryBodyBytes, true, true, kMaxMemoryBodyBytes},
      {"at the limit, until close", kMaxMemoryBodyBytes, false, true, kMaxMemoryBodyBytes},
      {"one byte over, announced", kMaxMemoryBodyBytes + 1, true, false, kSlack},
      {"a gigabyte, until close", size_t{1} << 30, false, false, kMaxMemoryBodyBytes + kSlack},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TestHttpServer server;
    server.AnswerStreamed("/big", row.bytes, row.announce);
    const Result<std::string> body = HttpGet(server.BaseUrl() + "/big");
    EXPECT_EQ(body ? body->size() : 0, row.accepted ? row.bytes : 0);
    EXPECT_LE(server.StreamedBytes(), row.mostSent);
  }
}

TEST(HttpGet, StopFlagEndsTheTransfer) {
  qbtest::TestHttpServer server;
  server.Answer("/ok", 200, "x");
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(HttpGet(server.BaseUrl() + "/ok", &stop));
  qbtest::TempDir root;
  EXPECT_FALSE(HttpDownload(server.BaseUrl() + "/ok", root.Path() + "/file.bin", &stop));
}

}  // namespace
}  // namespace qb
