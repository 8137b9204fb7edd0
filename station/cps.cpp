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

#include "runtime/Clock.h"
#include "runtime/Convert.h"
#include "station/Settings.h"

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
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(10000);
  WireHandlers();
  Handlers.Run([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

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

void TForm1::WireHandlers() {
  // Program changes of Edit2's text count as edits; lists react only to a
  // user's choice; radio buttons when they become selected, by whoever.
  Wire(Edit2, &QLineEdit::textChanged, &TForm1::Edit2Change);
}

void TForm1::SetEdit2Text(const QString& text) {
  if (Edit2->text() == text) return;
  Edit2->setText(text);
  Handlers.Propagate();
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
    // A malformed number keeps the default rather than leaving start-up half done.
    State.base_interval = StrToIntDef(settings->Interval, State.base_interval);
    State.interval = State.base_interval;
    State.night_exposure = static_cast<uint16_t>(StrToIntDef(settings->NightExposure, State.night_exposure));
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

void TForm1::Edit2Change() {
  int32_t value = StrToIntDef(Edit2->text().toStdString(), 0);
  if (value <= 0 || value >= 100) return;
  State.interval = value;
  SetTimer1Interval(int64_t{value} * 1000);
  if (RadioButton1->isChecked()) State.base_interval = value;
}

}  // namespace korv
