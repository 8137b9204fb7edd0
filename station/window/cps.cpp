#include "station/window/cps.h"

#include <QAbstractButton>
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
#include "exposure/Brightness.h"
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
// Timer1 as the window creates it, switched off.
constexpr int kTimerIntervalMs = 10000;

enum ControlFlag : unsigned { kShown = 0, kDisabled = 1, kChecked = 2, kPanel = 4 };

// One control of the window: created as its member, placed in its parent
// (the window for ""), captioned. A height of 0 sizes a label to its
// caption. A list shows its caption as the text of its edit field.
struct ControlRow {
  QWidget* (*Make)(TForm1& form, QWidget* parent);
  const char* Name;
  const char* Parent;
  const char* Caption;
  int Left, Top, Width, Height;
  unsigned Flags = kShown;
};

template <class W, W* TForm1::*Member>
QWidget* Make(TForm1& form, QWidget* parent) {
  return form.*Member = new W(parent);
}

#define KORV_CONTROL(Kind, Name) &Make<Kind, &TForm1::Name>, #Name

// In the order of creation: a frame before the buttons laid over it.
const ControlRow kControls[] = {
    {KORV_CONTROL(QPushButton, Button1), "", "Kapcsolódás", 424, 24, 75, 25},
    {KORV_CONTROL(QCheckBox, CheckBox1), "", "Távvezérlés OK", 512, 24, 97, 17},
    {KORV_CONTROL(QCheckBox, CheckBox2), "", "Beállítások támogatva", 512, 40, 153, 17},
    {KORV_CONTROL(QPushButton, Button2), "", "Tesztkép", 424, 56, 75, 25, kDisabled},
    {KORV_CONTROL(QLabel, Label2), "", "Méret", 504, 56, 0, 0},
    {KORV_CONTROL(QComboBox, ComboBox1), "", "Képméret beállítása", 536, 56, 145, kFieldHeight},
    {KORV_CONTROL(QLabel, Label1), "", "Pillanatnyi állapot", 424, 88, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit1), "", "", 512, 88, 169, kFieldHeight},
    {KORV_CONTROL(QCheckBox, CheckBox9), "", "Hosszú Exp.", 424, 112, 81, 17, kDisabled},
    {KORV_CONTROL(QPushButton, Button3), "", "Start", 528, 120, 75, 25, kDisabled},
    {KORV_CONTROL(QPushButton, Button4), "", "Stop", 608, 120, 75, 25, kDisabled},
    {KORV_CONTROL(QLabel, Label13), "", "Zoom", 424, 136, 0, 0},
    {KORV_CONTROL(QSlider, TrackBar1), "", "", 408, 152, 150, 33, kDisabled},
    {KORV_CONTROL(QLabel, Panel2), "", "Panel2", 568, 152, 113, 49, kPanel},
    {KORV_CONTROL(QLineEdit, Edit8), "", "0", 416, 184, 25, kFieldHeight},
    {KORV_CONTROL(QLineEdit, Edit9), "", "", 472, 184, 25, kFieldHeight},
    {KORV_CONTROL(QLineEdit, Edit10), "", "max", 528, 184, 25, kFieldHeight},
    {KORV_CONTROL(QLabel, Panel1), "", "Előnézeti kép", 16, 24, 393, 289, kPanel},
    {KORV_CONTROL(QLabel, Image1), "Panel1", "", 0, 0, 385, 281},
    {KORV_CONTROL(QGroupBox, RadioGroup1), "", "Előregyártott beállítások", 424, 208, 257, 105, kDisabled},
    {KORV_CONTROL(QRadioButton, RadioButton1), "", "Normál (Nappali) mód", 432, 224, 129, kBoxHeight,
     kDisabled | kChecked},
    {KORV_CONTROL(QRadioButton, RadioButton2), "", "Félhomály, szürkületi fényjelenségek", 432, 240, 225,
     kBoxHeight, kDisabled},
    {KORV_CONTROL(QRadioButton, RadioButton3), "", "Éjszakai mód 1 (világos égbolt, gyors mozgások)", 432, 256,
     249, kBoxHeight, kDisabled},
    {KORV_CONTROL(QRadioButton, RadioButton4), "", "Éjszakai mód 2 (sötétebb égbolt, lassú mozgások)", 432, 272,
     249, kBoxHeight, kDisabled},
    {KORV_CONTROL(QRadioButton, RadioButton5), "", "Éjszakai mód 3 (különleges fényjelenségek)", 432, 288, 241,
     kBoxHeight, kDisabled},
    {KORV_CONTROL(QGroupBox, GroupBox2), "", "Manuális korrekciók", 424, 320, 257, 121, kDisabled},
    {KORV_CONTROL(QLabel, Label3), "GroupBox2", "Képkészítés gyakorisága (mp)", 8, 16, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit2), "GroupBox2", "5", 208, 16, 41, kFieldHeight},
    {KORV_CONTROL(QLabel, Label6), "GroupBox2", "Expozíció hossza (éjszaka/félhomály)", 8, 40, 0, 0},
    {KORV_CONTROL(QComboBox, ComboBox4), "GroupBox2", "", 192, 40, 57, kFieldHeight},
    {KORV_CONTROL(QLabel, Label8), "GroupBox2", "Blende előválasztás (félhomály)", 8, 64, 0, 0},
    {KORV_CONTROL(QComboBox, ComboBox3), "GroupBox2", "", 176, 64, 73, kFieldHeight},
    {KORV_CONTROL(QLabel, Label7), "GroupBox2", "Iso érzékenység", 8, 88, 0, 0},
    {KORV_CONTROL(QComboBox, ComboBox2), "GroupBox2", "", 88, 88, 105, kFieldHeight},
    {KORV_CONTROL(QCheckBox, CheckBox7), "GroupBox2", "Vaku", 200, 88, 49, kBoxHeight},
    {KORV_CONTROL(QGroupBox, GroupBox1), "", "Feltöltés", 160, 320, 249, 121},
    {KORV_CONTROL(QCheckBox, CheckBox5), "GroupBox1", "Minden kép feltöltése", 8, 16, 121, kBoxHeight,
     kDisabled | kChecked},
    {KORV_CONTROL(QLabel, Label10), "GroupBox1", "Csak minden", 136, 16, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit7), "GroupBox1", "5", 200, 16, 25, kFieldHeight, kDisabled},
    {KORV_CONTROL(QLabel, Label11), "GroupBox1", "-ik", 224, 16, 0, 0},
    {KORV_CONTROL(QLabel, Label4), "GroupBox1", "Felh.név", 8, 32, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit4), "GroupBox1", "", 56, 32, 89, kFieldHeight},
    {KORV_CONTROL(QCheckBox, CheckBox6), "GroupBox1", "Kapcsolódva", 152, 32, 81, kBoxHeight},
    {KORV_CONTROL(QLabel, Label5), "GroupBox1", "Jelszó", 24, 56, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit5), "GroupBox1", "", 56, 56, 89, kFieldHeight},
    {KORV_CONTROL(QLabel, Label12), "GroupBox1", "Idő", 176, 56, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit6), "GroupBox1", "", 192, 56, 41, kFieldHeight},
    {KORV_CONTROL(QLabel, Label9), "GroupBox1", "Státusz", 16, 80, 0, 0},
    {KORV_CONTROL(QLineEdit, Edit3), "GroupBox1", "", 56, 80, 177, kFieldHeight},
    {KORV_CONTROL(QProgressBar, ProgressBar1), "GroupBox1", "", 56, 104, 177, 12},
    {KORV_CONTROL(QGroupBox, GroupBox3), "", "Ekészült képek kezelése", 16, 320, 137, 49, kDisabled},
    {KORV_CONTROL(QCheckBox, CheckBox3), "GroupBox3", "Mentés/külső feltöltő", 8, 16, 121, kBoxHeight},
    {KORV_CONTROL(QCheckBox, CheckBox4), "GroupBox3", "Feltöltés", 8, 32, 121, kBoxHeight, kChecked},
    {KORV_CONTROL(QGroupBox, GroupBox4), "", "Képminőség/méret", 16, 376, 137, 65},
    {KORV_CONTROL(QRadioButton, RadioButton6), "GroupBox4", "Alacsony/kicsi", 8, 16, 121, kBoxHeight},
    {KORV_CONTROL(QRadioButton, RadioButton7), "GroupBox4", "Áltagos/normál", 8, 32, 121, kBoxHeight, kChecked},
    {KORV_CONTROL(QRadioButton, RadioButton8), "GroupBox4", "Magas/nagy", 8, 48, 121, kBoxHeight},
};

#undef KORV_CONTROL

void SetCaption(QWidget* widget, const QString& caption) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(caption);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(caption);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(caption);
  if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(caption);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    // A drop-down list with an edit field: a typed text that matches no
    // item leaves the list without a selection.
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setEditText(caption);
  }
}

QWidget* Create(TForm1& form, const ControlRow& row) {
  QWidget* parent = *row.Parent ? form.findChild<QWidget*>(QString::fromLatin1(row.Parent)) : &form;
  QWidget* widget = row.Make(form, parent);
  widget->setObjectName(QString::fromLatin1(row.Name));
  widget->setGeometry(row.Left, row.Top, row.Width, row.Height);
  SetCaption(widget, QString::fromUtf8(row.Caption));
  if (row.Height == 0) widget->adjustSize();
  if (row.Flags & kDisabled) widget->setEnabled(false);
  if (row.Flags & kChecked) static_cast<QAbstractButton*>(widget)->setChecked(true);
  if (auto* panel = qobject_cast<QLabel*>(widget); panel && (row.Flags & kPanel)) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAlignment(Qt::AlignCenter);
  }
  return widget;
}

template <size_t N>
void FillList(QComboBox* combo, const std::array<const char*, N>& items) {
  for (const char* item : items) combo->addItem(QString::fromUtf8(item));
}

// The chosen item: the one whose text the field shows, -1 for none (an
// edit field can hold a text that matches no item).
int ItemIndex(const QComboBox* combo) { return combo->findText(combo->currentText(), Qt::MatchExactly); }

void SelectItem(QComboBox* combo, std::optional<int> item) {
  if (item && ItemIndex(combo) != *item) combo->setCurrentIndex(*item);
}

// A value that may match no item: written into the list's field as typed.
void WriteItem(QComboBox* combo, const std::string& text) {
  QString shown = QString::fromStdString(text);
  if (combo->currentText() != shown) combo->setEditText(shown);
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
      Core(*Obturo1, *IdFTP1, workingFolder, config) {
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
  Timer1->setInterval(kTimerIntervalMs);
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
  PresetButtons = new QButtonGroup(this);
  QualityButtons = new QButtonGroup(this);
  for (const ControlRow& row : kControls) {
    QWidget* widget = Create(*this, row);
    if (auto* radio = qobject_cast<QRadioButton*>(widget))
      (radio->parentWidget() == this ? PresetButtons : QualityButtons)->addButton(radio);
  }
  TrackBar1->setOrientation(Qt::Horizontal);
  TrackBar1->setRange(0, 10);
  TrackBar1->setValue(0);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  Image1->setScaledContents(true);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
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

std::optional<double> TForm1::ShowPreview(const std::string& path) {
  const QImage preview = LoadPreview(path, Image1->size()).convertToFormat(QImage::Format_RGB32);
  Image1->setPixmap(QPixmap::fromImage(preview));
  Image1->repaint();
  return MeanBrightness({preview.constBits(), preview.width(), preview.height(),
                         static_cast<size_t>(preview.bytesPerLine()), 4});
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
  auto paint = ScopeExit([this] { Paint(Core.TakeView()); });
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
  // Only the items the station chose: the others stay as the user left them.
  SelectItem(ComboBox1, view.ImageSizeItem);
  SelectItem(ComboBox4, view.ExposureItem);
  SelectItem(ComboBox3, view.ApertureItem);
  SelectItem(ComboBox2, view.IsoItem);
  if (const auto& steered = view.SteeredTexts) {
    WriteItem(ComboBox4, steered->Exposure);
    WriteItem(ComboBox3, steered->Aperture);
    WriteItem(ComboBox2, steered->Iso);
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
  if (view.TimerMs) SetTimer1Interval(*view.TimerMs);
  if (view.Running != Timer1On) SetTimer1Enabled(view.Running);
}

QRadioButton* TForm1::PresetButton(int button) const {
  QRadioButton* buttons[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
  return button >= 1 && button <= 5 ? buttons[button - 1] : nullptr;
}

StationInput TForm1::Input() const {
  StationInput input;
  QRadioButton* presets[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
  auto selected = std::find_if(std::begin(presets), std::end(presets), [](auto* b) { return b->isChecked(); });
  input.Preset = selected == std::end(presets) ? 0 : static_cast<int>(selected - std::begin(presets)) + 1;
  input.ImageSizeItem = ItemIndex(ComboBox1);
  input.IsoItem = ItemIndex(ComboBox2);
  input.ApertureItem = ItemIndex(ComboBox3);
  input.ExposureItem = ItemIndex(ComboBox4);
  input.Flash = CheckBox7->isChecked();
  input.Quality = RadioButton6->isChecked() ? 1 : RadioButton7->isChecked() ? 2 : RadioButton8->isChecked() ? 3 : 0;
  input.IntervalText = Edit2->text().toStdString();
  input.Zoom = TrackBar1->value();
  input.Upload = CheckBox4->isChecked();
  input.Account = {Edit4->text().toStdString(), Edit5->text().toStdString(), CheckBox3->isChecked()};
  return input;
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
    UploadAccount account = Input().Account;
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

void TForm1::Button1Click() {
  Painted([this] { Core.Connect(Input()); });
}

void TForm1::Refresh_settings() {
  Painted([this] { Core.RefreshSettings(Input()); });
}

void TForm1::Button2Click() {
  Painted([this] { Core.TestPicture(Input()); });
}

void TForm1::Button3Click() {
  Painted([this] {
    std::string problem = Core.Start(Input());
    if (!problem.empty()) Handlers.Report(problem);
  });
}

void TForm1::Button4Click() {
  Painted([this] { Core.Stop(Input()); });
}

void TForm1::StartUnattended() { UnattendedAttempt(); }

void TForm1::UnattendedAttempt() {
  Handlers.Run([this] {
    Painted([this] {
      std::string problem = Core.StartUnattended(Input());
      if (!problem.empty()) Handlers.Report(problem);
    });
  });
  if (Core.View().Running) return;
  int delay = static_cast<int>(std::min<int64_t>(Core.RetryDelayMs(), INT_MAX));
  QTimer::singleShot(delay, this, [this] { UnattendedAttempt(); });
}

void TForm1::Timer1Timer() {
  Painted([this] { Core.Tick(Input(), *this); });
}

void TForm1::Obturo1RemoteEvent(RemoteEventCallbackType Event, AdditionNotifyRemoteEventType /*EventData*/) {
  Painted([&] { Core.HandlePicture(Event, Input(), *this); });
}

void TForm1::set_cam_parameters() {
  Painted([this] { Core.CorrectionChanged(Input()); });
}

void TForm1::PresetClick(int button) {
  StationInput input = Input();
  input.Preset = button;
  Painted([&] { Core.PresetSelected(input); });
}

void TForm1::RadioButton1Click() { PresetClick(1); }
void TForm1::RadioButton2Click() { PresetClick(2); }
void TForm1::RadioButton3Click() { PresetClick(3); }
void TForm1::RadioButton4Click() { PresetClick(4); }
void TForm1::RadioButton5Click() { PresetClick(5); }

void TForm1::ComboBox2Change() { set_cam_parameters(); }
void TForm1::ComboBox3Change() { set_cam_parameters(); }
void TForm1::ComboBox4Change() { set_cam_parameters(); }
void TForm1::CheckBox7Click() { set_cam_parameters(); }

void TForm1::TrackBar1Change() {
  Painted([this] { Core.ZoomMoved(Input()); });
}

void TForm1::Edit2Change() {
  Painted([this] { Core.IntervalTyped(Input()); });
}

void TForm1::upload_picture(const std::string& path, const std::string& name) {
  Painted([&] { Core.Upload(path, name, Input().Account, *this); });
}

void TForm1::CheckBox4Click() {
  Painted([this] { Core.UploadBoxChanged(Input()); });
}

}  // namespace korv
