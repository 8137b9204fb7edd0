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
#include "camera/sdk/CamErrors.h"
#include "ftp/IdFTP.h"
#include "runtime/CodePage1250.h"
#include "runtime/Convert.h"
#include "runtime/Exception.h"
#include "runtime/ScopeExit.h"
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

Station::Station(TObturo& camera, TIdFTP& ftp, const std::string& folder, const StationConfig& config)
    : Camera(camera),
      Ftp(ftp),
      Folder(std::filesystem::absolute(folder).lexically_normal().string()),
      Journal(Path(kLogFile)) {
  if (Folder.size() > 1 && Folder.back() == '/') Folder.pop_back();
  SettingsFile = Path(kSettingsFile);
  CounterFile = Path(kPictureNumberFile);
  State.upload_host = config.UploadHost;
  State.upload_port = config.UploadPort;
  State.atomic_publish = config.AtomicPublish;
  State.location = config.Location;
  State.night_altitude = config.NightAltitude;
  State.upload_tls = config.UploadTls;
  State.upload_tls_ca = config.UploadTlsCAFile;
  Ftp.MaxLineAction = maException;
  Ftp.ProxySettings.ProxyType = fpcmNone;
  Ftp.ProxySettings.Port = 0;
  Ftp.OnWork = [this](TIdComponent*, TWorkMode, int64_t count) {
    if (auto percent = ProgressOf(count); percent && UploadSink) UploadSink->ShowProgress(*percent);
  };
}

Station::~Station() {
  Ftp.OnWork = nullptr;
  if (Started) Log("korv-cps ended");
}

std::vector<std::string> Station::FormCreate(const std::function<std::string(const LocalTime&)>& shortDate,
                                             UploadChoice* account) {
  Started = true;
  Log("korv-cps started");
  Controls = StationView{};
  std::vector<std::string> problems;
  std::string problem;
  if (auto settings = LoadSettings(&problem)) {
    if (account) *account = {settings->User, settings->Password, false};
    if (settings->Interval != Controls.IntervalText) TakeInterval(settings->Interval, true);
  }
  if (!problem.empty()) problems.push_back(problem);
  problem.clear();
  // The folder of the start date, for the whole run.
  OpenPictureDir(shortDate(TheClock().Now()), &problem);
  if (!problem.empty()) problems.push_back(problem);
  return problems;
}

void Station::Connect(bool takeHeld) {
  Controls.RemoteCapable = OpenCamera(takeHeld);
  Controls.SettingsSupported = EnterRemoteMode();
  ReadCamera();
  Controls.ZoomMaxText = std::to_string(State.zoom_max);
  Controls.ZoomPositionText = std::to_string(State.zoom_pos);
  if (ZoomExists()) {
    Controls.ZoomMax = State.zoom_max;  // the slider keeps its position
    Controls.ZoomEnabled = true;
  }
  Controls.CameraControls = true;
}

void Station::TestPicture(const CameraChoice& choice) {
  SetCamParameters(choice);
  TakePicture();
}

std::string Station::Start(const CameraChoice& choice, const UploadChoice& account) {
  Take(choice);
  return StartCycle(choice, account);
}

std::string Station::StartCycle(const CameraChoice& choice, const UploadChoice& account) {
  Send(choice);
  Controls.ImageSizeEnabled = false;
  Log("start: a picture every " + std::to_string(State.interval) + " s, uploads to " + State.upload_host + ":" +
      std::to_string(State.upload_port) + (State.atomic_publish ? ", published atomically" : ""));
  // The first tick of a run owes no picture yet, and takes the sun's mode.
  State.picture_awaited = false;
  State.sun_day.reset();
  std::string problem;
  if (!account.User.empty() && !account.Password.empty()) {
    // An account the file can't hold is not stored; it costs the uploads
    // it fails, never the cycle.
    problem = AccountProblem(account.User, account.Password);
    if (problem.empty()) {
      State.ftp_user = account.User;
      State.ftp_password = account.Password;
      save_settings();
    }
  }
  Controls.Running = true;
  return problem;
}

void Station::Stop() {
  Controls.ImageSizeEnabled = true;
  Controls.Running = false;
  Log("stop");
}

std::string Station::StartUnattended(const CameraChoice& choice, const UploadChoice& account) {
  Log("unattended start");
  Take(choice);
  if (!Controls.CameraControls) Connect(true);
  // The switches fire only on crossing their hour: a start at night takes
  // the night preset itself.
  SelectPreset(PresetOfHour(TheClock().Now()), choice);
  return StartCycle(choice, account);
}

int Station::PresetOfHour(const LocalTime& now) const {
  SwitchHours hours = switch_hours(now.Month);
  bool night = now.Hour >= hours.Evening || now.Hour < hours.Morning;
  if (State.location) night = !SunIsUp(now);
  return night ? NightPresetOf(State.night_exposure) : kDayPreset;
}

void Station::Tick(const CameraChoice& choice, StationSink& sink) {
  Take(choice);
  TickPlan plan = BeginTick(TheClock().Now());
  if (plan.Reconnect && !Reconnect(choice, sink)) return;
  if (plan.Kind == TickPlan::Switch::Morning) {
    SelectPreset(plan.Preset, choice);
    Controls.Lists = plan.Lists;
    Refresh(choice, true);
  }
  if (plan.Kind == TickPlan::Switch::Evening) {
    Controls.Lists = plan.Lists;
    // Still the preset selected so far, day mode too: the night interval
    // shown must not become the day interval.
    Refresh(choice, false);
    SelectPreset(plan.Preset, choice);
  }
  ShowStatus(EndTick(plan), sink);
  TakePicture();
}

void Station::PresetSelected(int button, const CameraChoice& choice) {
  Take(choice);
  Click(button, choice);
}

void Station::Click(int button, const CameraChoice& choice) {
  Controls.Preset = button;
  Controls.Lists = PresetOf(button).Lists;
  ApplyPreset(button);
  Refresh(choice, true);
}

void Station::SelectPreset(int button, const CameraChoice& choice) {
  if (button != 0 && button != Controls.Preset) Click(button, choice);
}

void Station::CorrectionChanged(const CameraChoice& choice) { SetCamParameters(choice); }

void Station::IntervalTyped(const std::string& text) { TakeInterval(text, true); }

void Station::TakeInterval(const std::string& text, bool dayInterval) {
  Controls.IntervalText = text;
  int32_t value = StrToIntDef(text, 0);
  if (value <= 0 || value >= 100) return;
  State.interval = value;
  SetTimer(int64_t{value} * 1000);
  if (dayInterval && Controls.Preset == kDayPreset) State.base_interval = value;
}

void Station::SetCamParameters(const CameraChoice& choice) {
  Take(choice);
  Send(choice);
}

void Station::RefreshSettings(const CameraChoice& choice) {
  Take(choice);
  Refresh(choice, true);
}

void Station::Refresh(const CameraChoice& choice, bool dayInterval) {
  // A shown text that changes counts as typed.
  if (std::string text = IntToStr(State.interval); text != Controls.IntervalText) TakeInterval(text, dayInterval);
  ShownValues shown = Shown();
  if (shown.ExposureItem) Controls.ExposureItem = *shown.ExposureItem;
  if (shown.ApertureItem) Controls.ApertureItem = *shown.ApertureItem;
  if (shown.IsoItem) Controls.IsoItem = *shown.IsoItem;
  ++Controls.ItemsSet;
  Send(choice);
}

void Station::Send(CameraChoice choice) {
  choice.Preset = Controls.Preset;
  choice.ImageSizeItem = Controls.ImageSizeItem;
  choice.IsoItem = Controls.IsoItem;
  choice.ApertureItem = Controls.ApertureItem;
  choice.ExposureItem = Controls.ExposureItem;
  SetTimer(PrepareSettings(choice));
  SendSettings();
}

void Station::Take(const CameraChoice& choice) {
  Controls.ImageSizeItem = choice.ImageSizeItem;
  Controls.IsoItem = choice.IsoItem;
  Controls.ApertureItem = choice.ApertureItem;
  Controls.ExposureItem = choice.ExposureItem;
}

void Station::SetTimer(int64_t milliseconds) {
  Controls.TimerMs = milliseconds;
  ++Controls.TimerSet;
}

void Station::ShowStatus(const std::string& text, StationSink& sink) {
  Log("status: " + text);
  Controls.Status = text;
  sink.ShowStatus(text);
}

void Station::ShowUploadStatus(const std::string& text, StationSink& sink) {
  Log("upload: " + text);
  Controls.UploadStatus = text;
  sink.ShowUploadStatus(text);
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

void Station::SetUploading(bool upload) {
  Controls.UploadGroupEnabled = upload;
  State.upload_extra_s = upload ? 10 : 0;
}

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
  bool morning = MorningSwitchDue(plan.Hour, State.last_hour, State.morning_hour);
  bool evening = EveningSwitchDue(plan.Hour, State.last_hour, State.evening_hour);
  if (State.location) {
    bool day = SunIsUp(now);
    morning = day && State.sun_day != true;
    evening = !day && State.sun_day != false;
  }
  if (morning) {
    State.interval = std::max(State.base_interval, kDefaultInterval);
    State.exposure_s = State.iso = State.aperture = 0;
    plan.Kind = TickPlan::Switch::Morning;
    plan.Preset = kDayPreset;
    plan.Lists = PresetOf(kDayPreset).Lists;
  } else if (evening) {
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

bool Station::SunIsUp(const LocalTime& now) const {
  return SunAltitude(now.UnixTime, *State.location) > State.night_altitude;
}

std::string Station::EndTick(const TickPlan& plan) {
  State.last_hour = plan.Hour;
  if (plan.Kind == TickPlan::Switch::Morning) {
    State.sun_day = true;
    Log("switch: day");
  } else if (plan.Kind == TickPlan::Switch::Evening) {
    State.sun_day = false;
    // Night presets are buttons 3 to 5, shown as night modes 1 to 3.
    Log("switch: night preset " + (plan.Preset > kDuskPreset ? std::to_string(plan.Preset - kDuskPreset) : "none"));
  }
  return kTakingPicture;
}

void Station::TakePicture() { Camera.TakePicture(); }

bool Station::Reconnect(const CameraChoice& choice, StationSink& sink) {
  ShowStatus(kReconnecting, sink);
  try {
    OpenCamera(true);
    EnterRemoteMode();
    PrepareSettings(choice);
    SendSettings();
    if (ZoomExists()) Camera.SetZoom(State.zoom_pos);
  } catch (const std::exception& e) {
    // A camera the component still holds answered: its failure is shown as
    // it is, not as a camera that is away.
    if (Camera.ConnectInfo().Kind != CameraKindNone) throw;
    Log(std::string("camera unavailable: ") + e.what());
    ShowStatus(kCameraUnavailable, sink);
    return false;
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
  ShowStatus("Kép mentése " + name, sink);
  // A picture that reached its file keeps its number whatever fails later,
  // so that the next picture does not overwrite it.
  auto keepNumber = ScopeExit([&] {
    if (Exists(path)) ++State.picture_counter;
  });
  // The camera answered the release; only a transfer that the camera fails
  // counts the tick as failed (a full disk is no reason to reconnect).
  State.picture_awaited = false;
  {
    // A transfer cut short (a full disk, a camera gone) leaves no part of a
    // picture behind.
    auto dropPartial = ScopeExit([&] { target.RemovePartial(); });
    try {
      Camera.GetReleasedPicture(path);
    } catch (const ECamException& e) {
      if (!e.FileError()) State.picture_awaited = true;
      throw;
    }
    dropPartial.Release();
  }
  State.failed_captures = 0;
  ShowStatus("Kép beolvasása -" + name, sink);
  sink.ShowPreview(path);
  WritePictureCounter(CounterFile, State.picture_counter + 1);
  if (choice.Upload) Upload(path, name, choice.Account, sink);
  keepNumber.Release();
  ++State.picture_counter;
}

void Station::Upload(const std::string& path, const std::string& name, const UploadChoice& account,
                     StationSink& sink) {
  ShowUploadStatus("Fájl feltöltése " + name, sink);
  UploadSink = &sink;
  auto noSink = ScopeExit([this] { UploadSink = nullptr; });
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
    ShowUploadStatus("Kapcsolódás a szerverhez", sink);
    Ftp.ConnectServer(true, -1);
    ShowUploadStatus("Kapcsolódás sikeres", sink);
    sink.ShowConnected(Ftp.IsConnected());
    Ftp.SetTransferType(ftBinary);
    Ftp.ChangeDirectory("public_html");
    ShowUploadStatus("Kép feltöltése " + name, sink);
    State.upload_file_size = FileSize(path);
    // Only a store that returned is a stored picture: every failure above
    // and in it keeps the local file.
    if (State.atomic_publish) {
      Ftp.UploadFile(path, kPartialLivePicture, false);
      Ftp.RenameOver(kPartialLivePicture, kLivePicture);
    } else {
      Ftp.UploadFile(path, kLivePicture, false);
    }
    ShowUploadStatus("Feltöltés sikeres", sink);
    Ftp.SignOff();
    sink.ShowConnected(Ftp.IsConnected());
    if (!account.KeepFile) ::unlink(path.c_str());  // a failed delete is no failure of the upload
    sink.ShowProgress(0);
  } catch (const std::exception& e) {
    Log("upload failed: " + FailureText(e));
    ShowUploadStatus(kUploadFailed, sink);
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

std::optional<int> Station::ProgressOf(int64_t bytes) const {
  if (State.upload_file_size <= 0) return std::nullopt;
  double percent =
      std::nearbyint(static_cast<double>(bytes) * 100.0 / static_cast<double>(State.upload_file_size));
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

}  // namespace korv
