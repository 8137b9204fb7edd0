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
#include "ftp/FailureText.h"
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

// Whether the camera holds the exposure sent (an aperture left to it aside).
bool Holds(const Exposure& sent, const Exposure& held) {
  if (sent.Metered) return held.Compensation == sent.Compensation;
  return held.Tv == sent.Tv && held.Iso == sent.Iso && (sent.Av == 0 || held.Av == sent.Av);
}

// The controls as the window creates them.
StationInput DefaultChoice() {
  StationInput chosen;
  chosen.ImageSizeItem = kDefaultImageSizeItem;
  chosen.ExposureItem = chosen.ApertureItem = chosen.IsoItem = 0;
  return chosen;
}

}  // namespace

TCameraSettings BuildSettings(TCameraSettings settings, const StationInput& chosen, uint8_t dayMode) {
  bool night = chosen.Preset > kDuskPreset;
  if (chosen.Preset == kDayPreset) {
    settings.ShootingMode = dayMode;
    settings.ISO = kIsoAutomatic;
    settings.Av = 0;  // 0: left as the camera has it
    settings.Tv = 0;
  }
  if (chosen.Preset == kDuskPreset) {
    settings.ShootingMode = kShootingModeManual;
    settings.ISO = kIsoAutomatic;  // whatever the disabled ISO list shows
    SetIf(settings.Av, AvOfItem(chosen.ApertureItem));
  }
  if (night) {
    settings.ShootingMode = kShootingModeShutterPriority;
    settings.Av = 0;
    SetIf(settings.ISO, IsoOfItem(chosen.IsoItem));
  }
  if (night || chosen.Preset == kDuskPreset) SetIf(settings.Tv, TvOfItem(chosen.ExposureItem));
  settings.FlashMode = FlashModeOf(chosen.Flash);
  if (chosen.Quality >= 1 && chosen.Quality <= 3) settings.Quality = static_cast<uint8_t>(chosen.Quality);
  settings.ColorSaturation = kColorSaturationHigh;
  SetIf(settings.ImageSize, ImageSizeOfItem(chosen.ImageSizeItem));
  return settings;
}

std::optional<int> PercentOf(int64_t bytes, int64_t size) {
  if (size <= 0) return std::nullopt;
  double percent = std::nearbyint(static_cast<double>(bytes) * 100.0 / static_cast<double>(size));
  return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

Station::Station(TObturo& camera, TIdFTP& ftp, const std::string& folder, const StationConfig& config)
    : Camera(camera),
      Ftp(ftp),
      Config(config),
      Folder(std::filesystem::absolute(folder).lexically_normal().string()),
      Journal(Path(kLogFile)),
      Chosen(DefaultChoice()),
      Publishing([this](const std::string& line) { Log(line); }),
      Page(config.Page, Folder),
      Night(Folder, config.Night, [this](const std::string& line) { Log(line); }),
      Retained(Folder, config.Retain, [this](const std::string& line) { Log(line); }) {
  if (Folder.size() > 1 && Folder.back() == '/') Folder.pop_back();
  if (config.AutoExposure) Steering.emplace(*config.AutoExposure);
  SettingsFile = Path(kSettingsFile);
  CounterFile = Path(kPictureNumberFile);
  Ftp.MaxLineAction = maException;
  Ftp.ProxySettings.ProxyType = fpcmNone;
  Ftp.ProxySettings.Port = 0;
  Ftp.Host = Config.UploadHost;
  Ftp.Port = Config.UploadPort;
  Ftp.ReadTimeout = Config.UploadTimeoutMs;
  Ftp.WriteTimeout = Config.UploadTimeoutMs;
  Ftp.UseTLS = Config.UploadTls;
  Ftp.TLSCAFile = Config.UploadTlsCAFile;
  Ftp.OnWork = [this](TIdComponent*, TWorkMode, int64_t count) {
    auto percent = PercentOf(count, State.upload_file_size);
    if (percent && UploadSink) UploadSink->ShowProgress(*percent);
  };
}

Station::~Station() {
  Ftp.OnWork = nullptr;
  if (Started) Log("korv-cps ended");
}

StationView Station::View() const {
  StationView view = Controls;
  view.Preset = Chosen.Preset;
  view.NextPicture = State.picture_counter;
  view.PictureFolder = Path(State.picture_dir);
  return view;
}

StationView Station::TakeView() {
  StationView view = View();
  Controls.ImageSizeItem = Controls.ExposureItem = Controls.ApertureItem = Controls.IsoItem = std::nullopt;
  Controls.TimerMs.reset();
  Controls.SteeredTexts.reset();
  return view;
}

// --- Handlers ---

std::vector<std::string> Station::FormCreate(const std::function<std::string(const LocalTime&)>& shortDate,
                                             UploadAccount* account) {
  Started = true;
  Log("korv-cps started");
  Controls = StationView{};
  Chosen = DefaultChoice();
  std::vector<std::string> problems;
  std::string problem;
  LoadSettings(&problem, account);
  if (!problem.empty()) problems.push_back(problem);
  problem.clear();
  // The folder of the start date, for the whole run.
  OpenPictureDir(shortDate(TheClock().Now()), &problem);
  if (!problem.empty()) problems.push_back(problem);
  return problems;
}

void Station::Connect(const StationInput& input) {
  Take(input);
  Attach(false);
}

void Station::TestPicture(const StationInput& input) {
  Take(input);
  SendSettings();
  Camera.TakePicture();
}

std::string Station::Start(const StationInput& input) {
  Take(input);
  return StartCycle(input);
}

void Station::Stop(const StationInput& input) {
  Take(input);
  Controls.ImageSizeEnabled = true;
  Controls.Running = false;
  Log("stop");
}

std::string Station::StartUnattended(const StationInput& input) {
  Log("unattended start");
  Take(input);
  if (!Controls.CameraControls) Attach(true);
  RestartSteering();
  // The switches fire only on crossing their hour: a start at night takes
  // the night preset itself.
  SelectPreset(PresetOfHour(TheClock().Now()));
  return StartCycle(input);
}

void Station::Tick(const StationInput& input, StationSink& sink) {
  Take(input);
  const LocalTime now = TheClock().Now();
  // The previous tick failed when the camera failed it: no picture came,
  // or the camera failed its transfer.
  if (State.picture_awaited) ++State.failed_captures;
  State.picture_awaited = true;
  if (State.failed_captures >= kFailedCapturesBeforeReconnect && !Reconnect(sink)) return;
  SwitchTo(SwitchDue(now));
  Night.Tick(now, PresetOfHour(now) != kDayPreset, Publishing);
  Retained.EnsureFree(State.picture_dir);
  State.last_hour = static_cast<uint16_t>(now.Hour);
  ShowStatus(kTakingPicture, sink);
  Camera.TakePicture();
}

void Station::PresetSelected(const StationInput& input) {
  Take(input);
  Steered.reset();  // the steering goes on from the preset's values
  Click(input.Preset);
}

void Station::CorrectionChanged(const StationInput& input) {
  Take(input);
  if (Steering && !SteeringPaused) Log("exposure: steering paused by the user's choice until the next switch or Start");
  SteeringPaused = Steering.has_value();
  Steered.reset();
  SendSettings();
}

void Station::RefreshSettings(const StationInput& input) {
  Take(input);
  Steered.reset();
  Refresh(true);
}

void Station::IntervalTyped(const StationInput& input) {
  Take(input);
  TakeInterval(input.IntervalText, true);
}

void Station::UploadBoxChanged(const StationInput& input) {
  Take(input);
  Controls.UploadGroupEnabled = input.Upload;
  State.upload_extra_s = input.Upload ? kUploadAllowanceS : 0;
}

void Station::ZoomMoved(const StationInput& input) {
  Take(input);
  State.zoom_pos = static_cast<uint16_t>(input.Zoom);
  Camera.SetZoom(static_cast<uint32_t>(input.Zoom));
}

int64_t Station::RetryDelayMs() const { return int64_t{std::max(State.interval, 1)} * 1000; }

// --- Steps ---

void Station::Take(const StationInput& input) {
  const int preset = Chosen.Preset;
  Chosen = input;
  Chosen.Preset = preset;
}

void Station::LoadSettings(std::string* problem, UploadAccount* account) {
  CleanUpInterruptedWrites(SettingsFile, CounterFile);
  auto settings = ReadSettings(SettingsFile, problem);
  if (!settings) return;
  if (account) *account = {settings->User, settings->Password, false};
  // Remembered too, so that a night preset chosen before the first Start
  // rewrites the file with the account it already held.
  State.ftp_user = settings->User;
  State.ftp_password = settings->Password;
  State.night_exposure = NightExposureOf(settings->NightExposure);
  State.base_interval = State.interval = IntervalOf(settings->Interval);
  // Shown as taken; a shown text that changes counts as typed, yet the
  // interval taken from the file has no upper bound.
  if (std::string text = IntToStr(State.interval); text != Controls.IntervalText) TakeInterval(text, true);
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

void Station::WriteSettings() {
  SaveSettings(SettingsFile, State.ftp_user, State.ftp_password, State.base_interval, State.night_exposure);
}

void Station::Attach(bool takeHeld) {
  Controls.RemoteCapable = OpenCamera(takeHeld);
  Controls.SettingsSupported = EnterRemoteMode();
  State.day_mode = Camera.GetCameraSettings().ShootingMode;
  State.zoom_max = 0;
  TZoomInfo zoom = Camera.GetZoomInfo();
  State.zoom_max = static_cast<uint16_t>(zoom.MaxPosition);
  State.zoom_pos = static_cast<uint16_t>(zoom.Position);
  Controls.ZoomMaxText = std::to_string(State.zoom_max);
  Controls.ZoomPositionText = std::to_string(State.zoom_pos);
  if (State.zoom_max != 0) {
    Controls.ZoomMax = State.zoom_max;  // the slider keeps its position
    Controls.ZoomEnabled = true;
  }
  Controls.CameraControls = true;
}

// Remote capable? Enumerates and connects the first PowerShot. A camera the
// component already holds is refused ("Camera already connected.") unless
// `takeHeld`: the component can't let go of it, so it is taken.
bool Station::OpenCamera(bool takeHeld) {
  if (!takeHeld || Camera.ConnectInfo().Kind == CameraKindNone) {
    Camera.EnumerateCameras();
    Camera.Connect(CameraKindPowerShot, 0);
  }
  return Camera.IsRemoteCapable();
}

bool Station::EnterRemoteMode() {
  // The steering needs the values the camera lists; asking costs the
  // camera trials, so only then.
  Available = Camera.EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, Steering.has_value());
  return Available[CapSettings] != 0;
}

std::string Station::StartCycle(const StationInput& input) {
  RestartSteering();
  SendSettings();
  Controls.ImageSizeEnabled = false;
  Log("start: a picture every " + std::to_string(State.interval) + " s, uploads to " + Config.UploadHost + ":" +
      std::to_string(Config.UploadPort) + (Config.AtomicPublish ? ", published atomically" : ""));
  // The first tick of a run owes no picture yet, and takes the sun's mode.
  State.picture_awaited = false;
  State.sun_day.reset();
  std::string problem;
  const UploadAccount& account = input.Account;
  if (!account.User.empty() && !account.Password.empty()) {
    // An account the file can't hold is not stored; it costs the uploads
    // it fails, never the cycle.
    problem = AccountProblem(account.User, account.Password);
    if (problem.empty()) {
      State.ftp_user = account.User;
      State.ftp_password = account.Password;
      WriteSettings();
    }
  }
  Controls.Running = true;
  return problem;
}

void Station::Click(int button) {
  const Preset& preset = PresetOf(button);
  Chosen.Preset = button;
  State.interval = std::max(State.base_interval, preset.MinInterval);
  State.exposure_s = preset.ExposureS;
  State.iso = preset.Iso;
  State.aperture = preset.Aperture;
  Controls.Lists = preset.Lists;
  if (preset.NightExposure != 0) {
    State.night_exposure = preset.NightExposure;
    WriteSettings();
  }
  Refresh(true);
}

void Station::SelectPreset(int button) {
  if (button != 0 && button != Chosen.Preset) Click(button);
}

void Station::Refresh(bool dayInterval) {
  // A shown text that changes counts as typed.
  if (std::string text = IntToStr(State.interval); text != Controls.IntervalText) TakeInterval(text, dayInterval);
  // A value the list lacks keeps the list's item.
  if (auto item = ExposureItemOf(State.exposure_s)) Controls.ExposureItem = Chosen.ExposureItem = *item;
  if (auto item = ApertureItemOf(State.aperture)) Controls.ApertureItem = Chosen.ApertureItem = *item;
  if (auto item = IsoItemOf(State.iso)) Controls.IsoItem = Chosen.IsoItem = *item;
  Controls.SteeredTexts.reset();
  SendSettings();
}

void Station::TakeInterval(const std::string& text, bool dayInterval) {
  Controls.IntervalText = text;
  int32_t value = StrToIntDef(text, 0);
  if (value <= 0 || value >= kIntervalLimit) return;
  State.interval = value;
  Controls.TimerMs = int64_t{value} * 1000;
  if (dayInterval && Chosen.Preset == kDayPreset) State.base_interval = value;
}

void Station::SendSettings() {
  int64_t seconds = Chosen.Upload ? int64_t{State.interval} + State.upload_extra_s : State.interval;
  Controls.TimerMs = seconds * 1000;
  SendRecord();
}

void Station::SendRecord() {
  TCameraSettings settings = BuildSettings(Camera.GetCameraSettings(), Chosen, State.day_mode);
  const uint8_t manual = Chosen.Preset > kDuskPreset ? kShootingModeShutterPriority : kShootingModeManual;
  if (Steered) ApplyExposure(settings, *Steered, State.day_mode, manual);
  Camera.SetCameraSettings(settings);
  if (!Steering) return;
  Steering->Accepted(Steered ? *Steered : ExposureOf(settings, Chosen.Preset == kDayPreset));
  if (Steered) Controls.SteeredTexts = ListTextsOf(*Steered);
}

void Station::Steer(std::optional<double> mean) {
  if (!Steering || SteeringPaused || !Controls.Running) return;
  std::string line;
  const std::optional<Exposure> next = Steering->Next(mean, Chosen.Preset, Available, &line);
  if (!next) return;
  const bool dusk = Chosen.Preset == kDuskPreset;
  const std::optional<Exposure> before = Steered;
  Steered = next;
  // A library may take a value it can't set without a word: the camera's
  // own record tells.
  std::string refusal;
  try {
    SendRecord();
    const Exposure held = ExposureOf(Camera.GetCameraSettings(), next->Metered);
    if (!Holds(*next, held)) refusal = "it holds " + ExposureText(held, dusk);
  } catch (const std::exception& e) {
    refusal = e.what();
  }
  if (refusal.empty()) return Log(line);
  Steered = before;
  try {
    SendRecord();  // back to the last accepted
  } catch (const std::exception&) {
  }
  Log("exposure: the camera refused " + ExposureText(*next, dusk) + " (" + refusal + "), it keeps " +
      ExposureText(Steering->Current(), dusk));
}

void Station::RestartSteering() {
  Steered.reset();
  SteeringPaused = false;
}

int Station::PresetOfHour(const LocalTime& now) const {
  SwitchHours hours = switch_hours(now.Month);
  bool night = now.Hour >= hours.Evening || now.Hour < hours.Morning;
  if (Config.Location) night = !SunIsUp(now);
  return night ? NightPresetOf(State.night_exposure) : kDayPreset;
}

Station::Switch Station::SwitchDue(const LocalTime& now) {
  SwitchHours hours = switch_hours(now.Month);
  State.evening_hour = hours.Evening;
  State.morning_hour = hours.Morning;
  const auto hour = static_cast<uint16_t>(now.Hour);
  bool morning = MorningSwitchDue(hour, State.last_hour, State.morning_hour);
  bool evening = EveningSwitchDue(hour, State.last_hour, State.evening_hour);
  if (Config.Location) {
    // The first tick after Start takes the mode of its moment, later ones
    // switch when the sun crosses the night altitude.
    bool day = SunIsUp(now);
    morning = day && State.sun_day != true;
    evening = !day && State.sun_day != false;
  }
  return morning ? Switch::Morning : evening ? Switch::Evening : Switch::None;
}

void Station::SwitchTo(Switch kind) {
  if (kind == Switch::None) return;
  const Preset values = kind == Switch::Morning ? PresetOf(kDayPreset) : NightValuesOf(State.night_exposure);
  State.interval = std::max(State.base_interval, values.MinInterval);
  State.exposure_s = values.ExposureS;
  State.iso = values.Iso;
  State.aperture = values.Aperture;
  SteeringPaused = false;
  if (kind == Switch::Morning) {
    Steered.reset();  // the day starts from the camera's metering
    SelectPreset(kDayPreset);
    Controls.Lists = values.Lists;
    Refresh(true);
    State.sun_day = true;
    Log("switch: day");
    Retained.Expire(TheClock().Now().UnixTime, State.picture_dir);
    return;
  }
  // The night goes on from the exposure the camera holds at dusk, not from
  // the night preset's own, which would be white while the sky is still light.
  if (Steering) Steered = Steering->Current();
  Controls.Lists = values.Lists;
  // Still the preset selected so far, day mode too: the night interval
  // shown must not become the day interval.
  Refresh(false);
  int button = NightPresetOf(State.night_exposure);
  SelectPreset(button);
  State.sun_day = false;
  // Night presets are buttons 3 to 5, shown as night modes 1 to 3.
  Log("switch: night preset " + (button > kDuskPreset ? std::to_string(button - kDuskPreset) : "none"));
}

bool Station::SunIsUp(const LocalTime& now) const {
  return SunAltitude(now.UnixTime, *Config.Location) > Config.NightAltitude;
}

// A camera that the component still holds (its library never reported it
// gone, and the component can't let go of it) is taken as it is, and its
// failure raises as it is; without one, failures end in kCameraUnavailable.
bool Station::Reconnect(StationSink& sink) {
  ShowStatus(kReconnecting, sink);
  try {
    OpenCamera(true);
    EnterRemoteMode();
    SendSettings();
    if (State.zoom_max != 0) Camera.SetZoom(State.zoom_pos);
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

void Station::HandlePicture(RemoteEventCallbackType event, const StationInput& input, StationSink& sink) {
  if (event != RemoteEventCallbackReleaseComplete) return;
  // A name that something else took since the start is never written over.
  while (State.picture_counter <= kLastPictureNumber &&
         Exists(Path(State.picture_dir + "/" + PictureFileName(State.picture_counter))))
    ++State.picture_counter;
  if (State.picture_counter > kLastPictureNumber) throw EInOutError("No picture number is left");
  std::string name = PictureFileName(State.picture_counter);
  const std::string path = Path(State.picture_dir + "/" + name);
  ShowStatus("Kép mentése " + name, sink);
  // A picture that reached its file keeps its number whatever fails later,
  // so that the next picture does not overwrite it.
  auto keepNumber = ScopeExit([&] {
    if (Exists(path)) ++State.picture_counter;
  });
  SavePicture(path);
  Night.Picture(path);
  ShowStatus("Kép beolvasása -" + name, sink);
  const std::optional<double> brightness = sink.ShowPreview(path);
  WritePictureCounter(CounterFile, State.picture_counter + 1);
  const std::string steered = Steering ? ExposureText(Steering->Current(), Chosen.Preset == kDuskPreset) : "";
  Steer(brightness);
  Page.PictureSaved({.TakenUtc = TheClock().Now().UnixTime, .Number = State.picture_counter, .Preset = Chosen.Preset,
                     .IntervalS = State.interval, .ExposureS = State.exposure_s, .Iso = State.iso,
                     .Aperture = State.aperture, .Steered = steered, .Place = Config.Location},
                    path, Publishing, [this](const std::string& line) { Log(line); });
  if (input.Upload) Upload(path, name, input.Account, sink);
  keepNumber.Release();
  ++State.picture_counter;
  // The picture is handled: kept, shown, counted and uploaded as chosen.
}

void Station::SavePicture(const std::string& path) {
  PictureTarget target(path);
  // The camera answered the release; only a transfer that the camera fails
  // counts the tick as failed (a full disk is no reason to reconnect).
  State.picture_awaited = false;
  // A transfer cut short (a full disk, a camera gone) leaves no part of a
  // picture behind.
  auto dropPartial = ScopeExit([&] { target.RemovePartial(); });
  try {
    Camera.GetReleasedPicture(target.Path());
  } catch (const ECamException& e) {
    if (!e.FileError()) State.picture_awaited = true;
    throw;
  }
  dropPartial.Release();
  State.failed_captures = 0;
}

bool Station::Upload(const std::string& path, const std::string& name, const UploadAccount& account,
                     StationSink& sink) {
  ShowUploadStatus("Fájl feltöltése " + name, sink);
  UploadSink = &sink;
  auto noSink = ScopeExit([this] { UploadSink = nullptr; });
  // Said once per upload, however it ended.
  auto reportPassive = ScopeExit([this] {
    if (!Ftp.IgnoredPassiveAddress.empty())
      Log("upload: the server's PASV reply named " + Ftp.IgnoredPassiveAddress + "; the data went to " + Ftp.Host +
          " all the same");
  });
  try {
    Store(path, name, account, sink);
    Page.UploadEnded("");
    return true;
  } catch (const std::exception& e) {
    Log("upload failed: " + FailureText(e));
    Page.UploadEnded(FailureText(e));
    ShowUploadStatus(kUploadFailed, sink);
    // A session left open would make the next upload fail as well.
    try {
      Ftp.CloseConnection();
    } catch (const std::exception&) {
    }
    return false;
  }
}

void Station::Store(const std::string& path, const std::string& name, const UploadAccount& account,
                    StationSink& sink) {
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
  if (Config.AtomicPublish) {
    Ftp.UploadFile(path, kPartialLivePicture, false);
    Ftp.RenameOver(kPartialLivePicture, kLivePicture);
  } else {
    Ftp.UploadFile(path, kLivePicture, false);
  }
  ShowUploadStatus("Feltöltés sikeres", sink);
  Publishing.Publish(Ftp);
  Ftp.SignOff();
  sink.ShowConnected(Ftp.IsConnected());
  if (!account.KeepFile) ::unlink(path.c_str());  // a failed delete is no failure of the upload
  sink.ShowProgress(0);
}

void Station::ShowStatus(const std::string& text, StationSink& sink) {
  Log("status: " + text);
  sink.ShowStatus(text);
}

void Station::ShowUploadStatus(const std::string& text, StationSink& sink) {
  Log("upload: " + text);
  sink.ShowUploadStatus(text);
}

}  // namespace korv
