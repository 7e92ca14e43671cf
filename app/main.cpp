// quarvel: the desktop program. Opens the model named on its command line, if any.
#include <QApplication>

#include "main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quarvel");
  QApplication::setWindowIcon(QIcon(":/icons/quarvel.png"));
  quarvel::TMainForm form(quarvel::FileLocations::OfThisProgram());
  form.show();
  form.OpenCommandLine(QCoreApplication::arguments());
  return QApplication::exec();
}
