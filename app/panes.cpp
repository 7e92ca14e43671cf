#include "panes.h"

#include <QVBoxLayout>
#include <algorithm>

namespace quarvel {

Panes::Panes(const Scene& scene, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), view_(new DXDraw(scene)), preview_(new OutBox) {
  setObjectName("RxSplitter1");
  setHandleWidth(4);
  setChildrenCollapsible(false);
  AddPane("Panel2", view_);
  AddPane("Panel1", preview_);
  setStretchFactor(0, 1);
  setStretchFactor(1, 0);
}

void Panes::AddPane(const char* name, QWidget* content) {
  auto* panel = new QWidget(this);
  panel->setObjectName(name);
  panel->setMinimumWidth(kSplitterLimit);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  content->setParent(panel);
  layout->addWidget(content);
  addWidget(panel);
}

void Panes::PlaceOnShow(int previewWidth) {
  if (placed_) return;
  placed_ = true;
  Place(previewWidth);
}

void Panes::FitWidth(int windowWidth) {
  const int limit = windowWidth - kSplitterLimit;
  if (placed_ && limit < PreviewWidth() && limit >= kSplitterLimit) Place(limit);
}

// The preview pane gets `previewWidth`, but never so much that the 3D view keeps less than
// kSplitterLimit, nor less than kSplitterLimit itself.
void Panes::Place(int previewWidth) {
  const int total = width() - handleWidth();
  const int right =
      std::clamp(previewWidth, kSplitterLimit, std::max(kSplitterLimit, total - kSplitterLimit));
  setSizes({std::max(total - right, kSplitterLimit), right});
}

}  // namespace quarvel
