#include "station/cps.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>

#include "camera/Obturo.h"
#include "ftp/IdFTP.h"
#include "runtime/Clock.h"
#include "runtime/Convert.h"
#include "station/CaptureCycle.h"
#include "station/JpegPreview.h"
#include "station/Presets.h"
#include "station/Settings.h"
#include "station/WindowThread.h"

namespace korv {

namespace {

// Edit fields and lists whose height the layout leaves to the platform get
// the height they had in the original window.
constexpr int kFieldHeight = 21;
constexpr int kBoxHeight = 17;

template <class W>
W* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

template <class W>
W* Captioned(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height) {
  W* widget = Place<W>(parent, name, left, top, width, height);
  widget->setText(QString::fromUtf8(caption));
  return widget;
}

// Labels size themselves to their caption.
QLabel* Label(QWidget* parent, const char* name, const char* caption, int left, int top) {
  auto* label = Captioned<QLabel>(parent, name, caption, left, top, 0, 0);
  label->adjustSize();
  return label;
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text, int left, int top, int width) {
  return Captioned<QLineEdit>(parent, name, text, left, top, width, kFieldHeight);
}

// A drop-down list with an edit field: a typed text that matches no item
// leaves the list without a selection.
QComboBox* ComboBox(QWidget* parent, const char* name, const char* text, int left, int top, int width) {
  auto* combo = Place<QComboBox>(parent, name, left, top, width, kFieldHeight);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setEditText(QString::fromUtf8(text));
  return combo;
}

QGroupBox* GroupBox(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height) {
  auto* group = Place<QGroupBox>(parent, name, left, top, width, height);
  group->setTitle(QString::fromUtf8(caption));
  return group;
}

QLabel* Panel(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height) {
  auto* panel = Captioned<QLabel>(parent, name, caption, left, top, width, height);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setAlignment(Qt::AlignCenter);
  return panel;
}

void FillList(QComboBox* combo, std::initializer_list<const char*> items) {
  for (const char* item : items) combo->addItem(QString::fromUtf8(item));
}

// The chosen item: the one whose text the field shows, -1 for none (an
// edit field can hold a text that matches no item).
int ItemIndex(const QComboBox* combo) { return combo->findText(combo->currentText(), Qt::MatchExactly); }

void SelectItem(QComboBox* combo, std::optional<int> item) {
  if (item) combo->setCurrentIndex(*item);
}

void SetIf(uint8_t& field, std::optional<uint8_t> value) {
  if (value) field = *value;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8("Korvell Tv Canon Powershot távvezérlő"));
  // The layout was made for an 11-pixel font; the family follows the platform.
  QFont font = this->font();
  font.setPixelSize(11);
  font.setStretch(QFont::Condensed);
  setFont(font);
  resize(696, 479);
  move(198, 119);

  CreateControls();
  Obturo1 = std::make_unique<TObturo>();
  // The camera library may report from a thread of its own; the handler
  // touches controls, so it runs on the window's thread, the library waiting.
  Obturo1->OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType eventData) {
    RunOnWindowThread(this, [&] { Handlers.Run([&] { Obturo1RemoteEvent(event, eventData); }); });
  };
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(10000);
  CreateIdFTP1();
  WireHandlers();
  Handlers.Run([this] { FormCreate(); });
}

TForm1::~TForm1() {
  Timer1->stop();
  Obturo1->OnRemoteEvent = nullptr;
}

void TForm1::CreateControls() {
  Button1 = Captioned<QPushButton>(this, "Button1", "Kapcsolódás", 424, 24, 75, 25);
  CheckBox1 = Captioned<QCheckBox>(this, "CheckBox1", "Távvezérlés OK", 512, 24, 97, 17);
  CheckBox2 = Captioned<QCheckBox>(this, "CheckBox2", "Beállítások támogatva", 512, 40, 153, 17);
  Button2 = Captioned<QPushButton>(this, "Button2", "Tesztkép", 424, 56, 75, 25);
  Button2->setEnabled(false);
  Label2 = Label(this, "Label2", "Méret", 504, 56);
  ComboBox1 = ComboBox(this, "ComboBox1", "Képméret beállítása", 536, 56, 145);
  Label1 = Label(this, "Label1", "Pillanatnyi állapot", 424, 88);
  Edit1 = Edit(this, "Edit1", "", 512, 88, 169);
  CheckBox9 = Captioned<QCheckBox>(this, "CheckBox9", "Hosszú Exp.", 424, 112, 81, 17);
  CheckBox9->setEnabled(false);
  Button3 = Captioned<QPushButton>(this, "Button3", "Start", 528, 120, 75, 25);
  Button3->setEnabled(false);
  Button4 = Captioned<QPushButton>(this, "Button4", "Stop", 608, 120, 75, 25);
  Button4->setEnabled(false);
  Label13 = Label(this, "Label13", "Zoom", 424, 136);
  TrackBar1 = Place<QSlider>(this, "TrackBar1", 408, 152, 150, 33);
  TrackBar1->setOrientation(Qt::Horizontal);
  TrackBar1->setRange(0, 10);
  TrackBar1->setValue(0);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setEnabled(false);
  Panel2 = Panel(this, "Panel2", "Panel2", 568, 152, 113, 49);
  Edit8 = Edit(this, "Edit8", "0", 416, 184, 25);
  Edit9 = Edit(this, "Edit9", "", 472, 184, 25);
  Edit10 = Edit(this, "Edit10", "max", 528, 184, 25);

  Panel1 = Panel(this, "Panel1", "Előnézeti kép", 16, 24, 393, 289);
  Image1 = Place<QLabel>(Panel1, "Image1", 0, 0, 385, 281);
  Image1->setScaledContents(true);

  // The frame first, so that the buttons laid over it stay on top.
  RadioGroup1 = GroupBox(this, "RadioGroup1", "Előregyártott beállítások", 424, 208, 257, 105);
  RadioGroup1->setEnabled(false);
  RadioButton1 = Captioned<QRadioButton>(this, "RadioButton1", "Normál (Nappali) mód", 432, 224, 129, kBoxHeight);
  RadioButton2 = Captioned<QRadioButton>(this, "RadioButton2", "Félhomály, szürkületi fényjelenségek", 432, 240, 225,
                                         kBoxHeight);
  RadioButton3 = Captioned<QRadioButton>(this, "RadioButton3", "Éjszakai mód 1 (világos égbolt, gyors mozgások)", 432,
                                         256, 249, kBoxHeight);
  RadioButton4 = Captioned<QRadioButton>(this, "RadioButton4", "Éjszakai mód 2 (sötétebb égbolt, lassú mozgások)",
                                         432, 272, 249, kBoxHeight);
  RadioButton5 = Captioned<QRadioButton>(this, "RadioButton5", "Éjszakai mód 3 (különleges fényjelenségek)", 432, 288,
                                         241, kBoxHeight);
  PresetButtons = new QButtonGroup(this);
  for (QRadioButton* button : {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5}) {
    PresetButtons->addButton(button);
    button->setEnabled(false);
  }
  RadioButton1->setChecked(true);

  GroupBox2 = GroupBox(this, "GroupBox2", "Manuális korrekciók", 424, 320, 257, 121);
  GroupBox2->setEnabled(false);
  Label3 = Label(GroupBox2, "Label3", "Képkészítés gyakorisága (mp)", 8, 16);
  Edit2 = Edit(GroupBox2, "Edit2", "5", 208, 16, 41);
  Label6 = Label(GroupBox2, "Label6", "Expozíció hossza (éjszaka/félhomály)", 8, 40);
  ComboBox4 = ComboBox(GroupBox2, "ComboBox4", "", 192, 40, 57);
  Label8 = Label(GroupBox2, "Label8", "Blende előválasztás (félhomály)", 8, 64);
  ComboBox3 = ComboBox(GroupBox2, "ComboBox3", "", 176, 64, 73);
  Label7 = Label(GroupBox2, "Label7", "Iso érzékenység", 8, 88);
  ComboBox2 = ComboBox(GroupBox2, "ComboBox2", "", 88, 88, 105);
  CheckBox7 = Captioned<QCheckBox>(GroupBox2, "CheckBox7", "Vaku", 200, 88, 49, kBoxHeight);

  GroupBox1 = GroupBox(this, "GroupBox1", "Feltöltés", 160, 320, 249, 121);
  CheckBox5 = Captioned<QCheckBox>(GroupBox1, "CheckBox5", "Minden kép feltöltése", 8, 16, 121, kBoxHeight);
  CheckBox5->setChecked(true);
  CheckBox5->setEnabled(false);
  Label10 = Label(GroupBox1, "Label10", "Csak minden", 136, 16);
  Edit7 = Edit(GroupBox1, "Edit7", "5", 200, 16, 25);
  Edit7->setEnabled(false);
  Label11 = Label(GroupBox1, "Label11", "-ik", 224, 16);
  Label4 = Label(GroupBox1, "Label4", "Felh.név", 8, 32);
  Edit4 = Edit(GroupBox1, "Edit4", "", 56, 32, 89);
  CheckBox6 = Captioned<QCheckBox>(GroupBox1, "CheckBox6", "Kapcsolódva", 152, 32, 81, kBoxHeight);
  Label5 = Label(GroupBox1, "Label5", "Jelszó", 24, 56);
  Edit5 = Edit(GroupBox1, "Edit5", "", 56, 56, 89);
  Label12 = Label(GroupBox1, "Label12", "Idő", 176, 56);
  Edit6 = Edit(GroupBox1, "Edit6", "", 192, 56, 41);
  Label9 = Label(GroupBox1, "Label9", "Státusz", 16, 80);
  Edit3 = Edit(GroupBox1, "Edit3", "", 56, 80, 177);
  ProgressBar1 = Place<QProgressBar>(GroupBox1, "ProgressBar1", 56, 104, 177, 12);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  GroupBox3 = GroupBox(this, "GroupBox3", "Ekészült képek kezelése", 16, 320, 137, 49);
  GroupBox3->setEnabled(false);
  CheckBox3 = Captioned<QCheckBox>(GroupBox3, "CheckBox3", "Mentés/külső feltöltő", 8, 16, 121, kBoxHeight);
  CheckBox4 = Captioned<QCheckBox>(GroupBox3, "CheckBox4", "Feltöltés", 8, 32, 121, kBoxHeight);
  CheckBox4->setChecked(true);

  GroupBox4 = GroupBox(this, "GroupBox4", "Képminőség/méret", 16, 376, 137, 65);
  RadioButton6 = Captioned<QRadioButton>(GroupBox4, "RadioButton6", "Alacsony/kicsi", 8, 16, 121, kBoxHeight);
  RadioButton7 = Captioned<QRadioButton>(GroupBox4, "RadioButton7", "Áltagos/normál", 8, 32, 121, kBoxHeight);
  RadioButton8 = Captioned<QRadioButton>(GroupBox4, "RadioButton8", "Magas/nagy", 8, 48, 121, kBoxHeight);
  QualityButtons = new QButtonGroup(this);
  for (QRadioButton* button : {RadioButton6, RadioButton7, RadioButton8}) QualityButtons->addButton(button);
  RadioButton7->setChecked(true);
}

template <class Sender, class Signal>
void TForm1::Wire(Sender* sender, Signal signal, void (TForm1::*handler)()) {
  connect(sender, signal, this, [this, handler] { Handlers.Run([this, handler] { (this->*handler)(); }); });
}

void TForm1::WireSelected(QRadioButton* button, void (TForm1::*handler)()) {
  connect(button, &QRadioButton::toggled, this, [this, handler](bool selected) {
    if (selected) Handlers.Run([this, handler] { (this->*handler)(); });
  });
}

void TForm1::WireHandlers() {
  // Program changes of Edit2's text count as edits; lists react only to a
  // user's choice; radio buttons when they become selected, by whoever.
  Wire(Button1, &QPushButton::clicked, &TForm1::Button1Click);
  Wire(Button2, &QPushButton::clicked, &TForm1::Button2Click);
  Wire(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  Wire(Button4, &QPushButton::clicked, &TForm1::Button4Click);
  Wire(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
  WireSelected(RadioButton1, &TForm1::RadioButton1Click);
  WireSelected(RadioButton2, &TForm1::RadioButton2Click);
  WireSelected(RadioButton3, &TForm1::RadioButton3Click);
  WireSelected(RadioButton4, &TForm1::RadioButton4Click);
  WireSelected(RadioButton5, &TForm1::RadioButton5Click);
  Wire(Edit2, &QLineEdit::textChanged, &TForm1::Edit2Change);
  Wire(ComboBox2, &QComboBox::activated, &TForm1::ComboBox2Change);
  Wire(ComboBox3, &QComboBox::activated, &TForm1::ComboBox3Change);
  Wire(ComboBox4, &QComboBox::activated, &TForm1::ComboBox4Change);
  Wire(CheckBox7, &QCheckBox::toggled, &TForm1::CheckBox7Click);
  Wire(TrackBar1, &QSlider::valueChanged, &TForm1::TrackBar1Change);
  Wire(CheckBox4, &QCheckBox::toggled, &TForm1::CheckBox4Click);
}

void TForm1::SetEdit2Text(const QString& text) {
  if (Edit2->text() == text) return;
  Edit2->setText(text);
  Handlers.Propagate();
}

void TForm1::Select(QRadioButton* button) {
  if (button->isChecked()) return;
  button->setChecked(true);
  Handlers.Propagate();
}

void TForm1::ShowStatus(const std::string& text) {
  Edit1->setText(QString::fromStdString(text));
  Edit1->repaint();  // the handler keeps the window busy for a while yet
}

void TForm1::SetTimer1Enabled(bool on) {
  Timer1On = on;
  if (!on) {
    Timer1->stop();
  } else if (!Timer1->isActive() && Timer1->interval() > 0) {
    Timer1->start();
  }
}

void TForm1::SetTimer1Interval(int64_t milliseconds) {
  // An interval of 0 keeps an enabled timer silent rather than firing without pause.
  int clamped = static_cast<int>(std::clamp<int64_t>(milliseconds, 0, INT_MAX));
  Timer1->setInterval(clamped);
  if (Timer1On && clamped > 0) {
    Timer1->start();  // a new interval restarts the countdown
  } else {
    Timer1->stop();
  }
}

void TForm1::FormCreate() {
  State.night_exposure = 15;
  State.last_hour = 0;
  FillList(ComboBox1, {"Nagy méret", "Közepes méret", "Közepes méret-1", "Közepes méret-2", "Közepes méret-3",
                       "Kis méret"});
  FillList(ComboBox4, {"Auto", "1 mp", "2 mp", "5 mp", "10 mp", "15 mp", "30 mp"});
  FillList(ComboBox3, {"Auto", "F2.8", "F4.0", "F5.6", "F8.0", "F11.0"});
  FillList(ComboBox2, {"Auto", "50", "100", "200", "400", "800", "1600"});
  State.interval = 5;
  State.base_interval = 5;
  State.exposure_s = State.iso = State.aperture = 0;
  ComboBox2->setCurrentIndex(0);
  ComboBox3->setCurrentIndex(0);
  ComboBox4->setCurrentIndex(0);
  ComboBox1->setCurrentIndex(3);
  ComboBox2->setEnabled(false);
  ComboBox3->setEnabled(false);
  ComboBox4->setEnabled(false);
  State.upload_extra_s = 0;

  if (auto settings = ReadSettings()) {
    Edit4->setText(QString::fromStdString(settings->User));
    Edit5->setText(QString::fromStdString(settings->Password));
    // Remembered too, so that a night preset chosen before the first Start
    // rewrites the file with the account it already held.
    State.ftp_user = settings->User;
    State.ftp_password = settings->Password;
    SetEdit2Text(QString::fromStdString(settings->Interval));
    // A missing line reads as empty text, which is 0; a malformed number
    // keeps the default rather than leaving start-up half done.
    auto number = [](const std::string& text, int32_t fallback) {
      return text.empty() ? 0 : StrToIntDef(text, fallback);
    };
    State.base_interval = number(settings->Interval, State.base_interval);
    State.interval = State.base_interval;
    State.night_exposure = static_cast<uint16_t>(number(settings->NightExposure, State.night_exposure));
  }

  LocalTime today = TheClock().Now();
  QDate date(today.Year, today.Month, today.Day);
  State.picture_dir = PictureDirName(QLocale::system().toString(date, QLocale::ShortFormat).toStdString());
  std::error_code error;
  if (std::filesystem::is_directory(State.picture_dir, error)) {
    State.picture_counter = ReadPictureCounter();
  } else {
    std::filesystem::create_directory(State.picture_dir, error);  // a failure shows at the first picture
    State.picture_counter = 1;
  }
}

void TForm1::save_settings() {
  SaveSettings(State.ftp_user, State.ftp_password, State.base_interval, State.night_exposure);
}

void TForm1::Button1Click() {
  Obturo1->EnumerateCameras();
  Obturo1->Connect(CameraKindPowerShot, 0);
  CheckBox1->setChecked(Obturo1->IsRemoteCapable());
  TRemoteCapabilities capabilities =
      Obturo1->EnterRemoteMode(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false);
  CheckBox2->setChecked(capabilities[CapSettings] != 0);
  State.cam_settings = Obturo1->GetCameraSettings();
  State.day_mode = State.cam_settings.ShootingMode;
  State.zoom_max = 0;
  State.zoom_info = Obturo1->GetZoomInfo();
  State.zoom_max = static_cast<uint16_t>(State.zoom_info.MaxPosition);
  State.zoom_pos = static_cast<uint16_t>(State.zoom_info.Position);
  Edit10->setText(QString::number(State.zoom_max));
  Edit9->setText(QString::number(State.zoom_pos));
  if (State.zoom_max != 0) {
    TrackBar1->setRange(0, State.zoom_max);
    TrackBar1->setEnabled(true);
  }
  for (QWidget* control : std::initializer_list<QWidget*>{RadioButton1, RadioButton2, RadioButton3, RadioButton4,
                                                           RadioButton5, GroupBox2, Button2, Button3, Button4}) {
    control->setEnabled(true);
  }
}

void TForm1::Refresh_settings() {
  SetEdit2Text(QString::number(State.interval));
  SelectItem(ComboBox4, ExposureItemOf(State.exposure_s));
  SelectItem(ComboBox3, ApertureItemOf(State.aperture));
  SelectItem(ComboBox2, IsoItemOf(State.iso));
  set_cam_parameters();
}

void TForm1::Button2Click() {
  set_cam_parameters();
  Obturo1->TakePicture();
}

void TForm1::Button3Click() {
  set_cam_parameters();
  ComboBox1->setEnabled(false);
  if (!Edit4->text().isEmpty() && !Edit5->text().isEmpty()) {
    State.ftp_user = Edit4->text().toStdString();
    State.ftp_password = Edit5->text().toStdString();
    save_settings();
  }
  SetTimer1Enabled(true);
}

void TForm1::Button4Click() {
  ComboBox1->setEnabled(true);
  SetTimer1Enabled(false);
}

void TForm1::Timer1Timer() {
  LocalTime now = TheClock().Now();
  SwitchHours hours = switch_hours(now.Month);
  State.evening_hour = hours.Evening;
  State.morning_hour = hours.Morning;
  auto hour = static_cast<uint16_t>(now.Hour);

  if (MorningSwitchDue(hour, State.last_hour, State.morning_hour)) {
    State.interval = std::max(State.base_interval, 5);
    State.exposure_s = State.iso = State.aperture = 0;
    Select(RadioButton1);
    ComboBox2->setEnabled(false);
    ComboBox3->setEnabled(false);
    ComboBox4->setEnabled(false);
    Refresh_settings();
  }
  if (EveningSwitchDue(hour, State.last_hour, State.evening_hour)) {
    int32_t night = 2 * State.night_exposure;
    State.interval = night < State.base_interval ? State.base_interval : night;
    State.exposure_s = State.night_exposure;
    State.iso = 50;
    State.aperture = 0;
    ComboBox2->setEnabled(true);
    ComboBox4->setEnabled(true);
    ComboBox3->setEnabled(false);
    // Still the preset selected so far, day mode too: the night interval it
    // shows must not become the day interval.
    KeepBaseInterval = true;
    try {
      Refresh_settings();
    } catch (...) {
      KeepBaseInterval = false;
      throw;
    }
    KeepBaseInterval = false;
    switch (State.night_exposure) {
      case 5: Select(RadioButton3); break;
      case 10: Select(RadioButton4); break;
      case 15: Select(RadioButton5); break;
      default: break;
    }
  }
  State.last_hour = hour;
  ShowStatus("Kép készítése");
  Obturo1->TakePicture();
}

void TForm1::Obturo1RemoteEvent(RemoteEventCallbackType Event, AdditionNotifyRemoteEventType /*EventData*/) {
  if (Event != RemoteEventCallbackReleaseComplete) return;
  std::string name = PictureFileName(State.picture_counter);
  std::string path = State.picture_dir + "/" + name;
  ShowStatus("Kép mentése " + name);
  Obturo1->GetReleasedPicture(path);
  ShowStatus("Kép beolvasása -" + name);
  Image1->setPixmap(QPixmap::fromImage(LoadPreview(path, Image1->size())));
  Image1->repaint();
  WritePictureCounter(State.picture_counter + 1);
  if (CheckBox4->isChecked()) upload_picture(path, name);
  ++State.picture_counter;
}

void TForm1::set_cam_parameters() {
  TCameraSettings& settings = State.cam_settings;
  settings = Obturo1->GetCameraSettings();
  SetIf(settings.ImageSize, ImageSizeOfItem(ItemIndex(ComboBox1)));
  if (RadioButton1->isChecked()) {
    settings.ShootingMode = State.day_mode;
    settings.ISO = kIsoAutomatic;
    settings.Av = 0;  // 0: left as the camera has it
    settings.Tv = 0;
  }
  if (RadioButton2->isChecked()) {
    settings.ShootingMode = kShootingModeManual;
    settings.ISO = kIsoAutomatic;  // whatever the disabled ISO list shows
    SetIf(settings.Av, AvOfItem(ItemIndex(ComboBox3)));
  }
  bool night = RadioButton3->isChecked() || RadioButton4->isChecked() || RadioButton5->isChecked();
  if (night) {
    settings.ShootingMode = kShootingModeShutterPriority;
    settings.Av = 0;
    SetIf(settings.ISO, IsoOfItem(ItemIndex(ComboBox2)));
  }
  if (night || RadioButton2->isChecked()) SetIf(settings.Tv, TvOfItem(ItemIndex(ComboBox4)));
  settings.FlashMode = FlashModeOf(CheckBox7->isChecked());
  if (RadioButton6->isChecked()) settings.Quality = 1;
  if (RadioButton7->isChecked()) settings.Quality = 2;
  if (RadioButton8->isChecked()) settings.Quality = 3;
  settings.ColorSaturation = kColorSaturationHigh;
  SetIf(settings.ImageSize, ImageSizeOfItem(ItemIndex(ComboBox1)));
  int64_t seconds = CheckBox4->isChecked() ? int64_t{State.interval} + State.upload_extra_s : State.interval;
  SetTimer1Interval(seconds * 1000);
  Obturo1->SetCameraSettings(settings);
}

void TForm1::ApplyPreset(int button) {
  const Preset& preset = PresetOf(button);
  State.interval = std::max(State.base_interval, preset.MinInterval);
  State.exposure_s = preset.ExposureS;
  State.iso = preset.Iso;
  State.aperture = preset.Aperture;
  ComboBox2->setEnabled(preset.IsoListEnabled);
  ComboBox3->setEnabled(preset.ApertureListEnabled);
  ComboBox4->setEnabled(preset.ExposureListEnabled);
  if (preset.NightExposure != 0) {
    State.night_exposure = preset.NightExposure;
    save_settings();
  }
  Refresh_settings();
}

void TForm1::RadioButton1Click() { ApplyPreset(1); }
void TForm1::RadioButton2Click() { ApplyPreset(2); }
void TForm1::RadioButton3Click() { ApplyPreset(3); }
void TForm1::RadioButton4Click() { ApplyPreset(4); }
void TForm1::RadioButton5Click() { ApplyPreset(5); }

void TForm1::ComboBox2Change() { set_cam_parameters(); }
void TForm1::ComboBox3Change() { set_cam_parameters(); }
void TForm1::ComboBox4Change() { set_cam_parameters(); }
void TForm1::CheckBox7Click() { set_cam_parameters(); }

void TForm1::TrackBar1Change() {
  int position = TrackBar1->value();
  State.zoom_pos = static_cast<uint16_t>(position);
  State.zoom_info.Position = static_cast<uint32_t>(position);
  Obturo1->SetZoom(static_cast<uint32_t>(position));
}

void TForm1::Edit2Change() {
  int32_t value = StrToIntDef(Edit2->text().toStdString(), 0);
  if (value <= 0 || value >= 100) return;
  State.interval = value;
  SetTimer1Interval(int64_t{value} * 1000);
  if (RadioButton1->isChecked() && !KeepBaseInterval) State.base_interval = value;
}

}  // namespace korv
