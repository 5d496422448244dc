#include "app/WindowPlacement.h"

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "app/App.h"
#include "views/DiffDialog.h"
#include "views/LogDialog.h"
#include "views/SortDialog.h"

void ApplyWindowBlock(QWidget& window, const TWindowBlock& block) {
  if (!block.State) return;
  switch (*block.State) {
    case TWindowState::Maximized:
      window.setWindowState(Qt::WindowMaximized);
      break;
    case TWindowState::Minimized:
      window.setWindowState(Qt::WindowMinimized);
      break;
    case TWindowState::Normal:
      window.setWindowState(Qt::WindowNoState);
      if (block.Left || block.Top) window.move(block.Left.value_or(window.x()), block.Top.value_or(window.y()));
      window.resize(block.Width.value_or(window.width()), block.Height.value_or(window.height()));
      break;
  }
}

TWindowBlock CollectWindowBlock(const QWidget& window) {
  TWindowBlock block;
  const Qt::WindowStates state = window.windowState();
  if (state & Qt::WindowMinimized) {
    block.State = TWindowState::Minimized;
  } else if (state & Qt::WindowMaximized) {
    block.State = TWindowState::Maximized;
  } else {
    block.State = TWindowState::Normal;
    QPoint at = window.pos();
    const QWidget* owner = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    if (owner && !window.testAttribute(Qt::WA_Moved) && !window.testAttribute(Qt::WA_WState_ExplicitShowHide)) {
      // Never placed nor shown: where it will open, over the middle of its
      // owner, as a dialog is shown the first time.
      const QRect over = owner->frameGeometry();
      const QSize size = window.frameGeometry().size();
      at = QPoint(over.left() + over.width() / 2 - size.width() / 2, over.top() + over.height() / 2 - size.height() / 2);
    }
    block.Top = at.y();
    block.Left = at.x();
    block.Width = window.width();
    block.Height = window.height();
  }
  return block;
}

void ApplyDialogLayouts(TApp& app, const TOptionLayout& layout) {
  if (layout.LogForm.Present) ApplyWindowBlock(app.LogDialog(), layout.LogForm.Window);
  if (layout.DiffForm.Present) ApplyWindowBlock(app.DiffDialog(), layout.DiffForm.Window);
  if (layout.SortForm.Present) ApplyWindowBlock(app.SortDialog(), layout.SortForm.Window);
}

void CollectDialogLayouts(TApp& app, TOptionLayout& layout) {
  layout.LogForm.Window = CollectWindowBlock(app.LogDialog());
  layout.DiffForm.Window = CollectWindowBlock(app.DiffDialog());
  layout.SortForm.Window = CollectWindowBlock(app.SortDialog());
}
