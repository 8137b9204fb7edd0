#include "station/Station.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "camera/Obturo.h"
#include "ftp/IdException.h"
#include "ftp/IdFTP.h"
#include "runtime/CodePage1250.h"
#include "runtime/Convert.h"
#include "runtime/Exception.h"
#include "station/CaptureCycle.h"
#include "station/PictureFiles.h"

namespace korv {

namespace {

void SetIf(uint8_t& field, std::optional<uint8_t> value) {
  if (value) field = *value;
}

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

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

TCameraSettings BuildSettings(TCameraSettings settings, const CameraChoice& choice, uint8_t dayMode) {
  SetIf(settings.ImageSize, ImageSizeOfItem(choice.ImageSizeItem));
  bool night = choice.Preset > kDuskPreset;
  if (choice.Preset == kDayPreset) {
    settings.ShootingMode = dayMode;
    settings.ISO = kIsoAutomatic;
    settings.Av = 0;  // 0: left as the camera has it
    settings.Tv = 0;
  }
  if (choice.Preset == kDuskPreset) {
    settings.ShootingMode = kShootingModeManual;
    settings.ISO = kIsoAutomatic;  // whatever the disabled ISO list shows
    SetIf(settings.Av, AvOfItem(choice.ApertureItem));
  }
  if (night) {
    settings.ShootingMode = kShootingModeShutterPriority;
    settings.Av = 0;
    SetIf(settings.ISO, IsoOfItem(choice.IsoItem));
  }
  if (night || choice.Preset == kDuskPreset) SetIf(settings.Tv, TvOfItem(choice.ExposureItem));
  settings.FlashMode = FlashModeOf(choice.Flash);
  if (choice.Quality >= 1 && choice.Quality <= 3) settings.Quality = static_cast<uint8_t>(choice.Quality);
  settings.ColorSaturation = kColorSaturationHigh;
  SetIf(settings.ImageSize, ImageSizeOfItem(choice.ImageSizeItem));
  return settings;
}

Station::Station(TObturo& camera, TIdFTP& ftp, const std::string& folder)
    : Camera(camera),
      Ftp(ftp),
      Folder(std::filesystem::absolute(folder).lexically_normal().string()),
      Journal(Path(kLogFile)) {
  if (Folder.size() > 1 && Folder.back() == '/') Folder.pop_back();
  SettingsFile = Path(kSettingsFile);
  CounterFile = Path(kPictureNumberFile);
}

std::optional<SettingsLines> Station::LoadSettings(std::string* problem) {
  CleanUpInterruptedWrites(SettingsFile, CounterFile);
  auto settings = ReadSettings(SettingsFile, problem);
  if (!settings) return std::nullopt;
  // Remembered too, so that a night preset chosen before the first Start
  // rewrites the file with the account it already held.
  State.ftp_user = settings->User;
  State.ftp_password = settings->Password;
  State.base_interval = State.interval = IntervalOf(settings->Interval);
  settings->Interval = IntToStr(State.interval);
  State.night_exposure = NightExposureOf(settings->NightExposure);
  return settings;
}

void Station::OpenPictureDir(const std::string& date, std::string* problem) {
  State.picture_dir = PictureDirName(date);
  std::error_code error;
  if (std::filesystem::is_directory(Path(State.picture_dir), error)) {
    State.picture_counter = ReadPictureCounter(CounterFile, problem);
  } else {
    std::filesystem::create_directory(Path(State.picture_dir), error);  // a failure shows at the first picture
    State.picture_counter = 1;
  }
  State.picture_counter = SafePictureCounter(Path(State.picture_dir), State.picture_counter);
}

void Station::save_settings() {
  SaveSettings(SettingsFile, State.ftp_user, State.ftp_password, State.base_interval, State.night_exposure);
}

bool Station::OpenCamera(bool takeHeld) {
  if (!takeHeld || Camera.ConnectInfo().Kind == CameraKindNone) {
    Camera.EnumerateCameras();
    Camera.Connect(CameraKindPowerShot, 0);
  }
  return Camera.IsRemoteCapable();
}

bool Station::EnterRemoteMode() {
  TRemoteCapabilities capabilities =
      Camera.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  return capabilities[CapSettings] != 0;
}

void Station::ReadCamera() {
  State.cam_settings = Camera.GetCameraSettings();
  State.day_mode = State.cam_settings.ShootingMode;
  State.zoom_max = 0;
  State.zoom_info = Camera.GetZoomInfo();
  State.zoom_max = static_cast<uint16_t>(State.zoom_info.MaxPosition);
  State.zoom_pos = static_cast<uint16_t>(State.zoom_info.Position);
}

ShownValues Station::Shown() const {
  return {State.interval, ExposureItemOf(State.exposure_s), ApertureItemOf(State.aperture), IsoItemOf(State.iso)};
}

int64_t Station::PrepareSettings(const CameraChoice& choice) {
  State.cam_settings = BuildSettings(Camera.GetCameraSettings(), choice, State.day_mode);
  int64_t seconds = choice.Upload ? int64_t{State.interval} + State.upload_extra_s : State.interval;
  return seconds * 1000;
}

void Station::SendSettings() { Camera.SetCameraSettings(State.cam_settings); }

void Station::ApplyPreset(int button) {
  const Preset& preset = PresetOf(button);
  State.interval = std::max(State.base_interval, preset.MinInterval);
  State.exposure_s = preset.ExposureS;
  State.iso = preset.Iso;
  State.aperture = preset.Aperture;
  if (preset.NightExposure != 0) {
    State.night_exposure = preset.NightExposure;
    save_settings();
  }
}

std::optional<int64_t> Station::IntervalTyped(const std::string& text, bool dayPreset) {
  int32_t value = StrToIntDef(text, 0);
  if (value <= 0 || value >= 100) return std::nullopt;
  State.interval = value;
  if (dayPreset && !KeepBaseInterval) State.base_interval = value;
  return int64_t{value} * 1000;
}

ScopeExit<std::function<void()>> Station::HoldBaseInterval() {
  KeepBaseInterval = true;
  return ScopeExit<std::function<void()>>([this] { KeepBaseInterval = false; });
}

void Station::CheckAccount(const std::string& user, const std::string& password) const {
  if (std::string problem = AccountProblem(user, password); !problem.empty()) throw EConvertError(problem);
}

void Station::StartCycle(const std::string& user, const std::string& password) {
  Log("start: a picture every " + std::to_string(State.interval) + " s, uploads to " + State.upload_host + ":" +
      std::to_string(State.upload_port) + (State.atomic_publish ? ", published atomically" : ""));
  // The first tick of a run owes no picture yet.
  State.picture_awaited = false;
  if (user.empty() || password.empty()) return;
  State.ftp_user = user;
  State.ftp_password = password;
  save_settings();
}

void Station::StopCycle() { Log("stop"); }

void Station::SetUploading(bool upload) { State.upload_extra_s = upload ? 10 : 0; }

void Station::MoveZoom(int position) {
  State.zoom_pos = static_cast<uint16_t>(position);
  State.zoom_info.Position = static_cast<uint32_t>(position);
  Camera.SetZoom(static_cast<uint32_t>(position));
}

TickPlan Station::BeginTick(const LocalTime& now) {
  SwitchHours hours = switch_hours(now.Month);
  State.evening_hour = hours.Evening;
  State.morning_hour = hours.Morning;
  TickPlan plan;
  plan.Hour = static_cast<uint16_t>(now.Hour);
  if (State.picture_awaited) ++State.failed_captures;
  State.picture_awaited = true;
  plan.Reconnect = State.failed_captures >= kFailedCapturesBeforeReconnect;
  if (MorningSwitchDue(plan.Hour, State.last_hour, State.morning_hour)) {
    State.interval = std::max(State.base_interval, kDefaultInterval);
    State.exposure_s = State.iso = State.aperture = 0;
    plan.Kind = TickPlan::Switch::Morning;
    plan.Preset = kDayPreset;
    plan.Lists = PresetOf(kDayPreset).Lists;
  } else if (EveningSwitchDue(plan.Hour, State.last_hour, State.evening_hour)) {
    int32_t night = 2 * State.night_exposure;
    State.interval = night < State.base_interval ? State.base_interval : night;
    State.exposure_s = State.night_exposure;
    State.iso = 50;
    State.aperture = 0;
    plan.Kind = TickPlan::Switch::Evening;
    plan.Preset = NightPresetOf(State.night_exposure);
    plan.Lists = {true, false, true};
  }
  return plan;
}

std::string Station::EndTick(const TickPlan& plan) {
  State.last_hour = plan.Hour;
  return kTakingPicture;
}

void Station::TakePicture() { Camera.TakePicture(); }

bool Station::Reconnect(const CameraChoice& choice, StationSink& sink) {
  sink.ShowStatus(kReconnecting);
  try {
    OpenCamera(true);
    EnterRemoteMode();
    PrepareSettings(choice);
    SendSettings();
    if (State.zoom_max != 0) Camera.SetZoom(State.zoom_pos);
  } catch (const std::exception& e) {
    Log(std::string("camera unavailable: ") + e.what());
    sink.ShowStatus(kCameraUnavailable);
    return Camera.ConnectInfo().Kind != CameraKindNone;
  }
  Log("camera reconnected: " + Camera.ConnectInfo().ModelName);
  State.failed_captures = 0;
  return true;
}

int64_t Station::RetryDelayMs() const { return int64_t{std::max(State.interval, 1)} * 1000; }

void Station::HandlePicture(RemoteEventCallbackType event, const PictureChoice& choice, StationSink& sink) {
  if (event != RemoteEventCallbackReleaseComplete) return;
  // A name that something else took since the start is never written over.
  while (State.picture_counter <= kLastPictureNumber &&
         Exists(Path(State.picture_dir + "/" + PictureFileName(State.picture_counter))))
    ++State.picture_counter;
  if (State.picture_counter > kLastPictureNumber) throw EInOutError("No picture number is left");
  std::string name = PictureFileName(State.picture_counter);
  PictureTarget target(Path(State.picture_dir + "/" + name));
  const std::string& path = target.Path();
  sink.ShowStatus("Kép mentése " + name);
  // A picture that reached its file keeps its number whatever fails later,
  // so that the next picture does not overwrite it.
  auto keepNumber = ScopeExit([&] {
    if (Exists(path)) ++State.picture_counter;
  });
  {
    // A transfer cut short (a full disk, a camera gone) leaves no part of a
    // picture behind.
    auto dropPartial = ScopeExit([&] { target.RemovePartial(); });
    Camera.GetReleasedPicture(path);
    dropPartial.Release();
  }
  State.picture_awaited = false;
  State.failed_captures = 0;
  sink.ShowStatus("Kép beolvasása -" + name);
  sink.ShowPreview(path);
  WritePictureCounter(CounterFile, State.picture_counter + 1);
  if (choice.Upload) Upload(path, name, choice.Account, sink);
  keepNumber.Release();
  ++State.picture_counter;
}

void Station::Upload(const std::string& path, const std::string& name, const UploadChoice& account,
                     StationSink& sink) {
  sink.ShowUploadStatus("Fájl feltöltése " + name);
  Ftp.Host = State.upload_host;
  Ftp.Port = State.upload_port;
  Ftp.ReadTimeout = State.upload_timeout_ms;
  Ftp.WriteTimeout = State.upload_timeout_ms;
  Ftp.UseTLS = State.upload_tls;
  Ftp.TLSCAFile = State.upload_tls_ca;
  // Said once per upload, however it ended.
  auto reportPassive = ScopeExit([this] {
    if (!Ftp.IgnoredPassiveAddress.empty())
      Log("upload: the server's PASV reply named " + Ftp.IgnoredPassiveAddress + "; the data went to " +
          State.upload_host + " all the same");
  });
  try {
    // The account goes on the wire in the settings file's code page; one
    // that code page can't hold fails this upload like any other error.
    Ftp.Username = Utf8ToCp1250(account.User);
    Ftp.Password = Utf8ToCp1250(account.Password);
    sink.ShowUploadStatus("Kapcsolódás a szerverhez");
    Ftp.ConnectServer(true, -1);
    sink.ShowUploadStatus("Kapcsolódás sikeres");
    sink.ShowConnected(Ftp.IsConnected());
    Ftp.SetTransferType(ftBinary);
    Ftp.ChangeDirectory("public_html");
    sink.ShowUploadStatus("Kép feltöltése " + name);
    State.upload_file_size = FileSize(path);
    // Only a store that returned is a stored picture: every failure above
    // and in it keeps the local file.
    if (State.atomic_publish) {
      Ftp.UploadFile(path, kPartialLivePicture, false);
      PublishStored();
    } else {
      Ftp.UploadFile(path, kLivePicture, false);
    }
    sink.ShowUploadStatus("Feltöltés sikeres");
    Ftp.SignOff();
    sink.ShowConnected(Ftp.IsConnected());
    if (!account.KeepFile) ::unlink(path.c_str());  // a failed delete is no failure of the upload
    sink.ShowProgress(0);
  } catch (const std::exception& e) {
    Log("upload failed: " + FailureText(e));
    sink.ShowUploadStatus(kUploadFailed);
    // A session left open would make the next upload fail as well.
    try {
      Ftp.CloseConnection();
    } catch (const std::exception&) {
    }
  }
}

std::string Station::FailureText(const std::exception& e) {
  std::string text = e.what();
  if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e)) text = IntToStr(reply->ReplyCode) + " " + text;
  // One line: the lines of a reply or a socket error joined by blanks.
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') c = ' ';
    if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void Station::PublishStored() {
  const std::string stored = kPartialLivePicture, live = kLivePicture;
  Ftp.SendCommand("RNFR " + stored, 350);
  try {
    Ftp.SendCommand("RNTO " + live, 250);
  } catch (const EIdProtocolReplyError& refused) {
    // A server that won't replace a file by renaming: the live picture goes
    // first, so the page briefly has none, but never half of one.
    if (refused.ReplyCode / 100 != 5) throw;
    Ftp.SendCommand("DELE " + live, 250);
    Ftp.Rename(stored, live);
  }
}

std::optional<int> Station::ProgressOf(int64_t bytes) const {
  if (State.upload_file_size <= 0) return std::nullopt;
  double percent =
      std::nearbyint(static_cast<double>(bytes) * 100.0 / static_cast<double>(State.upload_file_size));
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

}  // namespace korv
