#include "station/window/cps.h"

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
#include <array>
#include <climits>
#include <iterator>
#include <optional>

#include "camera/Obturo.h"
#include "ftp/IdFTP.h"
#include "runtime/Clock.h"
#include "runtime/ScopeExit.h"
#include "station/window/JpegPreview.h"
#include "station/window/WindowThread.h"

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

template <size_t N>
void FillList(QComboBox* combo, const std::array<const char*, N>& items) {
  for (const char* item : items) combo->addItem(QString::fromUtf8(item));
}

// The chosen item: the one whose text the field shows, -1 for none (an
// edit field can hold a text that matches no item).
int ItemIndex(const QComboBox* combo) { return combo->findText(combo->currentText(), Qt::MatchExactly); }

// -1 leaves a typed text as it is.
void SelectItem(QComboBox* combo, int item) {
  if (item >= 0 && ItemIndex(combo) != item) combo->setCurrentIndex(item);
}

void SetText(QLineEdit* edit, const std::string& text) {
  QString shown = QString::fromStdString(text);
  if (edit->text() != shown) edit->setText(shown);
}

}  // namespace

TForm1::TForm1(const std::string& workingFolder, const StationConfig& config, QWidget* parent)
    : QWidget(parent),
      Obturo1(std::make_unique<TObturo>()),
      IdFTP1(std::make_unique<TIdFTP>()),
      Core(*Obturo1, *IdFTP1, workingFolder, config),
      State(Core.State) {
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
  // The camera library may report from a thread of its own; the handler
  // touches controls, so it runs on the window's thread, the library waiting.
  Obturo1->OnRemoteEvent = [this](RemoteEventCallbackType event, AdditionNotifyRemoteEventType eventData) {
    EventHandOver.Run([&] { Handlers.Run([&] { Obturo1RemoteEvent(event, eventData); }); });
  };
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(static_cast<int>(Core.View().TimerMs));
  WireHandlers();
  Handlers.OnReport = [this](const std::string& message) { Core.LogError(message); };
  Handlers.Run([this] { FormCreate(); });
}

TForm1::~TForm1() {
  Timer1->stop();
  Obturo1->OnRemoteEvent = nullptr;
  // A library thread may be waiting for this thread inside an event, and
  // the component's destruction waits for that event to end.
  EventHandOver.Close();
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
  // Edit2 reacts to every change of its text, the lists only to a user's
  // choice, radio buttons when they become selected; the window's own
  // painting blocks them all.
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

void TForm1::ShowStatus(const std::string& text) {
  Edit1->setText(QString::fromStdString(text));
  Edit1->repaint();  // the handler keeps the window busy for a while yet
}

void TForm1::ShowPreview(const std::string& path) {
  Image1->setPixmap(QPixmap::fromImage(LoadPreview(path, Image1->size())));
  Image1->repaint();
}

void TForm1::ShowUploadStatus(const std::string& text) {
  Edit3->setText(QString::fromStdString(text));
  Edit3->repaint();
}

void TForm1::ShowConnected(bool connected) {
  CheckBox6->setChecked(connected);
  CheckBox6->repaint();
}

void TForm1::ShowProgress(int percent) {
  ProgressBar1->setValue(percent);
  ProgressBar1->repaint();
}

void TForm1::Painted(const std::function<void()>& work) {
  auto paint = ScopeExit([this] { Paint(Core.View()); });
  work();
}

void TForm1::Paint(const StationView& view) {
  // Painting is no edit: no handler runs.
  QObject* const quiet[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, Edit2,
                            ComboBox1,    ComboBox2,    ComboBox3,    ComboBox4,    TrackBar1};
  bool wasBlocked[std::size(quiet)];
  for (size_t i = 0; i < std::size(quiet); ++i) wasBlocked[i] = quiet[i]->blockSignals(true);
  auto unblock = ScopeExit([&] {
    for (size_t i = 0; i < std::size(quiet); ++i) quiet[i]->blockSignals(wasBlocked[i]);
  });

  if (QRadioButton* preset = PresetButton(view.Preset)) preset->setChecked(true);
  SetText(Edit2, view.IntervalText);
  if (view.ItemsSet != ItemsSetPainted) {
    ItemsSetPainted = view.ItemsSet;
    SelectItem(ComboBox1, view.ImageSizeItem);
    SelectItem(ComboBox4, view.ExposureItem);
    SelectItem(ComboBox3, view.ApertureItem);
    SelectItem(ComboBox2, view.IsoItem);
  }
  ComboBox2->setEnabled(view.Lists.Iso);
  ComboBox3->setEnabled(view.Lists.Aperture);
  ComboBox4->setEnabled(view.Lists.Exposure);
  ComboBox1->setEnabled(view.ImageSizeEnabled);
  for (QWidget* control : std::initializer_list<QWidget*>{RadioButton1, RadioButton2, RadioButton3, RadioButton4,
                                                           RadioButton5, GroupBox2, Button2, Button3, Button4}) {
    control->setEnabled(view.CameraControls);
  }
  CheckBox1->setChecked(view.RemoteCapable);
  CheckBox2->setChecked(view.SettingsSupported);
  TrackBar1->setRange(0, view.ZoomMax);
  TrackBar1->setEnabled(view.ZoomEnabled);
  SetText(Edit10, view.ZoomMaxText);
  SetText(Edit9, view.ZoomPositionText);
  GroupBox1->setEnabled(view.UploadGroupEnabled);
  // The status lines as the station last set them; what the sink painted
  // already stays.
  if (view.Status != StatusPainted) SetText(Edit1, StatusPainted = view.Status);
  if (view.UploadStatus != UploadStatusPainted) SetText(Edit3, UploadStatusPainted = view.UploadStatus);
  if (view.TimerSet != TimerSetPainted) {
    TimerSetPainted = view.TimerSet;
    SetTimer1Interval(view.TimerMs);
  }
  if (view.Running != Timer1On) SetTimer1Enabled(view.Running);
}

QRadioButton* TForm1::PresetButton(int button) const {
  QRadioButton* buttons[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
  return button >= 1 && button <= 5 ? buttons[button - 1] : nullptr;
}

CameraChoice TForm1::ReadCameraChoice() const {
  CameraChoice choice;
  choice.ImageSizeItem = ItemIndex(ComboBox1);
  choice.IsoItem = ItemIndex(ComboBox2);
  choice.ApertureItem = ItemIndex(ComboBox3);
  choice.ExposureItem = ItemIndex(ComboBox4);
  choice.Flash = CheckBox7->isChecked();
  choice.Quality = RadioButton6->isChecked() ? 1 : RadioButton7->isChecked() ? 2 : RadioButton8->isChecked() ? 3 : 0;
  choice.Upload = CheckBox4->isChecked();
  return choice;
}

UploadChoice TForm1::ReadUploadChoice() const {
  return {Edit4->text().toStdString(), Edit5->text().toStdString(), CheckBox3->isChecked()};
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
  FillList(ComboBox1, kImageSizeTexts);
  FillList(ComboBox4, kExposureTexts);
  FillList(ComboBox3, kApertureTexts);
  FillList(ComboBox2, kIsoTexts);
  Painted([this] {
    UploadChoice account = ReadUploadChoice();
    auto problems = Core.FormCreate(
        [](const LocalTime& day) {
          QDate date(day.Year, day.Month, day.Day);
          return QLocale::system().toString(date, QLocale::ShortFormat).toStdString();
        },
        &account);
    Edit4->setText(QString::fromStdString(account.User));
    Edit5->setText(QString::fromStdString(account.Password));
    for (const std::string& problem : problems) Handlers.Report(problem);
  });
}

void TForm1::save_settings() { Core.save_settings(); }

void TForm1::Button1Click() {
  Painted([this] { Core.Connect(); });
}

void TForm1::Refresh_settings() {
  Painted([this] { Core.RefreshSettings(ReadCameraChoice()); });
}

void TForm1::Button2Click() {
  Painted([this] { Core.TestPicture(ReadCameraChoice()); });
}

void TForm1::Button3Click() {
  Painted([this] {
    std::string problem = Core.Start(ReadCameraChoice(), ReadUploadChoice());
    if (!problem.empty()) Handlers.Report(problem);
  });
}

void TForm1::Button4Click() {
  Painted([this] { Core.Stop(); });
}

void TForm1::StartUnattended() { UnattendedAttempt(); }

void TForm1::UnattendedAttempt() {
  Handlers.Run([this] {
    Painted([this] {
      std::string problem = Core.StartUnattended(ReadCameraChoice(), ReadUploadChoice());
      if (!problem.empty()) Handlers.Report(problem);
    });
  });
  if (Core.View().Running) return;
  int delay = static_cast<int>(std::min<int64_t>(Core.RetryDelayMs(), INT_MAX));
  QTimer::singleShot(delay, this, [this] { UnattendedAttempt(); });
}

void TForm1::Timer1Timer() {
  Painted([this] { Core.Tick(ReadCameraChoice(), *this); });
}

void TForm1::Obturo1RemoteEvent(RemoteEventCallbackType Event, AdditionNotifyRemoteEventType /*EventData*/) {
  Painted([&] { Core.HandlePicture(Event, {CheckBox4->isChecked(), ReadUploadChoice()}, *this); });
}

void TForm1::set_cam_parameters() {
  Painted([this] { Core.SetCamParameters(ReadCameraChoice()); });
}

void TForm1::RadioButton1Click() { Painted([this] { Core.PresetSelected(1, ReadCameraChoice()); }); }
void TForm1::RadioButton2Click() { Painted([this] { Core.PresetSelected(2, ReadCameraChoice()); }); }
void TForm1::RadioButton3Click() { Painted([this] { Core.PresetSelected(3, ReadCameraChoice()); }); }
void TForm1::RadioButton4Click() { Painted([this] { Core.PresetSelected(4, ReadCameraChoice()); }); }
void TForm1::RadioButton5Click() { Painted([this] { Core.PresetSelected(5, ReadCameraChoice()); }); }

void TForm1::ComboBox2Change() { Painted([this] { Core.CorrectionChanged(ReadCameraChoice()); }); }
void TForm1::ComboBox3Change() { Painted([this] { Core.CorrectionChanged(ReadCameraChoice()); }); }
void TForm1::ComboBox4Change() { Painted([this] { Core.CorrectionChanged(ReadCameraChoice()); }); }
void TForm1::CheckBox7Click() { Painted([this] { Core.CorrectionChanged(ReadCameraChoice()); }); }

void TForm1::TrackBar1Change() {
  Painted([this] { Core.MoveZoom(TrackBar1->value()); });
}

void TForm1::Edit2Change() {
  Painted([this] { Core.IntervalTyped(Edit2->text().toStdString()); });
}

void TForm1::upload_picture(const std::string& path, const std::string& name) {
  Painted([&] { Core.Upload(path, name, ReadUploadChoice(), *this); });
}

void TForm1::IdFTP1Work(int64_t AWorkCount) {
  if (auto percent = Core.ProgressOf(AWorkCount)) ShowProgress(*percent);
}

void TForm1::CheckBox4Click() {
  Painted([this] { Core.SetUploading(CheckBox4->isChecked()); });
}

}  // namespace korv
