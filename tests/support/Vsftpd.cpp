#include "tests/support/Vsftpd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

constexpr const char* VsftpdProgram = "/usr/sbin/vsftpd";
// The PAM service tests/ftp/prepare-login writes: pam_unix without the delay
// after a failed login.
constexpr const char* PamService = "korv-ftp-test";
constexpr auto StartLimit = std::chrono::seconds(5);
constexpr auto StopLimit = std::chrono::seconds(5);

// The first line the server at address:port sends, "" when nothing answers
// there within a second.
std::string Greeting(const std::string& address, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  timeval limit{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  std::string line;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    char c;
    while (line.size() < 512 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
  }
  ::close(fd);
  return line;
}

void WriteConfig(const std::string& path, const std::string& address, int port, const std::string& dir) {
  // Writes go through the user's own rights; failed logins answer at once.
  WriteFile(path,
            "listen=YES\n"
            "listen_ipv6=NO\n"
            "listen_address=" + address + "\n"
            "listen_port=" + std::to_string(port) + "\n"
            "background=NO\n"
            "secure_chroot_dir=" + dir + "/empty\n"
            "anonymous_enable=NO\n"
            "local_enable=YES\n"
            "write_enable=YES\n"
            "local_umask=022\n"
            "local_root=" + dir + "/home\n"
            "pam_service_name=" + PamService + "\n"
            "delay_failed_login=0\n"
            "seccomp_sandbox=NO\n"
            "xferlog_enable=NO\n");
}

}  // namespace

std::string Vsftpd::Unavailable() {
  if (::geteuid() != 0) return "the vsftpd tests need root (to start vsftpd and bind port 21)";
  if (::access(VsftpdProgram, X_OK) != 0) return std::string(VsftpdProgram) + " is not installed (scripts/deps)";
  if (!::getpwnam(User)) return std::string("the test login ") + User + " is missing: run tests/ftp/prepare-login";
  if (::access((std::string("/etc/pam.d/") + PamService).c_str(), R_OK) != 0)
    return std::string("/etc/pam.d/") + PamService + " is missing: run tests/ftp/prepare-login";
  return "";
}

Vsftpd::Vsftpd(Options options) : Opts(std::move(options)), Dir(std::make_unique<TempDir>()) {
  if (std::string why = Unavailable(); !why.empty()) throw std::runtime_error("vsftpd: " + why);
  const passwd* user = ::getpwnam(User);
  // vsftpd serves the session as the test user, who must reach its folder;
  // the chroot folder must be root's and empty.
  namespace fs = std::filesystem;
  const std::string& dir = Dir->path();
  fs::create_directories(dir + "/empty");
  fs::create_directories(dir + "/home/public_html");
  for (const std::string& path : {dir, dir + "/empty", dir + "/home", dir + "/home/public_html"})
    ::chmod(path.c_str(), 0755);
  if (::chown(publicHtml().c_str(), user->pw_uid, user->pw_gid) != 0)
    throw std::runtime_error("vsftpd: cannot hand " + publicHtml() + " to " + User);
  WriteConfig(dir + "/vsftpd.conf", Opts.address, Opts.port, dir);
  start();
}

Vsftpd::~Vsftpd() { stop(); }

std::string Vsftpd::publicHtml() const { return Dir->path() + "/home/public_html"; }

void Vsftpd::start() {
  if (running()) return;
  std::string where = Opts.address + ":" + std::to_string(Opts.port);
  if (std::string other = Greeting(Opts.address, Opts.port); !other.empty())
    throw std::runtime_error("vsftpd: another server already answers on " + where + ": " + other);

  std::string config = Dir->path() + "/vsftpd.conf";
  std::string log = Dir->path() + "/vsftpd.log";
  const char* argv[] = {VsftpdProgram, config.c_str(), nullptr};
  Pid = ::fork();
  if (Pid < 0) throw std::runtime_error("vsftpd: fork failed");
  if (Pid == 0) {
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execv(VsftpdProgram, const_cast<char* const*>(argv));
    ::_exit(127);
  }

  auto deadline = std::chrono::steady_clock::now() + StartLimit;
  std::string greeting;
  while (std::chrono::steady_clock::now() < deadline) {
    int status;
    if (::waitpid(Pid, &status, WNOHANG) == Pid) {
      Pid = -1;
      throw std::runtime_error("vsftpd ended at start on " + where + ": " + ReadFile(log));
    }
    greeting = Greeting(Opts.address, Opts.port);
    if (!greeting.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (greeting.rfind("220", 0) != 0) {
    stop();
    throw std::runtime_error("vsftpd on " + where + " did not greet with 220 within 5 s: \"" + greeting + "\" " +
                             ReadFile(log));
  }
}

void Vsftpd::stop() {
  if (!running()) return;
  // The sessions are session leaders of their own, but vsftpd has them die
  // with the listener.
  ::kill(Pid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + StopLimit;
  int status;
  while (::waitpid(Pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Pid = -1;
}

}  // namespace korv::test
