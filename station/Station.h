// The station without its window: its state, the camera and the FTP client
// it drives, its two files in the working folder, and every decision the
// window's handlers make. Each handler is given one record of what the user
// set on the window (StationInput); the window then paints the one view of
// every control the station answers (TakeView()). What must show while a
// handler is still busy (the status lines, the preview, the upload's
// progress) goes to a StationSink.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/CamDefines.h"
#include "exposure/ExposureSteering.h"
#include "page/LivePage.h"
#include "runtime/Clock.h"
#include "runtime/Log.h"
#include "station/NightWatch.h"
#include "station/Presets.h"
#include "station/PublishQueue.h"
#include "station/Retention.h"
#include "station/Settings.h"
#include "station/StationState.h"

namespace korv {

class TIdFTP;
class TObturo;

// The account and the keep option of the uploads.
struct UploadAccount {
  std::string User{};
  std::string Password{};
  bool KeepFile = false;  // the picture stays on the disk once uploaded
};

// What the user set on the window, as a handler finds it.
struct StationInput {
  int Preset = kDayPreset;  // the selected preset button 1..5, 0 for none
  // Items of the lists, -1 for a text that matches no item.
  int ImageSizeItem = -1, IsoItem = -1, ApertureItem = -1, ExposureItem = -1;
  bool Flash = false;
  int Quality = 0;             // 1 low .. 3 high, 0 for none selected
  std::string IntervalText{};  // the interval field
  int Zoom = 0;                // the zoom slider
  bool Upload = true;          // every picture is uploaded
  UploadAccount Account{};
};

// The settings record the station sends: the one read from the camera with
// the preset and the corrections of `chosen` applied.
TCameraSettings BuildSettings(TCameraSettings settings, const StationInput& chosen, uint8_t dayMode);

// What the station is given beyond its window (the program's options); kept
// as given for the whole run.
struct StationConfig {
  std::string UploadHost = kDefaultUploadHost;
  int UploadPort = 21;
  bool AtomicPublish = false;  // store under a temporary name, then rename over the live picture
  // With a place the sun's altitude switches day and night, not the month's hours.
  std::optional<GeoPlace> Location{};
  double NightAltitude = kDefaultNightAltitude;  // degrees
  bool UploadTls = false;       // explicit FTP over TLS, never clear text
  std::string UploadTlsCAFile{};  // CA certificates trusted instead of the system's ("": the system's)
  int UploadTimeoutMs = 60000;  // a server that stops answering costs one upload, not the station
  LivePageOptions Page{};       // the status record and the page's files, published beside the picture
  NightConfig Night{};  // the night's products, built each morning and published
  RetentionConfig Retain{};  // old day folders deleted by age or for free space
  // The mean brightness each picture is steered to; nothing: the presets expose.
  std::optional<double> AutoExposure{};
};

// What the controls show, as the station decides it. The window applies it
// whole with the controls' signals blocked: painting runs no handler.
struct StationView {
  int Preset = kDayPreset;  // the selected preset button 1..5
  ListsEnabled Lists = PresetOf(kDayPreset).Lists;
  std::string IntervalText = "5";  // the interval field, as typed or as set
  bool ImageSizeEnabled = true;  // not while the cycle runs
  bool CameraControls = false;   // presets, corrections, test picture, Start, Stop
  bool RemoteCapable = false, SettingsSupported = false;
  bool ZoomEnabled = false;
  int ZoomMax = 10;  // the slider's range is 0..ZoomMax
  std::string ZoomMaxText = "max", ZoomPositionText;
  bool UploadGroupEnabled = true;
  bool Running = false;  // the timer is on
  // What the handler asks of the window, given once (TakeView): the items
  // the station selected in the lists (the others keep the user's), and the
  // timer's new interval (setting it restarts the countdown, even to the
  // same value).
  std::optional<int> ImageSizeItem = kDefaultImageSizeItem;
  std::optional<int> ExposureItem = 0, ApertureItem = 0, IsoItem = 0;
  // The exposure the steering sent, written into the lists' fields as their
  // items write it ("1/60 mp", "F2.8", "200"): a value no item has shows as
  // a typed text would.
  std::optional<ExposureListTexts> SteeredTexts;
  std::optional<int64_t> TimerMs;
  int64_t NextPicture = 1;    // the number the next picture gets
  std::string PictureFolder;  // the start date's folder, where pictures are kept
};

// Where the station shows what happens in the middle of a handler.
class StationSink {
public:
  virtual ~StationSink() = default;
  virtual void ShowStatus(const std::string& text) = 0;
  // Decodes the picture file and shows it; an error ends the picture
  // handling. Answers the mean brightness of the pixels shown (0..1),
  // nothing when they can't be measured.
  virtual std::optional<double> ShowPreview(const std::string& path) = 0;
  virtual void ShowUploadStatus(const std::string& text) = 0;
  virtual void ShowConnected(bool connected) = 0;
  virtual void ShowProgress(int percent) = 0;
};

inline constexpr const char* kTakingPicture = "Kép készítése";
inline constexpr const char* kUploadFailed = "Kapcsolati hiba!!";
inline constexpr const char* kReconnecting = "Kamera újracsatlakoztatása";
inline constexpr const char* kCameraUnavailable = "Kamera nem elérhető";

inline constexpr const char* kLogFile = "korv-cps.log";
inline constexpr const char* kLivePicture = "koftplive.jpg";
// Where an atomic publish stores the picture before renaming it over the
// live one: a name no web page links.
inline constexpr const char* kPartialLivePicture = "koftplive.jpg.part";
// Ticks in a row without a picture after which the camera is attached anew.
inline constexpr int kFailedCapturesBeforeReconnect = 3;
// Seconds added to the timer's interval for the upload while the upload box is on.
inline constexpr int32_t kUploadAllowanceS = 10;
// A typed interval is taken when it is a whole number of seconds below this.
inline constexpr int32_t kIntervalLimit = 100;

// The progress bar's percentage for `bytes` of `size` sent, nothing while
// the size is unknown.
std::optional<int> PercentOf(int64_t bytes, int64_t size);

class Station {
public:
  // `folder` is the working folder of the settings file, "max.ser", the log
  // and the picture folders. Sets the FTP client up from `config`.
  Station(TObturo& camera, TIdFTP& ftp, const std::string& folder, const StationConfig& config = {});
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // The view as the last handler left it.
  StationView View() const;
  // The same, handing over the requests in it: the window paints what it takes.
  StationView TakeView();

  // --- The window's handlers, each given what the user set ---

  // Start-up: the controls' defaults, the settings file (its account into
  // `account`, for the fields), the picture folder of today's date written by
  // `shortDate` (the system's short date format). Returns the problems to
  // report; none of them stops the start.
  std::vector<std::string> FormCreate(const std::function<std::string(const LocalTime&)>& shortDate,
                                      UploadAccount* account = nullptr);
  // "Kapcsolódás": attaches the first PowerShot and reads it.
  void Connect(const StationInput& input);
  void TestPicture(const StationInput& input);
  // "Start": sends the settings, remembers a complete account and starts the
  // timer. An account the settings file can't hold is not stored, and the
  // answer says why; the cycle starts all the same.
  std::string Start(const StationInput& input);
  void Stop(const StationInput& input);
  // Without anyone at the window: connects unless a camera is connected,
  // selects the preset the hour calls for, and starts. A failure raises;
  // View().Running tells whether to try again (after RetryDelayMs).
  std::string StartUnattended(const StationInput& input);
  // One tick of the timer; failures raise, except the reconnection's.
  void Tick(const StationInput& input, StationSink& sink);
  // The camera's event: a picture it announced is saved, shown, counted and
  // uploaded. Only the upload box and the account are read of `input`.
  void HandlePicture(RemoteEventCallbackType event, const StationInput& input, StationSink& sink);
  // The preset button input.Preset was selected.
  void PresetSelected(const StationInput& input);
  // A correction list or the flash box changed: the settings are sent.
  void CorrectionChanged(const StationInput& input);
  // Shows the preset values, then sends the settings.
  void RefreshSettings(const StationInput& input);
  // The interval field's text changed: a whole number from 1 to 99 becomes
  // the interval (and in day mode the day interval); the timer follows.
  void IntervalTyped(const StationInput& input);
  void UploadBoxChanged(const StationInput& input);
  void ZoomMoved(const StationInput& input);

  // Uploads the file as the live picture with the account; failures end in
  // kUploadFailed. Published atomically it is stored as kPartialLivePicture
  // and then renamed over the live picture; a server that refuses to rename
  // over a file gets the live picture deleted first. True when stored.
  bool Upload(const std::string& path, const std::string& name, const UploadAccount& account, StationSink& sink);

  // How long the unattended start waits before it tries the camera again.
  int64_t RetryDelayMs() const;
  std::string Path(const std::string& name) const { return Folder + "/" + name; }
  // One line in korv-cps.log of the working folder; never fails.
  void Log(const std::string& text) noexcept { Journal.Write(text); }
  // An error that ended a handler, as it was reported.
  void LogError(const std::string& message) noexcept { Log("error: " + message); }

private:
  // What a timer tick switches before the picture is taken.
  enum class Switch { None, Morning, Evening };

  // Notes what the user set, the preset aside (the station's own).
  void Take(const StationInput& input);
  // Start-up: removes what interrupted writes left behind, then takes the
  // settings file's lines, its account into `account`.
  void LoadSettings(std::string* problem, UploadAccount* account);
  // The picture folder of `date` (the short date text): continues its
  // numbering when it exists, else creates it and starts at 1; never at a
  // number a picture kept there already has.
  void OpenPictureDir(const std::string& date, std::string* problem);
  void WriteSettings();
  // Connect: the results show as soon as each is known. `takeHeld` takes a
  // camera the component already holds.
  void Attach(bool takeHeld);
  bool OpenCamera(bool takeHeld);
  bool EnterRemoteMode();  // settings supported?
  std::string StartCycle(const StationInput& input);
  // A preset button's handler.
  void Click(int button);
  // Selects a preset button as the program does: its handler runs only
  // when it was not selected before (0 selects nothing).
  void SelectPreset(int button);
  // Shows the preset values, then sends. `dayInterval`: an interval shown in
  // day mode becomes the day interval, as a typed one would.
  void Refresh(bool dayInterval);
  void TakeInterval(const std::string& text, bool dayInterval);
  // set_cam_parameters, the one place the settings are sent: sets the
  // timer's interval and sends the record.
  void SendSettings();
  // Reads the camera, applies the preset, the list items chosen and the
  // steered exposure, and sends the record; the steering learns what the
  // camera took.
  void SendRecord();
  // After a picture of brightness `mean`: the steering's next exposure is
  // sent at once, without touching the timer; one the camera refuses
  // leaves the last accepted in place.
  void Steer(std::optional<double> mean);
  // The steering starts again from the values a switch, Start or a preset sets.
  void RestartSteering();
  // The preset the hour of `now` calls for: the remembered night preset
  // from the evening to the morning switch hour, else day; with a place,
  // the one the sun's altitude calls for.
  int PresetOfHour(const LocalTime& now) const;
  Switch SwitchDue(const LocalTime& now);
  // Sets the switch's values from the preset table, selects its preset and
  // sends the settings.
  void SwitchTo(Switch kind);
  // Attaches the camera again and sends it the settings. True when attached.
  bool Reconnect(StationSink& sink);
  bool SunIsUp(const LocalTime& now) const;
  // Fetches the released picture into `path`.
  void SavePicture(const std::string& path);
  // One FTP session that stores the file as the live picture.
  void Store(const std::string& path, const std::string& name, const UploadAccount& account, StationSink& sink);
  void ShowStatus(const std::string& text, StationSink& sink);
  void ShowUploadStatus(const std::string& text, StationSink& sink);

  TObturo& Camera;
  TIdFTP& Ftp;
  const StationConfig Config;
  std::string Folder;
  std::string SettingsFile;  // korv-cps.ini in Folder
  std::string CounterFile;   // max.ser in Folder
  RotatingLog Journal;       // korv-cps.log in Folder
  StationState State;
  StationInput Chosen;  // what the controls hold: the user's input, the station's preset and list items
  StationView Controls;  // the rest of the view, with the requests not yet taken
  StationSink* UploadSink = nullptr;    // shows the progress of the upload under way
  PublishQueue Publishing;              // files published after the live picture, in its session
  LivePage Page;
  bool Started = false;                 // FormCreate ran: the log tells the end too
  NightWatch Night;  // keeps the night's pictures, builds and queues its products
  Retention Retained;  // deletes old folders within the user's bounds
  std::optional<ExposureSteering> Steering;  // with the option only
  TRemoteCapabilities Available{};  // what the camera listed as it entered remote mode
  std::optional<Exposure> Steered;  // sent over the preset's exposure; none: the preset's own
  bool SteeringPaused = false;      // a user's correction, until the next switch or Start
};

}  // namespace korv
