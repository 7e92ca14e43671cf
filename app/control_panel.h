// The panel under the two panes: the Rotation and Moving arrow pairs for the X, Y and Z axes and
// the Width and Height of the mask.
#pragma once

#include <QLabel>
#include <QSpinBox>
#include <QWidget>
#include <array>
#include <functional>

#include "widgets/up_down.h"

namespace quarvel {

class ControlPanel : public QWidget {
 public:
  explicit ControlPanel(QWidget* parent);

  // The captions and hints in the language of `tr`.
  void Localize(const std::function<QString(const char*)>& tr);

  std::array<UpDown*, 6> arrows{};  // the X, Y and Z turns, then the three moves
  QSpinBox* maskWidth = nullptr;
  QSpinBox* maskHeight = nullptr;

 private:
  void AddArrowGroup(QLabel*& caption, const char* name, const char* const (&names)[3],
                     size_t first);
  QSpinBox* AddSizeBox(QLabel*& caption, const char* label, const char* spin, const char* edit);

  QLabel *rotation_ = nullptr, *moving_ = nullptr, *width_ = nullptr, *height_ = nullptr;
};

}  // namespace quarvel
