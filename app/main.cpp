// Program entry: the station's one window and its event loop.
#include <QApplication>

#include "station/cps.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  korv::TForm1 form;
  form.show();
  return application.exec();
}
