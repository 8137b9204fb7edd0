// The upload driver of the window: each picture goes to the web server as
// "koftplive.jpg" over its own FTP session.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "ftp/IdFTP.h"
#include "runtime/Exception.h"
#include "station/cps.h"

namespace korv {

namespace {

// The size of a file that can be opened for reading.
int64_t FileSize(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat info {};
  int result = ::fstat(fd, &info);
  ::close(fd);
  if (result != 0) throw EInOutError("Cannot read file \"" + path + "\"");
  return info.st_size;
}

}  // namespace

void TForm1::CreateIdFTP1() {
  IdFTP1.reset(new TIdFTP);
  IdFTP1->MaxLineAction = maException;
  IdFTP1->ProxySettings.ProxyType = fpcmNone;
  IdFTP1->ProxySettings.Port = 0;
  IdFTP1->OnWork = [this](TIdComponent*, TWorkMode, int64_t count) { IdFTP1Work(count); };
}

void TForm1::ShowUploadStatus(const std::string& text) {
  Edit3->setText(QString::fromStdString(text));
  Edit3->repaint();
}

void TForm1::upload_picture(const std::string& path, const std::string& name) {
  ShowUploadStatus("Fájl feltöltése " + name);
  IdFTP1->Host = State.upload_host;
  IdFTP1->Port = State.upload_port;
  IdFTP1->Username = Edit4->text().toStdString();
  IdFTP1->Password = Edit5->text().toStdString();
  IdFTP1->ReadTimeout = State.upload_timeout_ms;
  IdFTP1->WriteTimeout = State.upload_timeout_ms;
  try {
    ShowUploadStatus("Kapcsolódás a szerverhez");
    IdFTP1->ConnectServer(true, -1);
    ShowUploadStatus("Kapcsolódás sikeres");
    CheckBox6->setChecked(IdFTP1->IsConnected());
    CheckBox6->repaint();
    IdFTP1->SetTransferType(ftBinary);
    IdFTP1->ChangeDirectory("public_html");
    ShowUploadStatus("Kép feltöltése " + name);
    State.upload_file_size = FileSize(path);
    IdFTP1->UploadFile(path, "koftplive.jpg", false);
    ShowUploadStatus("Feltöltés sikeres");
    IdFTP1->SignOff();
    CheckBox6->setChecked(IdFTP1->IsConnected());
    if (!CheckBox3->isChecked()) ::unlink(path.c_str());  // a failed delete is no failure of the upload
    ProgressBar1->setValue(0);
  } catch (const std::exception&) {
    ShowUploadStatus("Kapcsolati hiba!!");
    // A session left open would make the next upload fail as well.
    try {
      IdFTP1->CloseConnection();
    } catch (const std::exception&) {
    }
  }
}

void TForm1::IdFTP1Work(int64_t AWorkCount) {
  if (State.upload_file_size <= 0) return;
  double percent = std::nearbyint(static_cast<double>(AWorkCount) * 100.0 / static_cast<double>(State.upload_file_size));
  ProgressBar1->setValue(static_cast<int>(std::clamp(percent, 0.0, 100.0)));
  ProgressBar1->repaint();
}

void TForm1::CheckBox4Click() {
  bool upload = CheckBox4->isChecked();
  GroupBox1->setEnabled(upload);
  State.upload_extra_s = upload ? 10 : 0;
}

}  // namespace korv
