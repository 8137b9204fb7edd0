// The station without its window: its state, the camera and the FTP client
// it drives, its two files in the working folder, and every decision the
// window's handlers make. The window reads the controls the user sets into
// the plain choices below, calls the station, and paints the one view of
// every control it answers (View()).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/CamDefines.h"
#include "runtime/Clock.h"
#include "runtime/Log.h"
#include "station/Presets.h"
#include "station/Settings.h"
#include "station/StationState.h"

namespace korv {

class TIdFTP;
class TObturo;

// The controls set_cam_parameters reads.
struct CameraChoice {
  int ImageSizeItem = -1;  // item of the image size list, -1 for none
  int Preset = 1;          // selected preset button 1..5, 0 for none; the station's own when it sends
  int IsoItem = -1;
  int ApertureItem = -1;
  int ExposureItem = -1;
  bool Flash = false;
  int Quality = 0;  // 1 low .. 3 high, 0 for none selected
  bool Upload = true;
};

// The settings record the choice makes of the one read from the camera.
TCameraSettings BuildSettings(TCameraSettings settings, const CameraChoice& choice, uint8_t dayMode);

// What the correction controls show for the current preset values.
struct ShownValues {
  int32_t Interval;
  std::optional<int> ExposureItem, ApertureItem, IsoItem;  // nothing: keep the list's item
};

// What the station is given beyond its window (the program's options).
struct StationConfig {
  std::string UploadHost = kDefaultUploadHost;
  int UploadPort = 21;
  bool AtomicPublish = false;  // store under a temporary name, then rename over the live picture
  // With a place the sun's altitude switches day and night, not the month's hours.
  std::optional<GeoPlace> Location;
  double NightAltitude = kDefaultNightAltitude;  // degrees
  bool UploadTls = false;       // explicit FTP over TLS, never clear text
  std::string UploadTlsCAFile;  // CA certificates trusted instead of the system's ("": the system's)
};

// What the controls show, as the station decides it. The window applies it
// whole with the controls' signals blocked: painting runs no handler.
struct StationView {
  int Preset = kDayPreset;                // the selected preset button 1..5
  ListsEnabled Lists = PresetOf(kDayPreset).Lists;
  std::string IntervalText = "5";         // the interval field, as typed or as set
  // Selected items of the lists; -1: a typed text that matches no item,
  // which the window leaves as it is. The user chooses them too: the
  // window selects them only when ItemsSet says the station did.
  int ImageSizeItem = kDefaultImageSizeItem;
  int ExposureItem = 0, ApertureItem = 0, IsoItem = 0;
  uint64_t ItemsSet = 1;
  bool ImageSizeEnabled = true;           // not while the cycle runs
  bool CameraControls = false;            // presets, corrections, test picture, Start, Stop
  bool RemoteCapable = false, SettingsSupported = false;
  bool ZoomEnabled = false;
  int ZoomMax = 10;                       // the slider's range is 0..ZoomMax
  std::string ZoomMaxText = "max", ZoomPositionText;
  bool UploadGroupEnabled = true;
  bool Running = false;                   // the timer is on
  int64_t TimerMs = 10000;
  uint64_t TimerSet = 0;                  // counts settings of the interval: each restarts the countdown
  std::string Status, UploadStatus;
};

// What a timer tick changes on the window before the picture is taken.
struct TickPlan {
  enum class Switch { None, Morning, Evening };
  Switch Kind = Switch::None;
  int Preset = 0;          // the preset button the switch selects, 0 for none
  ListsEnabled Lists{};    // the correction lists after the switch
  uint16_t Hour = 0;
  bool Reconnect = false;  // the camera is attached anew before anything else
};

// The account and the keep option of one upload.
struct UploadChoice {
  std::string User;
  std::string Password;
  bool KeepFile = false;
};

struct PictureChoice {
  bool Upload = true;
  UploadChoice Account;
};

// Where the station shows its progress.
class StationSink {
public:
  virtual ~StationSink() = default;
  virtual void ShowStatus(const std::string& text) = 0;
  // Decodes the picture file and shows it; an error ends the picture handling.
  virtual void ShowPreview(const std::string& path) = 0;
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

class Station {
public:
  // `folder` is the working folder of the settings file, "max.ser" and the
  // picture folders.
  // Sets the FTP client up for the station.
  Station(TObturo& camera, TIdFTP& ftp, const std::string& folder, const StationConfig& config = {});
  ~Station();

  StationState State;

  const StationView& View() const { return Controls; }

  // --- The window's handlers, each given what the user set ---

  // Start-up: the controls' defaults, the settings file (its account into
  // `account`, for the fields), the picture folder of today's date written by
  // `shortDate` (the system's short date format). Returns the problems to
  // report; none of them stops the start.
  std::vector<std::string> FormCreate(const std::function<std::string(const LocalTime&)>& shortDate,
                                      UploadChoice* account = nullptr);
  // "Kapcsolódás": `takeHeld` takes a camera the component already holds.
  void Connect(bool takeHeld = false);
  void TestPicture(const CameraChoice& choice);
  // "Start": sends the settings, remembers a complete account and starts the
  // timer. An account the settings file can't hold is not stored, and the
  // answer says why; the cycle starts all the same.
  std::string Start(const CameraChoice& choice, const UploadChoice& account);
  void Stop();
  // Without anyone at the window: connects unless a camera is connected,
  // selects the preset the hour calls for, and starts. A failure raises;
  // View().Running tells whether to try again (after RetryDelayMs).
  std::string StartUnattended(const CameraChoice& choice, const UploadChoice& account);
  // One tick of the timer; failures raise, except the reconnection's.
  void Tick(const CameraChoice& choice, StationSink& sink);
  // A preset button was selected.
  void PresetSelected(int button, const CameraChoice& choice);
  // A correction list or the flash box changed: the settings are sent.
  void CorrectionChanged(const CameraChoice& choice);
  // The interval field's text changed: a whole number from 1 to 99 becomes
  // the interval (and in day mode the day interval); the timer follows.
  void IntervalTyped(const std::string& text);
  void SetUploading(bool upload);
  void MoveZoom(int position);
  // set_cam_parameters: reads the camera, applies the choice, sets the
  // timer's interval and sends the record.
  void SetCamParameters(const CameraChoice& choice);
  // Refresh_settings: shows the preset values, then SetCamParameters.
  void RefreshSettings(const CameraChoice& choice);

  // --- The steps the handlers are made of ---

  // Start-up: removes what interrupted writes left behind, then gives the
  // settings file's lines, its interval line replaced by the interval taken
  // from it; nothing when it can't be read, with the reason in `problem`
  // (empty when there is no file). Sets the state.
  std::optional<SettingsLines> LoadSettings(std::string* problem = nullptr);
  // The picture folder of `date` (the short date text): continues its
  // numbering when it exists, else creates it and starts at 1; never at a
  // number a picture kept there already has. `problem` says why "max.ser"
  // could not be used.
  void OpenPictureDir(const std::string& date, std::string* problem = nullptr);
  void save_settings();

  // Connect, in three steps so that each result shows as soon as it is known.
  // Remote capable? Enumerates and connects the first PowerShot. A camera
  // the component already holds is refused ("Camera already connected.")
  // unless `takeHeld`: the component can't let go of it, so it is taken.
  bool OpenCamera(bool takeHeld = false);
  bool EnterRemoteMode();      // settings supported?
  void ReadCamera();           // settings and zoom

  ShownValues Shown() const;
  // Reads the camera into cam_settings and applies the choice; the answer is
  // the timer's interval in ms. SendSettings then sends the record.
  int64_t PrepareSettings(const CameraChoice& choice);
  void SendSettings();

  void ApplyPreset(int button);
  // The preset the hour of `now` calls for: the remembered night preset
  // from the evening to the morning switch hour, else day; with a place,
  // the one the sun's altitude calls for.
  int PresetOfHour(const LocalTime& now) const;

  // Counts the previous tick as failed when the camera failed it: no picture
  // came, or the camera failed its transfer. With a place, the sun decides:
  // the first tick after Start takes the mode of its moment, later ones
  // switch when the sun crosses the night altitude.
  TickPlan BeginTick(const LocalTime& now);
  // The tick's switch is done: remembers its hour and mode and logs the
  // switch; the status to show.
  std::string EndTick(const TickPlan& plan);
  void TakePicture();
  // Attaches the camera again (enumerate, connect, remote mode) and sends it
  // the choice. A camera that the component still holds (its library never
  // reported it gone, and the component can't let go of it) is taken as it
  // is, and its failure raises as it is; without one, failures end in
  // kCameraUnavailable and false. True when the camera is attached.
  bool Reconnect(const CameraChoice& choice, StationSink& sink);
  // How long the unattended start waits before it tries the camera again.
  int64_t RetryDelayMs() const;

  // The picture the camera announced: saved, shown, counted and uploaded.
  void HandlePicture(RemoteEventCallbackType event, const PictureChoice& choice, StationSink& sink);
  // Uploads the file as the live picture; failures end in kUploadFailed.
  // With State.atomic_publish it is stored as kPartialLivePicture and then
  // renamed over the live picture; a server that refuses to rename over a
  // file gets the live picture deleted first.
  void Upload(const std::string& path, const std::string& name, const UploadChoice& account, StationSink& sink);
  // The progress bar's percentage for `bytes` of the file sent, nothing
  // while the size is unknown.
  std::optional<int> ProgressOf(int64_t bytes) const;

  std::string Path(const std::string& name) const { return Folder + "/" + name; }

  // One line in korv-cps.log of the working folder; never fails.
  void Log(const std::string& text) noexcept { Journal.Write(text); }
  // An error that ended a handler, as it was reported.
  void LogError(const std::string& message) noexcept { Log("error: " + message); }
  // An upload's failure in one line: the reply's code and text, the socket
  // or TLS error.
  static std::string FailureText(const std::exception& e);

private:
  // Notes the items of the lists as the user left them.
  void Take(const CameraChoice& choice);
  // Sends the choice with the preset and the items the view shows.
  void Send(CameraChoice choice);
  std::string StartCycle(const CameraChoice& choice, const UploadChoice& account);
  // A preset button's handler.
  void Click(int button, const CameraChoice& choice);
  // Selects a preset button as the program does: its handler runs only
  // when it was not selected before (0 selects nothing).
  void SelectPreset(int button, const CameraChoice& choice);
  // Shows the preset values, then sends. `dayInterval`: an interval shown in
  // day mode becomes the day interval, as a typed one would.
  void Refresh(const CameraChoice& choice, bool dayInterval);
  void TakeInterval(const std::string& text, bool dayInterval);
  void SetTimer(int64_t milliseconds);
  // The camera reported a zoom range.
  bool ZoomExists() const { return State.zoom_max != 0; }
  // The sun stands above the night altitude at the station's place.
  bool SunIsUp(const LocalTime& now) const;
  void ShowStatus(const std::string& text, StationSink& sink);
  void ShowUploadStatus(const std::string& text, StationSink& sink);

  TObturo& Camera;
  TIdFTP& Ftp;
  std::string Folder;
  std::string SettingsFile;  // korv-cps.ini in Folder
  std::string CounterFile;   // max.ser in Folder
  RotatingLog Journal;       // korv-cps.log in Folder
  StationView Controls;
  StationSink* UploadSink = nullptr;  // shows the progress of the upload under way
  bool Started = false;               // FormCreate ran: the log tells the end too
};

}  // namespace korv
