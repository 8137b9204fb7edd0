#include "app/Options.h"

#include <gtest/gtest.h>

namespace korv {
namespace {

struct OptionsCase {
  std::vector<std::string> Args;
  const char* Environment;  // KORV_UPLOAD_HOST, nullptr when unset
  std::string Host;         // expected; "" when the line must be refused
  uint16_t Port = 21;
  bool Unattended = false;
  bool Atomic = false;
  std::string Error = {};   // part of the expected message
};

TEST(OptionsTest, CommandLineAndEnvironmentGiveHostPortAndSwitches) {
  const OptionsCase cases[] = {
      {{}, nullptr, "built.in"},
      {{}, "", "built.in"},
      {{}, "env.example.org", "env.example.org"},
      {{}, "10.1.2.3:2121", "10.1.2.3", 2121},
      {{"--upload-host", "ftp.example.org"}, "env.example.org", "ftp.example.org"},
      {{"--upload-host=web-1.example.org:65535"}, nullptr, "web-1.example.org", 65535},
      {{"--upload-host", "localhost:21", "--unattended", "--atomic-publish"}, nullptr, "localhost", 21, true, true},
      {{"-platform", "offscreen"}, nullptr, "", 21, false, false, "unknown option '-platform'"},
      {{"--unattended", "--unattended"}, nullptr, "", 21, false, false, "--unattended is given twice"},
      {{"--upload-host", "a", "--upload-host=b"}, nullptr, "", 21, false, false, "given twice"},
      {{"--upload-host"}, nullptr, "", 21, false, false, "needs a value"},
      {{"--upload-host="}, nullptr, "", 21, false, false, "not a host name"},
      {{"--upload-host", "host:0"}, nullptr, "", 21, false, false, "no port from 1 to 65535"},
      {{"--upload-host", "host:65536"}, nullptr, "", 21, false, false, "no port"},
      {{"--upload-host", "host:"}, nullptr, "", 21, false, false, "no port"},
      {{"--upload-host", "host:+21"}, nullptr, "", 21, false, false, "no port"},
      {{"--upload-host", "[::1]:21"}, nullptr, "", 21, false, false, "not a host name"},
      {{"--upload-host", "-bad.example.org"}, nullptr, "", 21, false, false, "not a host name"},
      {{"--upload-host", "a..b"}, nullptr, "", 21, false, false, "not a host name"},
      {{"--upload-host", "ftp_server"}, nullptr, "", 21, false, false, "not a host name"},
      {{"--upload-host", std::string(64, 'a') + ".org"}, nullptr, "", 21, false, false, "not a host name"},
      {{}, "bad host", "", 21, false, false, "KORV_UPLOAD_HOST: 'bad host'"},
      {{"--verbose"}, nullptr, "", 21, false, false, "unknown option '--verbose'"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.Args) line += a + " ";
    SCOPED_TRACE(line + "| env " + (c.Environment ? c.Environment : "(unset)"));
    if (c.Host.empty()) {
      try {
        ParseOptions(c.Args, {.UploadHost = c.Environment}, "built.in");
        ADD_FAILURE() << "accepted";
      } catch (const EOptionError& e) {
        EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos) << e.what();
      }
      continue;
    }
    StationOptions options = ParseOptions(c.Args, {.UploadHost = c.Environment}, "built.in");
    EXPECT_EQ(options.Station.UploadHost, c.Host);
    EXPECT_EQ(options.Station.UploadPort, c.Port);
    EXPECT_EQ(options.Unattended, c.Unattended);
    EXPECT_EQ(options.Station.AtomicPublish, c.Atomic);
    EXPECT_FALSE(options.Help);
  }
}

TEST(OptionsTest, TlsFromTheCommandLineOrTheEnvironment) {
  EXPECT_FALSE(ParseOptions({}, {.UploadTls = "0"}, "x").Station.UploadTls);
  EXPECT_TRUE(ParseOptions({}, {.UploadTls = "1"}, "x").Station.UploadTls);
  EXPECT_TRUE(ParseOptions({"--ftps"}, {.UploadTls = "0"}, "x").Station.UploadTls);
  StationOptions options = ParseOptions({"--ftps-ca=ca.pem"}, {}, "x");
  EXPECT_TRUE(options.Station.UploadTls);
  EXPECT_EQ(options.Station.UploadTlsCAFile, "ca.pem");
  for (const auto& [args, environment] : std::vector<std::pair<std::vector<std::string>, const char*>>{
           {{}, "yes"}, {{"--ftps", "--ftps"}, nullptr}, {{"--ftps-ca"}, nullptr}, {{"--ftps-ca="}, nullptr}})
    EXPECT_THROW(ParseOptions(args, {.UploadTls = environment}, "x"), EOptionError) << ::testing::PrintToString(args);
}

TEST(OptionsTest, ThePageImpliesItsRecordAndBothAreOffByDefault) {
  auto page = [](const std::vector<std::string>& args) {
    const LivePageOptions options = ParseOptions(args, {}, "x").Station.Page;
    return std::pair(options.StatusRecord, options.PublishPage);
  };
  EXPECT_EQ(page({}), std::pair(false, false));
  EXPECT_EQ(page({"--status-json"}), std::pair(true, false));
  EXPECT_EQ(page({"--publish-page"}), std::pair(true, true));
  EXPECT_THROW(page({"--publish-page", "--publish-page"}), EOptionError);
}

TEST(OptionsTest, AutoExposureTakesATargetWithinItsRange) {
  const std::pair<std::vector<std::string>, std::optional<double>> cases[] = {
      {{}, std::nullopt}, {{"--auto-exposure"}, 0.30}, {{"--auto-exposure=0.05"}, 0.05},
      {{"--auto-exposure=0.9"}, 0.9}, {{"--auto-exposure=0.04"}, -1}, {{"--auto-exposure=0.95"}, -1},
      {{"--auto-exposure="}, -1}, {{"--auto-exposure=dark"}, -1}};
  for (const auto& [args, target] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    if (target == -1) {
      EXPECT_THROW(ParseOptions(args, {}, "x"), EOptionError);
      continue;
    }
    EXPECT_EQ(ParseOptions(args, {}, "x").Station.AutoExposure, target);
  }
}

TEST(OptionsTest, HelpNamesEveryOption) {
  EXPECT_TRUE(ParseOptions({"--help"}, {}, "x").Help);
  std::string help = OptionsHelp("korv-cps");
  for (const char* option : {"--upload-host", "KORV_UPLOAD_HOST", "--unattended", "--atomic-publish", "--ftps",
                             "--ftps-ca", "KORV_UPLOAD_TLS", "--location", "KORV_LOCATION", "--night-altitude",
                             "--schedule", "--status-json", "--publish-page", "--auto-exposure", "--help"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace korv
