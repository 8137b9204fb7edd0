#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "tests/station/StationFixture.h"

namespace korv::test {
namespace {

// The window's own texts, each as often as it shows: "Feltöltés" names the
// upload group and the upload box.
const char* const kCaptions[] = {
    "Kapcsolódás", "Távvezérlés OK", "Beállítások támogatva", "Tesztkép", "Méret", "Pillanatnyi állapot",
    "Hosszú Exp.", "Start", "Stop", "Zoom", "Panel2", "Előnézeti kép", "Előregyártott beállítások",
    "Normál (Nappali) mód", "Félhomály, szürkületi fényjelenségek",
    "Éjszakai mód 1 (világos égbolt, gyors mozgások)", "Éjszakai mód 2 (sötétebb égbolt, lassú mozgások)",
    "Éjszakai mód 3 (különleges fényjelenségek)", "Manuális korrekciók", "Képkészítés gyakorisága (mp)",
    "Expozíció hossza (éjszaka/félhomály)", "Blende előválasztás (félhomály)", "Iso érzékenység", "Vaku",
    "Feltöltés", "Feltöltés", "Minden kép feltöltése", "Csak minden", "-ik", "Felh.név", "Kapcsolódva", "Jelszó", "Idő",
    "Státusz", "Ekészült képek kezelése", "Mentés/külső feltöltő", "Képminőség/méret", "Alacsony/kicsi",
    "Áltagos/normál", "Magas/nagy"};

QString CaptionOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  return {};
}

// The window's controls: the named widgets, not the toolkit's own parts.
QList<QWidget*> Controls(TForm1& form) {
  QList<QWidget*> controls;
  for (QWidget* child : form.findChildren<QWidget*>()) {
    if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_")) controls << child;
  }
  return controls;
}

using WindowTest = StationTest;

TEST_F(WindowTest, EveryCaptionShowsAndEveryControlLiesInsideItsParentStartingUnderNoOther) {
  TForm1& form = Start();
  const QList<QWidget*> controls = Controls(form);
  for (const char* caption : kCaptions) {
    auto is = [&](auto each) { return QString::fromUtf8(each) == QString::fromUtf8(caption); };
    auto shows = [&](QWidget* control) { return CaptionOf(control) == QString::fromUtf8(caption); };
    EXPECT_EQ(std::count_if(controls.begin(), controls.end(), shows),
              std::count_if(std::begin(kCaptions), std::end(kCaptions), is))
        << caption;
  }
  for (QWidget* control : controls) {
    SCOPED_TRACE(control->objectName().toStdString());
    EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()));
    for (QWidget* other : controls) {
      // The preset buttons lie on their frame; neighbours may share an edge.
      bool frame = other == form.RadioGroup1 || control == form.RadioGroup1;
      if (other == control || other->parentWidget() != control->parentWidget() || frame) continue;
      EXPECT_FALSE(other->geometry().adjusted(0, 0, -1, -1).contains(control->pos()))
          << other->objectName().toStdString();
    }
  }
}

// Until a camera is connected only the connection, the upload account and
// the quality can be used; the defaults are chosen.
TEST_F(WindowTest, StartsWithTheCameraControlsOffAndTheDefaultsChosen) {
  TForm1& form = Start();
  for (QWidget* off : std::initializer_list<QWidget*>{
           form.Button2, form.Button3, form.Button4, form.CheckBox9, form.TrackBar1, form.RadioGroup1,
           form.RadioButton1, form.RadioButton5, form.GroupBox2, form.ComboBox2, form.ComboBox3, form.ComboBox4,
           form.CheckBox5, form.Edit7, form.GroupBox3}) {
    EXPECT_TRUE(off->testAttribute(Qt::WA_ForceDisabled)) << off->objectName().toStdString();
  }
  for (QAbstractButton* on : std::initializer_list<QAbstractButton*>{form.RadioButton1, form.CheckBox5,
                                                                     form.CheckBox4, form.RadioButton7}) {
    EXPECT_TRUE(on->isChecked()) << on->objectName().toStdString();
  }
  EXPECT_EQ(std::make_tuple(form.Edit2->text(), form.Edit7->text(), form.Edit8->text(), form.Edit10->text()),
            std::make_tuple("5", "5", "0", "max"));
  EXPECT_TRUE(form.Button1->isEnabled());
  EXPECT_TRUE(form.Edit4->isEnabled());
}

TEST_F(WindowTest, WindowCaptionPlaceAndSize) {
  TForm1& form = Start();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Korvell Tv Canon Powershot távvezérlő"));
  EXPECT_EQ(form.pos(), QPoint(198, 119));
  EXPECT_EQ(form.size(), QSize(696, 479));
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
