// quarvel: the desktop program. Opens the model named on its command line, if any.
#include <QApplication>
#include <QTimer>

#include "main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Quarvel");
  QApplication::setWindowIcon(QIcon(":/icons/quarvel.png"));
  quarvel::TMainForm form(quarvel::FileLocations::OfThisProgram());
  form.show();
  // The model opens once the event loop runs: an error box shown then, and a termination
  // request arriving meanwhile, end in the loop's own way.
  QTimer::singleShot(0, &form, [&form] { form.OpenCommandLine(QCoreApplication::arguments()); });
  return QApplication::exec();
}
