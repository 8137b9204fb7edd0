// Soak run: the station, the simulated CD camera and vsftpd for many
// pictures (1000 unless a count is given), ticking as fast as the pictures
// can be handled, with failures injected now and then on both sides: the
// camera answering a transfer with an error status, the server refusing
// the login, the server restarted. Reports the pictures taken, uploaded and
// failed, and resident memory and open file descriptors at the start, the
// middle and the end. Every picture must end either uploaded or reported
// with "Kapcsolati hiba!!" and kept in the day's folder.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/ErrorReport.h"
#include "station/cps.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/support/Vsftpd.h"

namespace korv {
namespace {

struct Usage {
  long ResidentKiB;
  long OpenFiles;
};

Usage Measure() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  long files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++files;
  return {resident * (sysconf(_SC_PAGESIZE) / 1024), files};
}

int Soak(int pictures) {
  if (auto why = test::Vsftpd::Unavailable(); !why.empty()) {
    std::printf("soak: no FTP server on this machine: %s\n", why.c_str());
    return 1;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "korv-soak-XXXXXX").string();
  if (!mkdtemp(folder.data())) return 1;
  std::filesystem::current_path(folder);
  std::vector<std::string> cameraErrors;
  SetErrorReporter([&](const std::string& message) { cameraErrors.push_back(message); });
  test::SimulatedLibrary& camera = test::SimulatedLibrary::CD();
  camera.Reset();
  test::Vsftpd server;

  int uploaded = 0, failed = 0, keptAfterFailure = 0;
  std::vector<Usage> usage;
  {
    TForm1 form;
    form.State.upload_host = server.host();
    std::string current;
    QObject::connect(form.Edit3, &QLineEdit::textChanged, [&](const QString& text) {
      std::string status = text.toStdString();
      if (status.rfind("Fájl feltöltése ", 0) == 0) current = status.substr(std::string("Fájl feltöltése ").size());
      if (status == "Feltöltés sikeres") ++uploaded;
      if (status == "Kapcsolati hiba!!") {
        ++failed;
        keptAfterFailure += std::filesystem::exists(form.State.picture_dir + "/" + current);
      }
    });
    form.Button1->click();
    form.Edit4->setText(test::Vsftpd::User);
    form.Edit5->setText(test::Vsftpd::Password);
    form.Edit2->setText("1");
    form.Button3->click();
    form.Button4->click();  // ticks are driven below, one per picture

    for (int i = 1; i <= pictures; ++i) {
      if (i % 97 == 0) camera.FailNext("CDGetReleasedData", 1, 0x28);
      if (i % 89 == 0) form.Edit5->setText("refused");
      if (i % 89 == 1 && i > 1) form.Edit5->setText(test::Vsftpd::Password);
      if (i % 211 == 0) {
        server.stop();
        server.start();
      }
      QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
      QApplication::processEvents();
      camera.ClearLog();  // the simulator's call log is no memory of the station
      // "Start" after a few pictures have warmed up the libraries' caches.
      if (i == std::min(10, pictures) || i == pictures / 2) usage.push_back(Measure());
    }
    usage.push_back(Measure());
    int taken = form.State.picture_counter - 1;
    std::printf("pictures: %d ticks, %d taken, %d uploaded, %d upload failures (%d kept locally), "
                "%zu camera errors\n",
                pictures, taken, uploaded, failed, keptAfterFailure, cameraErrors.size());
    const char* when[] = {"start", "middle", "end"};
    for (size_t i = 0; i < usage.size(); ++i) {
      std::printf("%-6s resident %ld KiB, open descriptors %ld\n", when[i], usage[i].ResidentKiB, usage[i].OpenFiles);
    }
    std::printf("growth: %ld KiB, %ld descriptors\n", usage.back().ResidentKiB - usage.front().ResidentKiB,
                usage.back().OpenFiles - usage.front().OpenFiles);
    bool accounted = uploaded + failed == taken && keptAfterFailure == failed;
    std::printf("every picture uploaded or kept with \"Kapcsolati hiba!!\": %s\n", accounted ? "yes" : "NO");
  }
  std::filesystem::current_path("/");
  std::filesystem::remove_all(folder);
  return 0;
}

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return korv::Soak(argc > 1 ? std::atoi(argv[1]) : 1000);
}
