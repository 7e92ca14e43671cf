// The main window in a program folder of its own for each test: settings and language files
// live there, and error messages are captured instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/main_form.h"
#include "fixtures.h"

namespace quarvel {

// Whether this process is the child that RunChild started for the case `name` ("Suite.Case").
inline bool IsChild(const char* name) {
  const char* child = std::getenv("QUARVEL_GUI_CHILD");
  return child && std::strcmp(child, name) == 0;
}

using ChildEnvironment = std::vector<std::pair<const char*, const char*>>;

// Runs the case `name` in a process of its own, on the same screen, with `environment` added,
// and gives its exit status.
inline int RunChild(const char* name, const ChildEnvironment& environment) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("QUARVEL_GUI_CHILD", name, 1);
    for (const auto& [variable, value] : environment)
      ::setenv(variable, value, 1);
    const std::string filter = std::string("--gtest_filter=") + name;
    ::execl("/proc/self/exe", "quarvel_gui_tests", filter.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct GuiTest : ::testing::Test {
  test::ScratchDir dir;
  std::vector<QString> errors;

  FileLocations Locations() const {
    std::string d = dir.Path("");
    d.pop_back();
    return FileLocations::For(d);
  }
  std::unique_ptr<TMainForm> MakeForm() {
    auto form = std::make_unique<TMainForm>(Locations());
    form->errorHook = [this](const QString& e) { errors.push_back(e); };
    form->resize(900, 600);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }
  // Writes the settings file the next window reads.
  void WriteSettings(const std::string& text) const {
    dir.Write("Quarvel.cfg", std::vector<uint8_t>(text.begin(), text.end()));
  }
  // Triggers `command`, then runs `body` on the modal dialog of type T that it opens, once it is
  // up (the command may let messages through before it shows the dialog); a dialog `body` leaves
  // open is closed with the button named `closer`.
  template <typename T>
  static void WithModal(QAction* command, const char* closer, const std::function<void(T&)>& body) {
    bool ran = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!dialog || ran) return;
      poll.stop();
      ran = true;
      body(*dialog);
      if (dialog->isVisible()) dialog->template findChild<QAbstractButton*>(closer)->click();
    });
    poll.start(10);
    command->trigger();
    EXPECT_TRUE(ran);
  }

  // Runs `answer` on the next modal dialog of type T, once it is up.
  template <typename T>
  static void WhenUp(QObject* owner, const std::function<void(T*)>& answer) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!dialog) return;
      timer->stop();
      answer(dialog);
    });
    timer->start(10);
  }

  static QString Panel(TMainForm& f, int i) {
    return f.findChild<QLabel*>(QString("StatusPanel%1").arg(i))->text();
  }
};

}  // namespace quarvel
