// The main window's side of the settings: geometry, panel sizes, the grid
// options and the row limit. Kept apart from the window's drawing code.

#include <QSplitter>

#include "app/App.h"
#include "app/MainWindow.h"
#include "app/OptionDialog.h"
#include "app/WindowPlacement.h"
#include "storage/Options.h"

namespace {

// The other part of a splitter keeps the rest of the space.
void SetFirstSize(QSplitter& splitter, int size) {
  QList<int> sizes = splitter.sizes();
  int total = 0;
  for (int s : sizes) total += s;
  if (sizes.size() < 2) return;
  size = std::max(size, 0);
  sizes[0] = size;
  sizes[1] = std::max(total - size, 1);
  splitter.setSizes(sizes);
}

}  // namespace

void TfrmMain::ApplyLayout(const TMainFormLayout& layout) {
  ApplyWindowBlock(*this, layout.Window);
  if (layout.SqlPanelWidth) SetFirstSize(*sptVertical, *layout.SqlPanelWidth);
  if (layout.OpePanelHeight) SetFirstSize(*sptHorizon, *layout.OpePanelHeight);
}

void TfrmMain::CollectLayout(TMainFormLayout& layout) const {
  layout.Window = CollectWindowBlock(*this);
  // A hidden panel (full-size result area) keeps its last size.
  layout.SqlPanelWidth = pnlSql->isVisibleTo(this) ? sptVertical->sizes().value(0) : pnlSql->width();
  layout.OpePanelHeight =
      pnlOperation->isVisibleTo(this) ? sptHorizon->sizes().value(0) : pnlOperation->height();
}

const TOptions& TfrmMain::Settings() const {
  static const TOptions kDefaults;
  return app_.HasOptions() ? app_.Options() : kDefaults;
}

