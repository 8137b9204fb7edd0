// Program entry: the station's one window and its event loop. Qt takes its
// own options (-platform offscreen, ...) first; the rest are the station's.
#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/Options.h"
#include "ftp/IdTLS.h"
#include "station/window/cps.h"

namespace {

int QuitPipe[2] = {-1, -1};

// SIGTERM (systemctl stop) and SIGINT end the event loop, so the window is
// closed as if by hand and the log records the end.
void QuitOnSignals(QApplication& application) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, QuitPipe) != 0) return;
  auto* notifier = new QSocketNotifier(QuitPipe[1], QSocketNotifier::Read, &application);
  QObject::connect(notifier, &QSocketNotifier::activated, &application, &QApplication::quit);
  struct sigaction action {};
  action.sa_handler = [](int) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(QuitPipe[0], &byte, 1);
  };
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QStringList arguments = application.arguments();
  std::string program = arguments.isEmpty() ? "korv-cps" : arguments.takeFirst().toStdString();
  std::vector<std::string> args;
  for (const QString& argument : arguments) args.push_back(argument.toStdString());

  korv::StationOptions options;
  try {
    options = korv::ParseOptions(args, std::getenv("KORV_UPLOAD_HOST"), korv::kDefaultUploadHost,
                                 std::getenv("KORV_UPLOAD_TLS"));
    // A CA file that can't serve would fail every upload: refused at once.
    if (!options.TlsCAFile.empty()) korv::TIdTLSContext check(options.TlsCAFile);
  } catch (const korv::Exception& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return 2;
  }
  if (options.Help) {
    std::cout << korv::OptionsHelp(program);
    return 0;
  }

  QuitOnSignals(application);
  korv::StationConfig config;
  config.UploadHost = options.UploadHost;
  config.UploadPort = options.UploadPort;
  config.AtomicPublish = options.AtomicPublish;
  config.UploadTls = options.Tls;
  config.UploadTlsCAFile = options.TlsCAFile;
  korv::TForm1 form(".", config);
  form.show();
  if (options.Unattended) form.StartUnattended();
  return application.exec();
}
