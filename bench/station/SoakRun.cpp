// Soak run: the whole station left alone through faults on every side. The
// real window ticks on its own timer and reports errors in its real,
// non-modal box; the simulated CD camera takes the pictures and vsftpd
// receives them. The run lasts a number of ticks (1000 unless a count is
// given) at a short interval (250 ms unless given in ms), the clock and the
// sky pinned so that no day or night switch changes the interval. A fixed
// schedule of 200 ticks injects:
//   - camera: "Device busy" releases and failed transfers (control entries,
//     and `fail` lines of the scenario), a picture truncated after the
//     camera wrote it (as a camera that delivers a short JPEG);
//   - files: "max.ser" replaced by a folder for five ticks;
//   - server: vsftpd stopped for ten ticks; four ticks against a scripted
//     server that aborts every store (426 then 226, 426 alone, 450); three
//     ticks against a server that accepts and never answers.
// Uploads wait at most 2 s for a reply (UploadTimeoutMs) instead of
// the station's 60 s, so that the silent server costs seconds, not minutes.
// Now and then the operator closes the error box.
//
// Reported: ticks, pictures taken, uploaded, kept locally, errors shown,
// files overwritten (a picture's bytes are hashed when it is written; a
// name written twice, or a kept file whose bytes changed, counts), the
// longest gap between two ticks, resident memory and open descriptors at
// the start, the middle and the end.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ftp/IdFTP.h"
#include "runtime/Clock.h"
#include "station/window/cps.h"
#include "tests/camsim/CamSimControl.h"
#include "tests/station/StoreScript.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Vsftpd.h"

namespace korv {
namespace {

using test::Send;
using test::Step;
using Steady = std::chrono::steady_clock;

constexpr int kUploadBoundMs = 2000;
constexpr const char* kSaved = "Kép beolvasása -";  // the picture is in its file

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

size_t Hash(const std::string& path) { return std::hash<std::string>()(test::ReadFile(path)); }

// A March afternoon for the whole run: no switch to the night presets.
class PinnedClock final : public Clock {
public:
  LocalTime Now() override { return {2026, 3, 14, 14, 0, 0}; }
  void Sleep(uint32_t milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};

// Failures of the scenario strike before the first of the schedule: the
// simulator keeps one pending failure per entry, and a control entry's
// replaces the scenario's.
const char* const kScenario =
    "camera CD\ntime 14:00\ndate 03-14\nclouds 40\n"
    "fail CDRelease 2 0x00000081 after 2\n"          // ticks 3 and 4
    "fail CDGetReleasedData 1 0x00000028 after 10\n";  // tick 13

class Soak : public QObject {
public:
  Soak(int ticks, int intervalMs) : Ticks(ticks), IntervalMs(intervalMs) {}
  int Run();

private:
  // The timer's event comes before its timeout, so before the window's handler.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnTick();
  void Inject(int tick);  // before tick `tick`
  void OnPictureStatus(const std::string& status);
  void OnUploadStatus(const std::string& status);
  QMessageBox* Box() const;
  void CloseBox();
  void UseServer(const std::string& host, int port);

  int Ticks, IntervalMs;
  test::SimulatedLibrary& Camera = test::SimulatedLibrary::CD();
  std::unique_ptr<test::Vsftpd> Server;
  std::unique_ptr<test::ScriptedServer> Scripted;  // the aborting or silent server, while in use
  std::unique_ptr<TForm1> Form;
  QEventLoop Loop;

  int Tick = 0;
  Steady::time_point TickStart{}, TickEnd{};
  Steady::duration LongestGap{}, LongestTick{}, LongestWait{};  // start to start, start to end, end to start
  int LongestGapTick = 0, LongestTickTick = 0;
  std::map<std::string, int> Messages;  // the box's messages seen at the ticks' ends
  int ErrorsSeen = 0;
  bool TruncateNext = false;
  int Truncated = 0;
  int Uploaded = 0, UploadFailures = 0, Taken = 0;
  int Errors = 0, MostBoxes = 0, ModalBoxes = 0;
  int Overwritten = 0;
  std::map<std::string, size_t> Written;  // picture path: hash of its bytes when written
  std::vector<Usage> Usages;
};

// The station's FTP client, turned to another server in the middle of a run.
void Soak::UseServer(const std::string& host, int port) {
  Form->IdFTP1->Host = host;
  Form->IdFTP1->Port = port;
}

QMessageBox* Soak::Box() const {
  auto boxes = Form->findChildren<QMessageBox*>(QStringLiteral("ErrorBox"));
  return boxes.isEmpty() ? nullptr : boxes.front();
}

// The box counts the errors since it opened ("N errors since ..."), or shows one.
int ErrorsIn(const QMessageBox* box) {
  QString count = box->informativeText().section(' ', 0, 0);
  return count.isEmpty() ? 1 : count.toInt();
}

void Soak::CloseBox() {
  QMessageBox* box = Box();
  if (!box) return;
  Errors += ErrorsIn(box);
  box->close();
  QApplication::processEvents();  // the deferred delete
}

void Soak::Inject(int tick) {
  int phase = tick % 200;
  std::string counter = Form->Core.Path("max.ser");
  if (phase == 7 || phase == 57 || phase == 107 || phase == 157) Camera.FailNext("CDRelease", 1, 0x81);
  if (phase == 23 || phase == 123) Camera.FailNext("CDGetReleasedData", 1, 0x28);
  if (phase == 31 || phase == 131) TruncateNext = true;
  if (phase == 40) {
    std::filesystem::remove(counter);
    std::filesystem::create_directory(counter);
  }
  if (phase == 45) std::filesystem::remove(counter);  // the next picture writes it anew
  if (phase == 60) Server->stop();
  if (phase == 70) Server->start();
  if (phase == 100) {
    const std::vector<std::vector<Step>> endings = {{Send("426 aborted\r\n"), Send("226 done\r\n")},
                                                    {Send("426 aborted\r\n")},
                                                    {Send("450 busy\r\n")},
                                                    {Send("426 aborted\r\n"), Send("226 done\r\n")}};
    std::vector<Step> script;
    for (const auto& ending : endings) {
      if (!script.empty()) script.push_back(test::NextConnection());
      std::vector<Step> session = test::StoreSession(test::Vsftpd::User, test::Vsftpd::Password, ending);
      script.insert(script.end(), session.begin(), session.end());
    }
    Scripted = std::make_unique<test::ScriptedServer>(std::move(script));
    UseServer(Scripted->host(), Scripted->port());
  }
  if (phase == 150) {
    Scripted = std::make_unique<test::ScriptedServer>(std::vector<Step>{test::Stall()});
    UseServer(Scripted->host(), Scripted->port());
  }
  if (phase == 104 || phase == 153) {
    Scripted->finish();
    Scripted.reset();
    UseServer(Server->host(), Server->port());
  }
  if (phase == 199) CloseBox();  // the operator looks in now and then
}

bool Soak::eventFilter(QObject*, QEvent* event) {
  if (event->type() != QEvent::Timer) return false;
  Steady::time_point now = Steady::now();
  if (Tick > 0) {
    if (now - TickStart > LongestGap) {
      LongestGap = now - TickStart;
      LongestGapTick = Tick + 1;
    }
    LongestWait = std::max(LongestWait, now - TickEnd);
  }
  TickStart = now;
  return false;
}

void Soak::OnTick() {
  TickEnd = Steady::now();
  ++Tick;
  if (TickEnd - TickStart > LongestTick) {
    LongestTick = TickEnd - TickStart;
    LongestTickTick = Tick;
  }
  Camera.ClearLog();  // the simulator's call log is no memory of the station
  auto boxes = Form->findChildren<QMessageBox*>(QStringLiteral("ErrorBox"));
  MostBoxes = std::max(MostBoxes, static_cast<int>(boxes.size()));
  for (QMessageBox* box : boxes) {
    ModalBoxes += box->isModal();
    if (Errors + ErrorsIn(box) > ErrorsSeen) ++Messages[box->text().left(60).toStdString()];
    ErrorsSeen = Errors + ErrorsIn(box);
  }
  if (Tick == std::min(10, Ticks) || Tick == Ticks / 2) Usages.push_back(Measure());
  if (Tick >= Ticks) {
    Loop.quit();
    return;
  }
  Inject(Tick + 1);
}

void Soak::OnPictureStatus(const std::string& status) {
  if (status.rfind(kSaved, 0) != 0) return;
  ++Taken;
  std::string path = Form->Core.View().PictureFolder + "/" + status.substr(std::string(kSaved).size());
  if (TruncateNext) {
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
    TruncateNext = false;
    ++Truncated;
  }
  Overwritten += Written.count(path) != 0;
  Written[path] = Hash(path);
}

void Soak::OnUploadStatus(const std::string& status) {
  Uploaded += status == "Feltöltés sikeres";
  UploadFailures += status == "Kapcsolati hiba!!";
}

int Soak::Run() {
  if (auto why = test::Vsftpd::Unavailable(); !why.empty()) {
    std::printf("soak: no FTP server on this machine: %s\n", why.c_str());
    return 1;
  }
  test::TempDir folder;
  PinnedClock clock;
  Clock* previousClock = SetClock(&clock);
  Camera.LoadScenario(kScenario);
  Server = std::make_unique<test::Vsftpd>(test::Vsftpd::Options{.address = "127.0.0.31", .port = 0});

  StationConfig config;
  config.UploadHost = Server->host();
  config.UploadPort = Server->port();
  config.UploadTimeoutMs = kUploadBoundMs;
  Form = std::make_unique<TForm1>(folder.path(), config);
  TForm1& form = *Form;
  QObject::connect(form.Edit1, &QLineEdit::textChanged, [this](const QString& s) { OnPictureStatus(s.toStdString()); });
  QObject::connect(form.Edit3, &QLineEdit::textChanged, [this](const QString& s) { OnUploadStatus(s.toStdString()); });
  form.Timer1->installEventFilter(this);
  QObject::connect(form.Timer1, &QTimer::timeout, [this] { OnTick(); });  // after the window's own handler
  form.Button1->click();
  form.ComboBox1->setCurrentIndex(5);  // "Kis méret"
  form.Edit4->setText(test::Vsftpd::User);
  form.Edit5->setText(test::Vsftpd::Password);
  form.Button3->click();
  form.Timer1->setInterval(IntervalMs);
  if (!form.Timer1->isActive() || Box()) {
    std::printf("soak: the station did not start\n");
    return 1;
  }
  Inject(1);
  Steady::time_point started = Steady::now();
  Loop.exec();
  double seconds = std::chrono::duration<double>(Steady::now() - started).count();
  form.Button4->click();
  Usages.push_back(Measure());
  CloseBox();

  // Every picture written is uploaded (and deleted) or still there as written.
  int kept = 0, changed = 0;
  for (const auto& [path, hash] : Written) {
    if (!std::filesystem::exists(path)) continue;
    ++kept;
    changed += Hash(path) != hash;
  }
  int64_t counted = form.Core.View().NextPicture - 1;
  std::printf("ticks %d in %.0f s (timer interval %d ms, upload bound %d ms)\n", Tick, seconds, IntervalMs,
              kUploadBoundMs);
  std::printf("pictures taken %d (%d truncated), uploaded %d, upload failures %d, kept locally %d, numbered %lld\n",
              Taken, Truncated, Uploaded, UploadFailures, kept, static_cast<long long>(counted));
  std::printf("errors shown %d; at most %d box(es) at once, %d modal\n", Errors, MostBoxes, ModalBoxes);
  std::printf("files overwritten %d (names written twice), kept files changed %d\n", Overwritten, changed);
  for (const auto& [message, count] : Messages) std::printf("  %3d x %s\n", count, message.c_str());
  auto inSeconds = [](Steady::duration d) { return std::chrono::duration<double>(d).count(); };
  std::printf("longest gap between tick starts %.3f s (before tick %d); longest tick %.3f s (tick %d); "
              "longest wait from a tick's end to the next %.3f s\n",
              inSeconds(LongestGap), LongestGapTick, inSeconds(LongestTick), LongestTickTick, inSeconds(LongestWait));
  const char* when[] = {"start", "middle", "end"};
  for (size_t i = 0; i < Usages.size() && i < 3; ++i) {
    std::printf("%-6s resident %ld KiB, open descriptors %ld\n", when[i], Usages[i].ResidentKiB,
                Usages[i].OpenFiles);
  }
  bool accounted = Uploaded + kept == Taken && counted == Taken;
  // A second for handling the picture itself, beside the upload's bound.
  bool timely = LongestGap < std::chrono::milliseconds(IntervalMs + kUploadBoundMs + 1000);
  bool sound = accounted && Overwritten == 0 && changed == 0 && MostBoxes <= 1 && ModalBoxes == 0 && timely;
  std::printf("every picture uploaded or kept, none overwritten, one box at most, ticks within the interval, "
              "the upload bound and 1 s: %s\n", sound ? "yes" : "NO");

  Form.reset();
  Camera.Reset();
  SetClock(previousClock);
  return sound ? 0 : 2;
}

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  korv::Soak soak(argc > 1 ? std::atoi(argv[1]) : 1000, argc > 2 ? std::atoi(argv[2]) : 250);
  return soak.Run();
}
