// The station without its window: its state, the camera and the FTP client
// it drives, its two files in the working folder, and every decision the
// window's handlers make. The window reads its controls into the plain
// choices below, calls the station and shows what it answers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "camera/CamDefines.h"
#include "runtime/Clock.h"
#include "runtime/Log.h"
#include "runtime/ScopeExit.h"
#include "station/Presets.h"
#include "station/Settings.h"
#include "station/StationState.h"

namespace korv {

class TIdFTP;
class TObturo;

// The controls set_cam_parameters reads.
struct CameraChoice {
  int ImageSizeItem = -1;  // item of the image size list, -1 for none
  int Preset = 1;          // selected preset button 1..5, 0 for none
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
  Station(TObturo& camera, TIdFTP& ftp, const std::string& folder);

  StationState State;

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
  // The interval typed into its field: the timer's new interval in ms, or
  // nothing when the text is not a whole number from 1 to 99.
  std::optional<int64_t> IntervalTyped(const std::string& text, bool dayPreset);
  // While held, a day preset's interval shown in the field stays temporary.
  ScopeExit<std::function<void()>> HoldBaseInterval();

  // Raises EConvertError for an account the settings file's code page can't
  // hold, before Start changes anything.
  void CheckAccount(const std::string& user, const std::string& password) const;
  // Start remembers a complete account in the settings file.
  void StartCycle(const std::string& user, const std::string& password);
  void StopCycle();
  void SetUploading(bool upload);
  void MoveZoom(int position);

  // Counts the previous tick as failed when no picture came of it.
  TickPlan BeginTick(const LocalTime& now);
  // The tick's switch is done: remembers its hour; the status to show.
  std::string EndTick(const TickPlan& plan);
  void TakePicture();
  // Attaches the camera again (enumerate, connect, remote mode) and sends it
  // the choice; failures end in kCameraUnavailable, never in an error. A
  // camera that the component still holds (its library never reported it
  // gone, and the component can't let go of it) is taken as it is. True
  // when a camera is held afterwards, so the tick may take its picture.
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
  // An upload's failure in one line: the reply's code and text, the socket
  // or TLS error.
  static std::string FailureText(const std::exception& e);

private:
  // Renames the picture stored under kPartialLivePicture over the live one.
  void PublishStored();

  TObturo& Camera;
  TIdFTP& Ftp;
  std::string Folder;
  std::string SettingsFile;  // korv-cps.ini in Folder
  std::string CounterFile;   // max.ser in Folder
  RotatingLog Journal;       // korv-cps.log in Folder
  bool KeepBaseInterval = false;
};

}  // namespace korv
