// Program entry: the station's one window and its event loop. Qt takes its
// own options (-platform offscreen, ...) first; the rest are the station's.
#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
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

// --schedule answers without a window, so it needs no display: the line is
// read before Qt, which would only have taken -platform from it.
int PrintSchedule(int argc, char** argv) {
  std::string program = argc > 0 ? argv[0] : "korv-cps";
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "-platform" && i + 1 < argc) {
      ++i;
      continue;
    }
    args.push_back(argv[i]);
  }
  try {
    // The upload host plays no part here, and neither does its variable.
    korv::StationOptions options =
        korv::ParseOptions(args, {.Location = std::getenv("KORV_LOCATION")}, korv::kDefaultUploadHost);
    if (options.Help) {
      std::cout << korv::OptionsHelp(program);
      return 0;
    }
    korv::CivilDate day = options.ScheduleDate.value_or(korv::LocalDateOf(std::time(nullptr)));
    std::cout << korv::ScheduleText(korv::SwitchTimesOn(day, *options.Station.Location, options.Station.NightAltitude));
    return 0;
  } catch (const korv::EOptionError& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (korv::AsksForSchedule(std::vector<std::string>(argv + std::min(argc, 1), argv + argc)))
    return PrintSchedule(argc, argv);
  QApplication application(argc, argv);
  QStringList arguments = application.arguments();
  std::string program = arguments.isEmpty() ? "korv-cps" : arguments.takeFirst().toStdString();
  std::vector<std::string> args;
  for (const QString& argument : arguments) args.push_back(argument.toStdString());

  korv::StationOptions options;
  try {
    options = korv::ParseOptions(args,
                                 {.UploadHost = std::getenv("KORV_UPLOAD_HOST"),
                                  .UploadTls = std::getenv("KORV_UPLOAD_TLS"),
                                  .Location = std::getenv("KORV_LOCATION")},
                                 korv::kDefaultUploadHost);
    // A CA file that can't serve would fail every upload: refused at once.
    if (!options.Station.UploadTlsCAFile.empty()) korv::TIdTLSContext check(options.Station.UploadTlsCAFile);
  } catch (const korv::Exception& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return 2;
  }
  if (options.Help) {
    std::cout << korv::OptionsHelp(program);
    return 0;
  }

  QuitOnSignals(application);
  korv::TForm1 form(".", options.Station);
  form.show();
  if (options.Unattended) form.StartUnattended();
  return application.exec();
}
