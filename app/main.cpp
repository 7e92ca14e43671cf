// quarvel: the desktop program. Opens the model named on its command line, if any.
#include <unistd.h>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "main_form.h"

namespace {

constexpr const char* kUsage =
    "Usage: quarvel [MODEL]\n"
    "       quarvel --help | --version\n"
    "Turns a 3D model into a depth mask: opens the window with the model named on the command\n"
    "line, if any (every parameter, joined by single blanks, names one model file). A model is\n"
    "a .3ds, .obj, .stl (binary or text), .ply, .gltf or .glb file, told by its extension and\n"
    "read as quarvel-render reads it.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the program's version and exit\n"
    "\n"
    "quarvel-render makes masks and animations without a window; see quarvel-render --help.\n";

// `--help` and `--version` as the only parameter answer on standard output without a window,
// so they work with no display. Gives the exit code, or -1 to go on and open the window.
int AnswerWithoutWindow(int argc, char** argv) {
  if (argc != 2) return -1;
  int written = 0;
  if (std::strcmp(argv[1], "--help") == 0)
    written = std::fputs(kUsage, stdout);
  else if (std::strcmp(argv[1], "--version") == 0)
    written = std::puts(quarvel::kCaption);
  else
    return -1;
  return written < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}

// Qt's messages while the application connects to the display. Held back until it has: with no
// display Qt gives up with a fatal error (and a core dump), and then one line saying what is
// wrong is all the user needs to see.
std::vector<QString> heldMessages;

void HoldMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    heldMessages.push_back(text);
    return;
  }
  std::fputs(
      "quarvel: no display to open the window on; quarvel-render makes masks and animations "
      "without one (see quarvel-render --help)\n",
      stderr);
  ::_exit(1);
}

std::unique_ptr<QApplication> ConnectToDisplay(int& argc, char** argv) {
  const QtMessageHandler previous = qInstallMessageHandler(HoldMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  for (const QString& text : heldMessages)
    std::fprintf(stderr, "%s\n", qPrintable(text));
  heldMessages.clear();
  return app;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int code = AnswerWithoutWindow(argc, argv); code >= 0) return code;
  const std::unique_ptr<QApplication> app = ConnectToDisplay(argc, argv);
  QApplication::setApplicationName("Quarvel");
  QApplication::setWindowIcon(QIcon(":/icons/quarvel.png"));
  quarvel::TMainForm form(quarvel::FileLocations::OfThisProgram());
  form.show();
  // The model opens once the event loop runs: an error box shown then, and a termination
  // request arriving meanwhile, end in the loop's own way.
  QTimer::singleShot(0, &form, [&form] { form.OpenCommandLine(QCoreApplication::arguments()); });
  return QApplication::exec();
}
