// The "Options" dialog: whether .3ds files open with Quarvel, whether only one copy may run, and
// the two colours of the 3D view, shown live while they are picked and stored by Apply.
#pragma once

#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QPushButton>
#include <functional>
#include <string>

#include "scene/scene.h"
#include "settings/props.h"
#include "ui/association.h"

namespace quarvel {

// What the dialog is given by the window that opens it.
struct OptionsHost {
  Scene& scene;  // the 3D view's scene: picked colours are shown on it at once
  Props& props;  // SingleInstance, ObjColor and LightColor: shown at the start, set by Apply
  std::string executable = {};        // the running program's full path, for the association
  bool showHints = true;              // the main window's "Show hints"
  std::function<void()> redraw = {};  // the 3D view
  std::function<std::string(const std::string& english)> translate = {};
  std::function<void(const QString& topic)> showHelp = {};
  std::function<void(const QString& text)> showError = {};  // the window's message box
};

class TOpsForm : public QDialog {
  Q_OBJECT
 public:
  TOpsForm(QWidget* parent, OptionsHost host);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;  // the swatches' mouse releases

 private:
  void FormCreate();
  void BuildControls();
  void LocalizeControls();
  void OKButtonClick();
  void Change1Click();
  void Change2Click();
  void ObjectShapeMouseUp();
  void LightShapeMouseUp();
  void FormHelp();
  void PickColor(uint32_t& color, QFrame* shape);
  QString Tr(const char* english) const;

  OptionsHost host_;
  AssociationPaths association_;
  bool WasAssociated = false;
  uint32_t objColor_ = 0, lightColor_ = 0;  // the swatches' colours, as 0x00BBGGRR

  QFrame *upperPanel_ = nullptr, *lowerPanel_ = nullptr;
  QCheckBox *associate_ = nullptr, *singleBox_ = nullptr;
  QGroupBox *groupBox1_ = nullptr, *groupBox2_ = nullptr;
  QFrame *objectShape_ = nullptr, *lightShape_ = nullptr;
  QPushButton *change1_ = nullptr, *change2_ = nullptr, *cancelButton_ = nullptr,
              *okButton_ = nullptr;
  QColorDialog* colorDialog_ = nullptr;
};

}  // namespace quarvel
