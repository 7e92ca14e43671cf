// The two panes side by side: the 3D view on the left, the mask preview on the right, and the
// splitter between them. Each pane keeps at least kSplitterLimit; the stored width of the preview
// pane is taken once the window has its real size, since Qt's first layout scales any width
// given before.
#pragma once

#include <QSplitter>

#include "scene/scene.h"
#include "widgets/dxdraw.h"
#include "widgets/preview_box.h"

namespace quarvel {

constexpr int kSplitterLimit = 120;  // each side of the splitter keeps at least this much

class Panes : public QSplitter {
 public:
  Panes(const Scene& scene, QWidget* parent);

  DXDraw* view() const { return view_; }
  OutBox* preview() const { return preview_; }
  bool placed() const { return placed_; }
  int PreviewWidth() const { return preview_->parentWidget()->width(); }

  // The first time the window shows: the preview pane takes the stored width.
  void PlaceOnShow(int previewWidth);
  // The window narrowed: the preview pane never keeps more than the window leaves the view.
  void FitWidth(int windowWidth);

 private:
  void Place(int previewWidth);
  void AddPane(const char* name, QWidget* content);

  DXDraw* view_;
  OutBox* preview_;
  bool placed_ = false;
};

}  // namespace quarvel
