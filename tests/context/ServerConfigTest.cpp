#include <gtest/gtest.h>

#include <cstdio>

#include "TempDir.h"
#include "context/ServerConfig.h"
#include "util/CatalogueUrl.h"

namespace qb {
namespace {

// The user's file and two system-wide folders ($XDG_CONFIG_DIRS, the first
// more important).
class ServerConfigTest : public ::testing::Test {
 protected:
  std::string File(const std::string& folder) { return folder + "/Tavrim/Quillbox.conf"; }
  qbtest::TempDir m_user;
  qbtest::TempDir m_first;
  qbtest::TempDir m_second;
  qbtest::ScopedEnv m_home{"XDG_CONFIG_HOME", m_user.Path()};
  qbtest::ScopedEnv m_dirs{"XDG_CONFIG_DIRS",
                           m_first.Path() + ":relative/ignored:" + m_second.Path()};
};

TEST_F(ServerConfigTest, MostImportantFileHoldingAKeyGivesItsValue) {
  qbtest::WriteFile(File(m_user.Path()), "[Server]\nport=4001\n");
  qbtest::WriteFile(File(m_first.Path()), "[Catalogue]\nurl=http://first.example/\n");
  qbtest::WriteFile(File(m_second.Path()),
                    "[Catalogue]\nurl=http://second.example\nproxy=socks5h://proxy:1080\n"
                    "[Server]\nport=4002\n");
  const ServerConfig config = ServerConfig::Load();
  ASSERT_EQ(config.Files().Files().size(), 3u);
  EXPECT_EQ(config.Port(), 4001);
  EXPECT_EQ(config.CatalogueUrl(), "http://first.example");
  EXPECT_EQ(config.CatalogueUrlSource(), File(m_first.Path()));
  EXPECT_EQ(config.Proxy(), "socks5h://proxy:1080");
  EXPECT_TRUE(config.Warnings().empty());

  EXPECT_EQ(ServerConfig::Load("http://flag.example").CatalogueUrl(), "http://flag.example");
  EXPECT_EQ(ServerConfig::Load("http://flag.example").CatalogueUrlSource(), kSourceCommandLine);
}

TEST_F(ServerConfigTest, UnusableValueGivesTheDefaultNotALessImportantFile) {
  qbtest::WriteFile(File(m_user.Path()), "[Catalogue]\nurl=catalogue.example\n");
  qbtest::WriteFile(File(m_first.Path()), "[Catalogue]\nurl=http://first.example\n");
  const ServerConfig config = ServerConfig::Load();
  EXPECT_EQ(config.CatalogueUrl(), BuiltInCatalogueUrl());
  ASSERT_EQ(config.Warnings().size(), 1u);
  EXPECT_EQ(config.Warnings()[0].substr(0, File(m_user.Path()).size() + 3),
            File(m_user.Path()) + ":2:");
}

// A misspelt group or key is named with the known one it is closest to.
TEST_F(ServerConfigTest, UnknownNamesSuggestTheClosestKnownOne) {
  struct Row {
    std::string text;
    std::string warning;  // after "FILE:LINE: "
  };
  const Row rows[] = {
      {"[Catalogue]\nulr=http://a.example\n", "unknown key ulr in [Catalogue]; did you mean url?"},
      {"[Catalogue]\ncaFiel=/x\n", "unknown key caFiel in [Catalogue]; did you mean caFile?"},
      {"[Catalogue]\nmaxDownloadRat=1\n",
       "unknown key maxDownloadRat in [Catalogue]; did you mean maxDownloadRate?"},
      {"[Server]\nallowedOrigns=*\n",
       "unknown key allowedOrigns in [Server]; did you mean allowedOrigins?"},
      {"[Server]\nurl=http://a.example\n",
       "unknown key url in [Server]; did you mean [Catalogue] url?"},
      {"[Server]\ncolour=blue\n", "unknown key colour in [Server]; ignored"},
      {"[Server]\nrl=1\n", "unknown key rl in [Server]; ignored"},
      {"[Catalog]\nurl=http://a.example\n", "unknown group [Catalog]; did you mean [Catalogue]?"},
      {"[Printing]\nurl=http://a.example\n", "unknown group [Printing]; its keys are ignored"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    qbtest::WriteFile(File(m_user.Path()), row.text);
    const ServerConfig config = ServerConfig::Load();
    ASSERT_EQ(config.Warnings().size(), 1u);
    EXPECT_EQ(config.Warnings()[0], File(m_user.Path()) + ":" +
                                        (row.warning.starts_with("unknown group") ? "1" : "2") +
                                        ": " + row.warning);
  }
}

// [Catalogue] caFile is used only when it names a readable file of PEM
// certificates; otherwise the system's authorities alone are trusted.
TEST_F(ServerConfigTest, CaFileMustBeAReadableCertificateFile) {
  const std::string pem = m_first.Path() + "/authority.pem";
  const std::string other = m_first.Path() + "/notes.txt";
  qbtest::WriteFile(pem, "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
  qbtest::WriteFile(other, "not a certificate\n");
  struct Row {
    std::string value;
    std::string used;
    std::string problem;  // the warning after the quoted value; empty: none
  };
  const Row rows[] = {
      {pem, pem, ""},
      {"", "", ""},
      {"authority.pem", "", "is not an absolute path"},
      {m_first.Path() + "/missing.pem", "", "cannot be read (No such file or directory)"},
      {other, "", "holds no PEM certificate"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    qbtest::WriteFile(File(m_user.Path()), "[Catalogue]\ncaFile=" + row.value + "\n");
    const ServerConfig config = ServerConfig::Load();
    EXPECT_EQ(config.CaFile(), row.used);
    if (row.problem.empty()) {
      EXPECT_TRUE(config.Warnings().empty());
    } else {
      ASSERT_EQ(config.Warnings().size(), 1u);
      EXPECT_EQ(config.Warnings()[0], File(m_user.Path()) + ":2: [Catalogue] caFile \"" +
                                          row.value + "\" " + row.problem +
                                          "; only the system's authorities are trusted");
    }
  }
}

// The printers remembered per sheet size are known keys; another key of
// their group is named.
TEST_F(ServerConfigTest, RememberedPrintersAreKnownKeys) {
  qbtest::WriteFile(File(m_user.Path()), "[Print]\n100x50mm=Labels\n62x29mm=\ncolour=blue\n");
  const ServerConfig config = ServerConfig::Load();
  EXPECT_EQ(config.Warnings(),
            std::vector<std::string>({File(m_user.Path()) +
                                      ":4: unknown key colour in [Print]; ignored (its keys are "
                                      "sheet sizes such as 100x50mm)"}));
}

TEST_F(ServerConfigTest, TrayIconSwitch) {
  struct Row {
    const char* file;  // the user's file
    bool shown;
    size_t warnings;
  };
  const Row rows[] = {
      {"", true, 0},
      {"[Server]\ntrayIcon=false\n", false, 0},
      {"[Server]\ntrayIcon=No\n", false, 0},
      {"[Server]\ntrayIcon=0\n", false, 0},
      {"[Server]\ntrayIcon=true\n", true, 0},
      {"[Server]\ntrayIcon=maybe\n", true, 1},
  };
  for (const Row& row : rows) {
    qbtest::WriteFile(File(m_user.Path()), row.file);
    const ServerConfig config = ServerConfig::Load();
    EXPECT_EQ(config.TrayIcon(), row.shown) << row.file;
    EXPECT_EQ(config.Warnings().size(), row.warnings) << row.file;
  }
}

// Each key unset, and set to a text that cannot be used: the value shown,
// its source, and the warning naming what is used instead.
TEST_F(ServerConfigTest, EveryKeyShowsItsDefaultAndWordsItsFallback) {
  struct Row {
    std::string group;
    std::string key;
    std::string unsetShown;
    std::string badText;
    std::string badShown;
    std::string warning;  // after "FILE:2: [Group] key "
  };
  const std::string url = BuiltInCatalogueUrl();
  const Row rows[] = {
      {"Server", "port", "3210", "x", "3210",
       "\"x\" is not a whole number from 0 to 4294967295; using 3210"},
      {"Server", "bindAddress", "this computer only (127.0.0.1 and ::1)", "my-laptop",
       "this computer only (127.0.0.1 and ::1)",
       "\"my-laptop\" is not an IPv4 or IPv6 address or localhost; using this computer only "
       "(127.0.0.1 and ::1)"},
      {"Server", "askForNewSites", "true (with a display, the user is asked about each new origin)",
       "maybe", "true (with a display, the user is asked about each new origin)",
       "\"maybe\" is neither true nor false; using true"},
      {"Catalogue", "url", url.empty() ? "none" : url, "ftp://a.example",
       url.empty() ? "none" : url,
       "\"ftp://a.example\" is not http://host[:port] or https://host[:port]; " +
           (url.empty() ? "no catalogue server is used" : "using the built-in " + url)},
      {"Catalogue", "proxy", "none (http_proxy and https_proxy apply)", "a b",
       "none (http_proxy and https_proxy apply)",
       "\"a b\" is not a proxy address ([scheme://]host[:port]); no proxy is set"},
      {"Catalogue", "maxDownloadRate", "409600 bytes/s", "fast", "409600 bytes/s",
       "\"fast\" is not a whole number of bytes per second; using 409600"},
      {"Catalogue", "caFile", "none (the system's authorities)", "ca.pem",
       "none (the system's authorities)",
       "\"ca.pem\" is not an absolute path; only the system's authorities are trusted"},
      {"Save", "folder", "the download folder", "Documents", "the download folder",
       "\"Documents\" is not an absolute path or one starting with ~/; using the download "
       "folder"},
      {"Server", "trayIcon", "true", "maybe", "true",
       "\"maybe\" is neither true nor false; using true"},
  };
  const auto setting = [](const ServerConfig& config, const std::string& name) {
    for (const ConfigSetting& found : config.Settings()) {
      if (found.name == name) {
        return found;
      }
    }
    return ConfigSetting{};
  };
  for (const Row& row : rows) {
    const std::string name = "[" + row.group + "] " + row.key;
    SCOPED_TRACE(name);
    const ServerConfig unset = ServerConfig::Load();
    EXPECT_EQ(setting(unset, name).value, row.unsetShown);
    EXPECT_EQ(setting(unset, name).source, url.empty() || row.key != "url" ? "default" : "built in");

    const std::string file = File(m_user.Path());
    qbtest::WriteFile(file, "[" + row.group + "]\n" + row.key + "=" + row.badText + "\n");
    const ServerConfig bad = ServerConfig::Load();
    std::remove(file.c_str());
    EXPECT_EQ(bad.Warnings(), std::vector<std::string>({file + ":2: " + name + " " + row.warning}));
    EXPECT_EQ(setting(bad, name).value, row.badShown);
    EXPECT_EQ(setting(bad, name).source,
              (row.key == "bindAddress" ? "fallback" : setting(unset, name).source) + ", as " +
                  file + ":2 is not usable");
  }
}

TEST_F(ServerConfigTest, BindAddressTexts) {
  struct Row {
    std::optional<std::string> value;
    std::optional<std::string> address;
  };
  const Row rows[] = {
      {std::nullopt, ""},
      {"  ", ""},
      {"localhost", ""},
      {"LocalHost", ""},
      {"10.0.0.1", "10.0.0.1"},
      {"[::1]", "::1"},
      {"::1", "::1"},
      {"0:0:0::1", "::1"},
      {"my-laptop", std::nullopt},
      {"127.0.0.1 ::1", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value.value_or("(unset)"));
    EXPECT_EQ(NormalizeBindAddress(row.value), row.address);
  }
}

}  // namespace
}  // namespace qb
