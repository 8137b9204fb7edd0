// Uploads to one local vsftpd with this client, with libcurl in this process
// and with `curl -T`, in turn (who goes first rotates), in active and in
// passive mode, in clear and over TLS (the same vsftpd with TLS forced on
// logins and data, its certificate from a test CA that all three trust),
// each a whole session (connect, log in, CWD, store, sign off):
//  - a 2 MB picture: this client should take no longer than libcurl;
//  - a 200 MB file: this client's throughput should be at least 90% of
//    libcurl's.
// Each benchmark reports the medians of all three and this client's speed
// relative to the others (above 1: faster). curl's time includes starting
// its process, as a station calling it would pay too.
// Needs what the vsftpd tests need (root, tests/ftp/prepare-login) and curl.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/IdFTP.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/Vsftpd.h"

extern char** environ;

namespace korv {
namespace {

const char* const RemoteName = "koftplive.jpg";
test::FtpServer* Server = nullptr;
// Set while the TLS rows run: the CA file that signed the server's certificate.
std::string TlsCAFile;

void UploadWithThisClient(const std::string& path, bool passive) {
  TIdFTP ftp;
  ftp.UseTLS = !TlsCAFile.empty();
  ftp.TLSCAFile = TlsCAFile;
  ftp.Host = Server->host();
  ftp.Port = Server->port();
  ftp.Username = test::Vsftpd::User;
  ftp.Password = test::Vsftpd::Password;
  ftp.Passive = passive;
  ftp.ConnectServer(true, -1);
  ftp.ChangeDirectory("public_html");
  ftp.UploadFile(path, RemoteName, false);
  ftp.SignOff();
}

void UploadWithCurl(const std::string& path, bool passive) {
  std::string url = "ftp://" + Server->host() + ":" + std::to_string(Server->port()) + "/public_html/" + RemoteName;
  std::string account = std::string(test::Vsftpd::User) + ":" + test::Vsftpd::Password;
  std::vector<std::string> args = {"curl", "-sS", "-u", account, "-T", path, url};
  if (!passive) args.insert(args.end() - 1, {"--ftp-port", "-"});
  if (!TlsCAFile.empty()) args.insert(args.end() - 1, {"--ssl-reqd", "--tls-max", "1.2", "--cacert", TlsCAFile});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (::posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start curl");
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("curl failed to upload " + path);
}

// The same session through libcurl: one handle per upload, whose clean-up
// sends QUIT. PASV and PORT as this client uses them, not their extended forms.
void UploadWithLibcurl(const std::string& path, bool passive) {
  std::string url = "ftp://" + Server->host() + ":" + std::to_string(Server->port()) + "/public_html/" + RemoteName;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path);
  struct stat info{};
  ::fstat(fileno(file), &info);
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, test::Vsftpd::User);
  curl_easy_setopt(curl, CURLOPT_PASSWORD, test::Vsftpd::Password);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READDATA, file);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
  curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  if (!TlsCAFile.empty()) {
    // At most TLS 1.2: this libcurl closes a TLS 1.3 data connection with
    // the server's session tickets unread, and vsftpd fails the store (426).
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(curl, CURLOPT_CAINFO, TlsCAFile.c_str());
  }
  if (passive) {
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 0L);
  } else {
    curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPRT, 0L);
  }
  CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  std::fclose(file);
  if (result != CURLE_OK) throw std::runtime_error(std::string("libcurl failed: ") + curl_easy_strerror(result));
}

void CheckStored(const std::string& path) {
  struct stat local{}, stored{};
  std::string remote = Server->publicHtml() + "/" + RemoteName;
  if (::stat(path.c_str(), &local) != 0 || ::stat(remote.c_str(), &stored) != 0 || local.st_size != stored.st_size)
    throw std::runtime_error("the stored file differs in size from " + path);
  ::unlink(remote.c_str());
}

template <typename Upload>
double SecondsFor(Upload upload) {
  auto start = std::chrono::steady_clock::now();
  upload();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Upload(benchmark::State& state, const std::string& path, double megabytes, bool passive, test::FtpServer& server,
            const std::string& caFile) {
  Server = &server;
  TlsCAFile = caFile;
  struct Contender {
    const char* Name;
    void (*Run)(const std::string&, bool);
    std::vector<double> Seconds;
  };
  Contender contenders[] = {{"ours", UploadWithThisClient, {}},
                            {"libcurl", UploadWithLibcurl, {}},
                            {"curl", UploadWithCurl, {}}};
  // In active mode this libcurl (and its curl) sends the data of an FTPS
  // store in clear, which vsftpd refuses: there only this client runs.
  const size_t running = !caFile.empty() && !passive ? 1 : std::size(contenders);
  size_t first = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < running; ++i) {
      Contender& c = contenders[(first + i) % running];
      c.Seconds.push_back(SecondsFor([&] { c.Run(path, passive); }));
      CheckStored(path);
    }
    first = (first + 1) % running;
    state.SetIterationTime(contenders[0].Seconds.back());
  }
  const double ours = Median(contenders[0].Seconds);
  for (Contender& c : std::span(contenders, running)) {
    const double median = Median(c.Seconds);
    state.counters[std::string(c.Name) + "_ms"] = median * 1000;
    state.counters[std::string(c.Name) + "_MBps"] = megabytes / median;
    // Above 1: this client is faster.
    if (&c != &contenders[0]) state.counters[std::string("speed_vs_") + c.Name] = median / ours;
  }
}

void WriteRandomFile(const std::string& path, size_t size) {
  std::vector<char> block(1 << 20);
  std::mt19937 random(7);
  for (char& c : block) c = static_cast<char>(random());
  block[0] = static_cast<char>(0xFF);  // the start of a JPEG, for the look of it
  block[1] = static_cast<char>(0xD8);
  std::ofstream out(path, std::ios::binary);
  for (size_t written = 0; written < size; written += block.size())
    out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
}

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  using namespace korv;
  if (std::string why = test::Vsftpd::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "ftp_curl_bench: %s\n", why.c_str());
    return 0;
  }
  test::TempDir dir;
  const std::string picture = dir.file("picture.jpg"), large = dir.file("large.bin");
  WriteRandomFile(picture, 2 * 1000 * 1000);
  WriteRandomFile(large, 200 * 1000 * 1000);
  // An address of its own: the tests' servers may run meanwhile.
  test::Vsftpd plain({.address = "127.0.0.15", .port = 0});
  test::TestCertificates certificates("127.0.0.16");
  test::FtpServer tls({.kind = test::FtpServerKind::Vsftpd, .address = "127.0.0.16", .port = 0,
                       .certificate = certificates.Good, .key = certificates.Key});
  curl_global_init(CURL_GLOBAL_DEFAULT);

  for (bool secure : {false, true}) {
    test::FtpServer* server = secure ? &tls : static_cast<test::FtpServer*>(&plain);
    const std::string ca = secure ? certificates.CA : "";
    for (bool passive : {false, true}) {
      const std::string mode = std::string(passive ? "passive" : "active") + (secure ? "/TLS" : "");
      benchmark::RegisterBenchmark(("Session2MB/" + mode).c_str(),
                                   [=](benchmark::State& s) { Upload(s, picture, 2, passive, *server, ca); })
          ->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Throughput200MB/" + mode).c_str(),
                                   [=](benchmark::State& s) { Upload(s, large, 200, passive, *server, ca); })
          ->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
