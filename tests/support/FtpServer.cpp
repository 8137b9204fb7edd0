#include "tests/support/FtpServer.h"

#include <arpa/inet.h>
#include <crypt.h>
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/LoopbackClient.h"
#include "tests/support/TempDir.h"

namespace korv::test {
namespace {

constexpr const char* VsftpdProgram = "/usr/sbin/vsftpd";
constexpr const char* Python = "/usr/bin/python3";
constexpr const char* PyftpdlibModule = "/usr/lib/python3/dist-packages/pyftpdlib/__init__.py";
const std::string Unpacked = KORV_FTP_SERVERS_DIR;
const std::string PureFtpdProgram = Unpacked + "/usr/sbin/pure-ftpd";
const std::string PurePwProgram = Unpacked + "/usr/bin/pure-pw";
const std::string ProftpdProgram = Unpacked + "/usr/sbin/proftpd";
const std::string PyftpdlibScript = std::string(KORV_SOURCE_DIR) + "/tests/support/pyftpdlib-server";
// The PAM service tests/ftp/prepare-login writes: pam_unix without the delay
// after a failed login.
constexpr const char* PamService = "korv-ftp-test";
constexpr auto StartLimit = std::chrono::seconds(5);

// Longer than 75 characters, so that pyftpdlib sends it as several lines.
// pyftpdlib sends the lines as they are, so the one with digits is padded.
constexpr const char* BannerText =
    "Welcome to the korv test server, where every upload lands in public_html\n"
    " 220 is our port number\n"
    "Hi\n"
    "\n"
    "end of banner\n";

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

std::string PasswordHash() {
  crypt_data data{};
  const char* hash = ::crypt_r(FtpServer::Password, "$6$korvtest$", &data);
  if (!hash || hash[0] != '$') throw std::runtime_error("cannot hash the test password");
  return hash;
}

// `root` and all its descendants, from the parent links in /proc.
std::vector<pid_t> ProcessTree(pid_t root) {
  std::vector<std::pair<pid_t, pid_t>> parents;  // (pid, parent)
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // "pid (command) state ppid ...": the command may hold blanks and parentheses.
    const std::string stat = ReadFile(entry.path().string() + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state;
    int parent;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2)
      parents.emplace_back(std::stoi(name), parent);
  }
  std::vector<pid_t> tree{root};
  for (size_t i = 0; i < tree.size(); ++i)
    for (auto [pid, parent] : parents)
      if (parent == tree[i]) tree.push_back(pid);
  return tree;
}

}  // namespace

const char* FtpServer::Name(FtpServerKind kind) {
  switch (kind) {
    case FtpServerKind::Vsftpd: return "vsftpd";
    case FtpServerKind::PureFtpd: return "pure-ftpd";
    case FtpServerKind::Proftpd: return "proftpd";
    case FtpServerKind::Pyftpdlib: return "pyftpdlib";
  }
  return "?";
}

std::string FtpServer::Unavailable(FtpServerKind kind) {
  if (::geteuid() != 0) return "the tests against real FTP servers need root (to start them and bind port 21)";
  if (!::getpwnam(User)) return std::string("the test login ") + User + " is missing: run tests/ftp/prepare-login";
  auto missing = [](const std::string& path, const std::string& remedy) {
    return ::access(path.c_str(), R_OK) == 0 ? std::string() : path + " is missing: run " + remedy;
  };
  // An unpacked server whose libraries are missing doesn't even start.
  auto cannotRun = [](const std::string& commandLine) {
    return std::system((commandLine + " >/dev/null 2>&1").c_str()) == 0
               ? std::string()
               : commandLine + " fails: its libraries are missing, run scripts/deps";
  };
  switch (kind) {
    case FtpServerKind::Vsftpd:
      if (auto why = missing(VsftpdProgram, "scripts/deps"); !why.empty()) return why;
      return missing(std::string("/etc/pam.d/") + PamService, "tests/ftp/prepare-login");
    case FtpServerKind::PureFtpd:
      if (auto why = missing(PureFtpdProgram, "scripts/ftp-servers " + Unpacked); !why.empty()) return why;
      if (auto why = missing(PurePwProgram, "scripts/ftp-servers " + Unpacked); !why.empty()) return why;
      return cannotRun(PureFtpdProgram + " --help");
    case FtpServerKind::Proftpd:
      if (auto why = missing(ProftpdProgram, "scripts/ftp-servers " + Unpacked); !why.empty()) return why;
      return cannotRun(ProftpdProgram + " -v");
    case FtpServerKind::Pyftpdlib:
      if (auto why = missing(Python, "scripts/deps"); !why.empty()) return why;
      return missing(PyftpdlibModule, "scripts/deps");
  }
  return "unknown server";
}

FtpServer::FtpServer(Options options) : Opts(std::move(options)), Dir(std::make_unique<TempDir>()) {
  if (std::string why = Unavailable(Opts.kind); !why.empty())
    throw std::runtime_error(std::string(Name(Opts.kind)) + ": " + why);
  if (Opts.port == 0) {
    // Free now; the server binds it a moment later.
    int fd = ListenOn(Opts.address, Opts.port);
    if (fd < 0) throw std::runtime_error(std::string(Name(Opts.kind)) + ": no free port on " + Opts.address);
    ::close(fd);
  }
  Configure();
  start();
}

FtpServer::~FtpServer() { stop(); }

std::string FtpServer::publicHtml() const { return Dir->path() + "/home/public_html"; }

void FtpServer::Configure() {
  const passwd* user = ::getpwnam(User);
  const std::string uid = std::to_string(user->pw_uid), gid = std::to_string(user->pw_gid);
  // The sessions run as the test user, who must reach its folder; "locked"
  // stays root's. vsftpd's chroot folder must be root's and empty.
  namespace fs = std::filesystem;
  const std::string& dir = Dir->path();
  fs::create_directories(dir + "/empty");
  fs::create_directories(publicHtml() + "/locked");
  for (const std::string& path : {dir, dir + "/empty", dir + "/home", publicHtml(), publicHtml() + "/locked"})
    ::chmod(path.c_str(), 0755);
  if (::chown(publicHtml().c_str(), user->pw_uid, user->pw_gid) != 0)
    throw std::runtime_error("cannot hand " + publicHtml() + " to " + User);
  WriteFile(dir + "/banner", Opts.banner ? BannerText : "korv test server\n");

  const std::string address = Opts.address, port = std::to_string(Opts.port);
  const bool tls = !Opts.certificate.empty();
  switch (Opts.kind) {
    case FtpServerKind::Vsftpd:
      // Writes go through the user's own rights; failed logins answer at once.
      WriteFile(dir + "/vsftpd.conf",
                "listen=YES\nlisten_ipv6=NO\nlisten_address=" + address + "\nlisten_port=" + port +
                    "\nbackground=NO\nsecure_chroot_dir=" + dir + "/empty\nanonymous_enable=NO\nlocal_enable=YES\n"
                    "write_enable=YES\nlocal_umask=022\nlocal_root=" + dir + "/home\npam_service_name=" + PamService +
                    "\ndelay_failed_login=0\nseccomp_sandbox=NO\nxferlog_enable=NO\n" +
                    (Opts.banner ? "banner_file=" + dir + "/banner\n" : "") +
                    (tls ? "ssl_enable=YES\nrsa_cert_file=" + Opts.certificate + "\nrsa_private_key_file=" + Opts.key +
                               "\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
                               "ssl_ciphers=HIGH\n"
                         : ""));
      break;
    case FtpServerKind::PureFtpd: {
      // A virtual user with the test user's rights, chrooted ("/./") to its
      // home. The hash is SHA-512 crypt: pure-pw's own costs seconds a login.
      WriteFile(dir + "/pureftpd.passwd", std::string(User) + ":" + PasswordHash() + ":" + uid + ":" + gid + "::" +
                                              dir + "/home/./::::::::::::\n");
      std::string command = PurePwProgram + " mkdb " + dir + "/pureftpd.pdb -f " + dir + "/pureftpd.passwd";
      if (std::system(command.c_str()) != 0) throw std::runtime_error("pure-ftpd: " + command + " failed");
      break;
    }
    case FtpServerKind::Proftpd:
      WriteFile(dir + "/passwd", std::string(User) + ":" + PasswordHash() + ":" + uid + ":" + gid + "::" + dir +
                                     "/home:/bin/sh\n");
      WriteFile(dir + "/group", std::string(User) + ":x:" + gid + ":\n");
      ::chmod((dir + "/passwd").c_str(), 0600);
      ::chmod((dir + "/group").c_str(), 0600);
      WriteFile(dir + "/proftpd.conf",
                "ServerType standalone\nServerName \"korv test\"\nUseIPv6 off\nPort " + port + "\nDefaultAddress " +
                    address + "\nSocketBindTight on\nUser nobody\nGroup nogroup\nPidFile " + dir +
                    "/proftpd.pid\nScoreboardFile " + dir + "/proftpd.scoreboard\nDelayTable none\nWtmpLog off\n"
                    "UseReverseDNS off\n<IfModule mod_ident.c>\n  IdentLookups off\n</IfModule>\n"
                    "AuthOrder mod_auth_file.c\nAuthUserFile " + dir + "/passwd\nAuthGroupFile " + dir +
                    "/group\nRequireValidShell off\nDefaultRoot ~\nTransferLog none\nSystemLog " + dir +
                    "/server.log\nUmask 022\nAllowOverwrite " + (Opts.keepFiles ? "off" : "on") + "\n" +
                    (Opts.banner ? "DisplayConnect " + dir + "/banner\n" : "") +
                    (tls ? "ModulePath " + Unpacked + "/usr/lib/proftpd\nLoadModule mod_tls.c\nTLSEngine on\n"
                               "TLSRequired on\nTLSProtocol TLSv1.2 TLSv1.3\nTLSRSACertificateFile " + Opts.certificate +
                               "\nTLSRSACertificateKeyFile " + Opts.key + "\nTLSLog " + dir + "/tls.log\n"
                         : ""));
      break;
    case FtpServerKind::Pyftpdlib:
      break;
  }
}

std::vector<std::string> FtpServer::CommandLine() const {
  const std::string& dir = Dir->path();
  switch (Opts.kind) {
    case FtpServerKind::Vsftpd:
      return {VsftpdProgram, dir + "/vsftpd.conf"};
    case FtpServerKind::PureFtpd: {
      // -H: no reverse look-ups, which cost seconds a login.
      std::vector<std::string> args = {PureFtpdProgram, "-S", Opts.address + "," + std::to_string(Opts.port), "-l",
                                       "puredb:" + dir + "/pureftpd.pdb", "-4", "-H", "-E", "-f", "none", "-g",
                                       dir + "/pure-ftpd.pid"};
      if (Opts.banner) args.insert(args.end(), {"-F", dir + "/banner"});
      if (Opts.keepFiles) args.push_back("-K");
      // -Y 3: TLS for the login and for the data.
      if (!Opts.certificate.empty()) args.insert(args.end(), {"-Y", "3", "-2", Opts.certificate + "," + Opts.key});
      return args;
    }
    case FtpServerKind::Proftpd:
      return {ProftpdProgram, "-n", "-c", dir + "/proftpd.conf"};
    case FtpServerKind::Pyftpdlib: {
      std::vector<std::string> args = {Python, PyftpdlibScript, Opts.address, std::to_string(Opts.port), dir + "/home",
                                       User, Password, dir + "/banner"};
      if (!Opts.certificate.empty()) args.insert(args.end(), {Opts.certificate, Opts.key});
      return args;
    }
  }
  return {};
}

void FtpServer::start() {
  if (running()) return;
  const char* name = Name(Opts.kind);
  std::string where = Opts.address + ":" + std::to_string(Opts.port);
  if (std::string other = Greeting(Opts.address, Opts.port); !other.empty())
    throw std::runtime_error(std::string(name) + ": another server already answers on " + where + ": " + other);

  std::vector<std::string> args = CommandLine();
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string log = Dir->path() + "/server.log";
  Pid = ::fork();
  if (Pid < 0) throw std::runtime_error(std::string(name) + ": fork failed");
  if (Pid == 0) {
    int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }

  auto deadline = std::chrono::steady_clock::now() + StartLimit;
  std::string greeting;
  while (std::chrono::steady_clock::now() < deadline) {
    int status;
    if (::waitpid(Pid, &status, WNOHANG) == Pid) {
      Pid = -1;
      throw std::runtime_error(std::string(name) + " ended at start on " + where + ": " + ReadFile(log));
    }
    greeting = Greeting(Opts.address, Opts.port);
    if (!greeting.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (greeting.rfind("220", 0) != 0) {
    stop();
    throw std::runtime_error(std::string(name) + " on " + where + " did not greet with 220 within 5 s: \"" + greeting +
                             "\" " + ReadFile(log));
  }
}

void FtpServer::freeze(bool frozen) {
  for (pid_t pid : running() ? ProcessTree(Pid) : std::vector<pid_t>{}) ::kill(pid, frozen ? SIGSTOP : SIGCONT);
}

void FtpServer::stop() {
  if (!running()) return;
  // The listener and every session it started, however they detached
  // (vsftpd's sessions lead sessions of their own), at once: a stop in the
  // middle of a transfer must cut it there.
  for (pid_t pid : ProcessTree(Pid)) ::kill(pid, SIGKILL);
  int status;
  ::waitpid(Pid, &status, 0);
  Pid = -1;
}

}  // namespace korv::test
