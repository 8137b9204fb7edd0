// The station's main window: every control, the objects it owns, and the
// handlers, which hand every decision to the station core (Station.h).
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "camera/CamDefines.h"

#include "station/window/ErrorReport.h"
#include "station/Station.h"
#include "station/window/WindowThread.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace korv {

class TIdFTP;
class TObturo;

// The window only paints: each handler reads what the user set into one
// StationInput, hands it to the station core (Core) and paints the core's
// view of every control, with their signals blocked.
class TForm1 : public QWidget, private StationSink {
public:
  // Creates the controls and the owned objects, then runs FormCreate. The
  // station's files and picture folders are kept in `workingFolder`.
  explicit TForm1(const std::string& workingFolder = ".", const StationConfig& config = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  // Camera and status area.
  QPushButton* Button1;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QPushButton* Button2;
  QLabel* Label2;
  QComboBox* ComboBox1;
  QLabel* Label1;
  QLineEdit* Edit1;
  QCheckBox* CheckBox9;
  QPushButton* Button3;
  QPushButton* Button4;
  QLabel* Label13;
  QSlider* TrackBar1;
  QLabel* Panel2;
  QLineEdit* Edit8;
  QLineEdit* Edit9;
  QLineEdit* Edit10;

  // Preview: the panel's caption shows until a picture covers it.
  QLabel* Panel1;
  QLabel* Image1;

  // Presets: a frame with five exclusive radio buttons laid over it.
  QGroupBox* RadioGroup1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QRadioButton* RadioButton3;
  QRadioButton* RadioButton4;
  QRadioButton* RadioButton5;
  QButtonGroup* PresetButtons;

  // Manual corrections.
  QGroupBox* GroupBox2;
  QLabel* Label3;
  QLineEdit* Edit2;
  QLabel* Label6;
  QComboBox* ComboBox4;
  QLabel* Label8;
  QComboBox* ComboBox3;
  QLabel* Label7;
  QComboBox* ComboBox2;
  QCheckBox* CheckBox7;

  // Upload.
  QGroupBox* GroupBox1;
  QCheckBox* CheckBox5;
  QLabel* Label10;
  QLineEdit* Edit7;
  QLabel* Label11;
  QLabel* Label4;
  QLineEdit* Edit4;
  QCheckBox* CheckBox6;
  QLabel* Label5;
  QLineEdit* Edit5;
  QLabel* Label12;
  QLineEdit* Edit6;
  QLabel* Label9;
  QLineEdit* Edit3;
  QProgressBar* ProgressBar1;

  // Picture handling.
  QGroupBox* GroupBox3;
  QCheckBox* CheckBox3;
  QCheckBox* CheckBox4;

  // Quality: three exclusive radio buttons of their own.
  QGroupBox* GroupBox4;
  QRadioButton* RadioButton6;
  QRadioButton* RadioButton7;
  QRadioButton* RadioButton8;
  QButtonGroup* QualityButtons;

  // Owned objects.
  std::unique_ptr<TObturo> Obturo1;
  QTimer* Timer1 = nullptr;
  std::unique_ptr<TIdFTP> IdFTP1;

  Station Core;

  // True while Timer1 is switched on, even when its interval (0) keeps it silent.
  bool Timer1Enabled() const { return Timer1On; }

  // Handlers: start-up.
  void FormCreate();
  // Without anyone at the window: connects and starts as "Kapcsolódás" and
  // "Start" would, with what the settings file gave the fields; while that
  // fails (no camera answers) it tries again one interval later.
  void StartUnattended();
  // Camera connection and settings display.
  void Button1Click();
  void Refresh_settings();
  void Button2Click();
  // Capture cycle.
  void Button3Click();
  void Button4Click();
  void Timer1Timer();
  void Obturo1RemoteEvent(RemoteEventCallbackType Event, AdditionNotifyRemoteEventType EventData);
  // Presets and manual corrections.
  void set_cam_parameters();
  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void RadioButton4Click();
  void RadioButton5Click();
  void Edit2Change();
  void ComboBox2Change();
  void ComboBox3Change();
  void ComboBox4Change();
  void CheckBox7Click();
  void TrackBar1Change();
  // Upload of a picture file as the live picture; catches its own errors.
  void upload_picture(const std::string& path, const std::string& name);
  void CheckBox4Click();

private:
  void CreateControls();
  void UnattendedAttempt();
  void WireHandlers();
  // Connects `signal` of `sender` to `handler` through the handler runner.
  template <class Sender, class Signal>
  void Wire(Sender* sender, Signal signal, void (TForm1::*handler)());
  // Connects a radio button's selection to its click handler.
  void WireSelected(QRadioButton* button, void (TForm1::*handler)());

  // Runs `work`, then paints the core's view, also when `work` fails.
  void Painted(const std::function<void()>& work);
  void Paint(const StationView& view);
  QRadioButton* PresetButton(int button) const;
  // What the user set on the window.
  StationInput Input() const;
  void PresetClick(int button);

  // StationSink: the station's progress on the window.
  void ShowStatus(const std::string& text) override;
  std::optional<double> ShowPreview(const std::string& path) override;
  void ShowUploadStatus(const std::string& text) override;
  void ShowConnected(bool connected) override;
  void ShowProgress(int percent) override;

  void SetTimer1Enabled(bool on);
  void SetTimer1Interval(int64_t milliseconds);

  HandlerRunner Handlers;
  WindowThread EventHandOver{this};  // camera events from a library's own thread
  bool Timer1On = false;
};

}  // namespace korv
