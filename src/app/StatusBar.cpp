#include "app/StatusBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cstdint>

namespace {
constexpr int kBarHeight = 19;
constexpr int kPanelGap = 0;  // the frame is drawn inside each panel
}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  setFixedHeight(kBarHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TStatusBar::AddPanel(int width, Qt::Alignment align, const QString& text, bool ownerDrawn) {
  panels_.push_back({width, align, text, ownerDrawn, 0});
  update();
}

QString TStatusBar::PanelText(int index) const {
  if (index < 0 || index >= PanelCount()) return {};
  return panels_[static_cast<size_t>(index)].Text;
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  if (index < 0 || index >= PanelCount()) return;
  TPanel& panel = panels_[static_cast<size_t>(index)];
  if (panel.Text == text) return;
  panel.Text = text;
  update(PanelRect(index));
}

void TStatusBar::SetPanelWidth(int index, int width) {
  if (index < 0 || index >= PanelCount()) return;
  TPanel& panel = panels_[static_cast<size_t>(index)];
  if (panel.Width == width) return;
  panel.Width = width;
  updateGeometry();
  update();
}

void TStatusBar::SetPanelReserve(int index, int pixels) {
  if (index < 0 || index >= PanelCount()) return;
  TPanel& panel = panels_[static_cast<size_t>(index)];
  if (panel.Reserve == pixels) return;
  panel.Reserve = pixels;
  update(PanelRect(index));
}

QRect TStatusBar::TextRect(int index) const {
  const int reserve = index >= 0 && index < PanelCount() ? panels_[static_cast<size_t>(index)].Reserve : 0;
  QRect r = PanelRect(index).adjusted(2, 0, -2 - reserve, 0);
  if (r.width() < 0) r.setWidth(0);
  return r;
}

int TStatusBar::Width(int index) const {
  const int own = panels_[static_cast<size_t>(index)].Width;
  if (index != stretch_) return own;
  int others = 0;
  for (int i = 0; i < PanelCount(); ++i)
    if (i != stretch_) others += panels_[static_cast<size_t>(i)].Width + kPanelGap;
  return std::max(own, width() - others - kPanelGap);
}

QRect TStatusBar::PanelRect(int index) const {
  int x = 0;
  for (int i = 0; i < index && i < PanelCount(); ++i) x += Width(i) + kPanelGap;
  const int width = index >= 0 && index < PanelCount() ? Width(index) : 0;
  return QRect(x, 1, width, height() - 1);
}

QSize TStatusBar::sizeHint() const {
  int width = 0;
  for (const TPanel& panel : panels_) width += panel.Width + kPanelGap;
  return QSize(width, kBarHeight);
}

QSize TStatusBar::minimumSizeHint() const { return QSize(0, kBarHeight); }

void TStatusBar::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  for (int i = 0; i < PanelCount(); ++i) {
    QRect r = PanelRect(i);
    if (!event->rect().intersects(r)) continue;
    const TPanel& panel = panels_[static_cast<size_t>(i)];
    if (panel.OwnerDrawn && OnDrawPanel) {
      painter.save();
      painter.setClipRect(r);
      OnDrawPanel(painter, i, r);
      painter.restore();
      continue;
    }
    // A sunken frame around each panel.
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(r.left(), r.top(), r.right(), r.top());
    painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
    painter.setPen(palette().color(QPalette::WindowText));
    // Beside a reserve the text ends in an ellipsis rather than cut.
    const QRect text = TextRect(i);
    painter.drawText(text, static_cast<int>(panel.Align | Qt::AlignVCenter),
                     panel.Reserve > 0 ? fontMetrics().elidedText(panel.Text, Qt::ElideRight, text.width()) : panel.Text);
  }
}

int ProgressBandWidth(int rowMax, int rowCount, int panelWidth) {
  if (rowCount == 0 || panelWidth <= 0) return 0;
  // In 64 bits: a million rows times the panel width overflows 32.
  double band = static_cast<double>(static_cast<int64_t>(rowMax) * panelWidth) / rowCount;
  if (!(band > 0)) return 0;
  if (band >= panelWidth) return panelWidth;
  return static_cast<int>(band);
}
