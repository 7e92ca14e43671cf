// The main window in a program folder of its own for each test: settings and language files
// live there, and error messages are captured instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "fixtures.h"

namespace quarvel {

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
  static QString Panel(TMainForm& f, int i) {
    return f.findChild<QLabel*>(QString("StatusPanel%1").arg(i))->text();
  }
};

}  // namespace quarvel
