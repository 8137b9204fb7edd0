#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <cstdlib>

#include "tests/station/StationFixture.h"

namespace korv::test {
namespace {

enum Check { kNone, kOff, kOn };

struct ControlRow {
  const char* Name;
  const char* Kind;
  const char* Text;
  bool Enabled;  // the control's own setting, whatever its group says
  Check Checked;
  const char* Parent;
  int Left, Top;
};

// The window as it stands after start-up without a settings file.
const ControlRow kControls[] = {
    {"Button1", "QPushButton", "Kapcsolódás", true, kNone, "Form1", 424, 24},
    {"CheckBox1", "QCheckBox", "Távvezérlés OK", true, kOff, "Form1", 512, 24},
    {"CheckBox2", "QCheckBox", "Beállítások támogatva", true, kOff, "Form1", 512, 40},
    {"Button2", "QPushButton", "Tesztkép", false, kNone, "Form1", 424, 56},
    {"Label2", "QLabel", "Méret", true, kNone, "Form1", 504, 56},
    {"ComboBox1", "QComboBox", "Közepes méret-2", true, kNone, "Form1", 536, 56},
    {"Label1", "QLabel", "Pillanatnyi állapot", true, kNone, "Form1", 424, 88},
    {"Edit1", "QLineEdit", "", true, kNone, "Form1", 512, 88},
    {"CheckBox9", "QCheckBox", "Hosszú Exp.", false, kOff, "Form1", 424, 112},
    {"Button3", "QPushButton", "Start", false, kNone, "Form1", 528, 120},
    {"Button4", "QPushButton", "Stop", false, kNone, "Form1", 608, 120},
    {"Label13", "QLabel", "Zoom", true, kNone, "Form1", 424, 136},
    {"TrackBar1", "QSlider", "", false, kNone, "Form1", 408, 152},
    {"Panel2", "QLabel", "Panel2", true, kNone, "Form1", 568, 152},
    {"Edit8", "QLineEdit", "0", true, kNone, "Form1", 416, 184},
    {"Edit9", "QLineEdit", "", true, kNone, "Form1", 472, 184},
    {"Edit10", "QLineEdit", "max", true, kNone, "Form1", 528, 184},
    {"Panel1", "QLabel", "Előnézeti kép", true, kNone, "Form1", 16, 24},
    {"Image1", "QLabel", "", true, kNone, "Panel1", 0, 0},
    {"RadioGroup1", "QGroupBox", "Előregyártott beállítások", false, kNone, "Form1", 424, 208},
    {"RadioButton1", "QRadioButton", "Normál (Nappali) mód", false, kOn, "Form1", 432, 224},
    {"RadioButton2", "QRadioButton", "Félhomály, szürkületi fényjelenségek", false, kOff, "Form1", 432, 240},
    {"RadioButton3", "QRadioButton", "Éjszakai mód 1 (világos égbolt, gyors mozgások)", false, kOff, "Form1", 432,
     256},
    {"RadioButton4", "QRadioButton", "Éjszakai mód 2 (sötétebb égbolt, lassú mozgások)", false, kOff, "Form1", 432,
     272},
    {"RadioButton5", "QRadioButton", "Éjszakai mód 3 (különleges fényjelenségek)", false, kOff, "Form1", 432, 288},
    {"GroupBox2", "QGroupBox", "Manuális korrekciók", false, kNone, "Form1", 424, 320},
    {"Label3", "QLabel", "Képkészítés gyakorisága (mp)", true, kNone, "GroupBox2", 8, 16},
    {"Edit2", "QLineEdit", "5", true, kNone, "GroupBox2", 208, 16},
    {"Label6", "QLabel", "Expozíció hossza (éjszaka/félhomály)", true, kNone, "GroupBox2", 8, 40},
    {"ComboBox4", "QComboBox", "Auto", false, kNone, "GroupBox2", 192, 40},
    {"Label8", "QLabel", "Blende előválasztás (félhomály)", true, kNone, "GroupBox2", 8, 64},
    {"ComboBox3", "QComboBox", "Auto", false, kNone, "GroupBox2", 176, 64},
    {"Label7", "QLabel", "Iso érzékenység", true, kNone, "GroupBox2", 8, 88},
    {"ComboBox2", "QComboBox", "Auto", false, kNone, "GroupBox2", 88, 88},
    {"CheckBox7", "QCheckBox", "Vaku", true, kOff, "GroupBox2", 200, 88},
    {"GroupBox1", "QGroupBox", "Feltöltés", true, kNone, "Form1", 160, 320},
    {"CheckBox5", "QCheckBox", "Minden kép feltöltése", false, kOn, "GroupBox1", 8, 16},
    {"Label10", "QLabel", "Csak minden", true, kNone, "GroupBox1", 136, 16},
    {"Edit7", "QLineEdit", "5", false, kNone, "GroupBox1", 200, 16},
    {"Label11", "QLabel", "-ik", true, kNone, "GroupBox1", 224, 16},
    {"Label4", "QLabel", "Felh.név", true, kNone, "GroupBox1", 8, 32},
    {"Edit4", "QLineEdit", "", true, kNone, "GroupBox1", 56, 32},
    {"CheckBox6", "QCheckBox", "Kapcsolódva", true, kOff, "GroupBox1", 152, 32},
    {"Label5", "QLabel", "Jelszó", true, kNone, "GroupBox1", 24, 56},
    {"Edit5", "QLineEdit", "", true, kNone, "GroupBox1", 56, 56},
    {"Label12", "QLabel", "Idő", true, kNone, "GroupBox1", 176, 56},
    {"Edit6", "QLineEdit", "", true, kNone, "GroupBox1", 192, 56},
    {"Label9", "QLabel", "Státusz", true, kNone, "GroupBox1", 16, 80},
    {"Edit3", "QLineEdit", "", true, kNone, "GroupBox1", 56, 80},
    {"ProgressBar1", "QProgressBar", "", true, kNone, "GroupBox1", 56, 104},
    {"GroupBox3", "QGroupBox", "Ekészült képek kezelése", false, kNone, "Form1", 16, 320},
    {"CheckBox3", "QCheckBox", "Mentés/külső feltöltő", true, kOff, "GroupBox3", 8, 16},
    {"CheckBox4", "QCheckBox", "Feltöltés", true, kOn, "GroupBox3", 8, 32},
    {"GroupBox4", "QGroupBox", "Képminőség/méret", true, kNone, "Form1", 16, 376},
    {"RadioButton6", "QRadioButton", "Alacsony/kicsi", true, kOff, "GroupBox4", 8, 16},
    {"RadioButton7", "QRadioButton", "Áltagos/normál", true, kOn, "GroupBox4", 8, 32},
    {"RadioButton8", "QRadioButton", "Magas/nagy", true, kOff, "GroupBox4", 8, 48},
};

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  return {};
}

using WindowTest = StationTest;

TEST_F(WindowTest, EveryControlHasItsNameKindTextStateAndPlace) {
  TForm1& form = Start();
  int widgets = 0;
  for (QWidget* child : form.findChildren<QWidget*>()) {
    widgets += !child->objectName().isEmpty() && !child->objectName().startsWith("qt_");  // the toolkit's own parts
  }
  EXPECT_EQ(widgets, static_cast<int>(std::size(kControls)));

  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.Name);
    auto* widget = form.findChild<QWidget*>(QString::fromLatin1(row.Name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), row.Kind);
    EXPECT_EQ(TextOf(widget), QString::fromUtf8(row.Text));
    EXPECT_EQ(!widget->testAttribute(Qt::WA_ForceDisabled), row.Enabled);
    if (row.Checked != kNone) {
      EXPECT_EQ(qobject_cast<QAbstractButton*>(widget)->isChecked(), row.Checked == kOn);
    }
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(row.Parent));
    EXPECT_EQ(widget->pos(), QPoint(row.Left, row.Top));
  }
}

TEST_F(WindowTest, WindowCaptionPlaceAndFixedSizes) {
  TForm1& form = Start();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Korvell Tv Canon Powershot távvezérlő"));
  EXPECT_EQ(form.pos(), QPoint(198, 119));
  EXPECT_EQ(form.size(), QSize(696, 479));
  EXPECT_EQ(form.Panel1->geometry(), QRect(16, 24, 393, 289));
  EXPECT_EQ(form.Image1->size(), QSize(385, 281));
  EXPECT_EQ(form.ProgressBar1->geometry(), QRect(56, 104, 177, 12));
  EXPECT_EQ(form.TrackBar1->geometry(), QRect(408, 152, 150, 33));
  EXPECT_EQ(form.RadioButton4->width(), 249);
}

TEST_F(WindowTest, ListsSliderProgressBarAndTimerStartAsLaidOut) {
  TForm1& form = Start();
  auto items = [](QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    return texts.join('|');
  };
  EXPECT_EQ(items(form.ComboBox1),
            QString::fromUtf8("Nagy méret|Közepes méret|Közepes méret-1|Közepes méret-2|Közepes méret-3|Kis méret"));
  EXPECT_EQ(items(form.ComboBox4), QString::fromUtf8("Auto|1 mp|2 mp|5 mp|10 mp|15 mp|30 mp"));
  EXPECT_EQ(items(form.ComboBox3), QString::fromUtf8("Auto|F2.8|F4.0|F5.6|F8.0|F11.0"));
  EXPECT_EQ(items(form.ComboBox2), QString::fromUtf8("Auto|50|100|200|400|800|1600"));
  EXPECT_EQ(form.ComboBox1->currentIndex(), 3);

  EXPECT_EQ(form.TrackBar1->minimum(), 0);
  EXPECT_EQ(form.TrackBar1->maximum(), 10);
  EXPECT_EQ(form.TrackBar1->value(), 0);
  EXPECT_EQ(form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1->maximum(), 100);
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  EXPECT_EQ(form.Edit5->echoMode(), QLineEdit::Normal);

  EXPECT_FALSE(form.Timer1->isActive());
  EXPECT_FALSE(form.Timer1Enabled());
  EXPECT_EQ(form.Timer1->interval(), 10000);
}

TEST_F(WindowTest, DisabledGroupsDisableTheirControls) {
  TForm1& form = Start();
  EXPECT_FALSE(form.Edit2->isEnabled());
  EXPECT_FALSE(form.CheckBox7->isEnabled());
  EXPECT_FALSE(form.CheckBox3->isEnabled());
  EXPECT_FALSE(form.CheckBox4->isEnabled());
  EXPECT_TRUE(form.Edit4->isEnabled());
  EXPECT_TRUE(form.RadioButton8->isEnabled());
}

TEST_F(WindowTest, PresetAndQualityButtonsAreTwoSeparateExclusiveGroups) {
  TForm1& form = Start();
  EXPECT_TRUE(form.PresetButtons->exclusive());
  EXPECT_EQ(form.PresetButtons->buttons().size(), 5);
  EXPECT_EQ(form.QualityButtons->buttons().size(), 3);

  form.RadioButton4->setChecked(true);
  EXPECT_FALSE(form.RadioButton1->isChecked());
  EXPECT_TRUE(form.RadioButton7->isChecked());
  form.RadioButton8->setChecked(true);
  EXPECT_FALSE(form.RadioButton7->isChecked());
  EXPECT_TRUE(form.RadioButton4->isChecked());
}

TEST_F(WindowTest, RendersTheWindowForAPersonToLookAt) {
  TForm1& form = Start();
  QString folder = qEnvironmentVariable("KORV_ARTIFACT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "KORV_ARTIFACT_DIR not set";
  ASSERT_TRUE(QDir().mkpath(folder));
  QPixmap shot = form.grab();
  EXPECT_EQ(shot.size(), QSize(696, 479));
  EXPECT_TRUE(shot.save(folder + "/window.png"));
}

}  // namespace
}  // namespace korv::test
