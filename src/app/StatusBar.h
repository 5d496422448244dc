#pragma once
// The main window's status bar: panels side by side, each with a width, a
// text and an alignment; a panel may be drawn by its owner instead. One
// panel may stretch: it takes whatever the bar has beyond the others, and
// its own width is then its least.

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class TStatusBar : public QWidget {
 public:
  explicit TStatusBar(QWidget* parent = nullptr);

  // Appends a panel; width in pixels.
  void AddPanel(int width, Qt::Alignment align, const QString& text, bool ownerDrawn = false);
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QString PanelText(int index) const;
  // Sets the text and schedules a repaint of that panel.
  void SetPanelText(int index, const QString& text);
  // Sets a panel's width; the panels to its right move.
  void SetPanelWidth(int index, int width);
  void SetStretchPanel(int index) { stretch_ = index; }
  // Keeps the right `pixels` of a panel free of its text, for a widget the
  // owner lays over it; the panel's width stays as it is.
  void SetPanelReserve(int index, int pixels);
  // Where a panel's text is drawn: inside its frame, left of its reserve.
  QRect TextRect(int index) const;
  // The panel's rectangle in the bar's coordinates, exactly its width wide
  // (the stretching panel: what the bar has left, never less than its width).
  QRect PanelRect(int index) const;
  // Paints an owner-drawn panel: (painter, index, rectangle).
  std::function<void(QPainter&, int, const QRect&)> OnDrawPanel;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct TPanel {
    int Width;
    Qt::Alignment Align;
    QString Text;
    bool OwnerDrawn;
    int Reserve = 0;
  };
  int Width(int index) const;

  std::vector<TPanel> panels_;
  int stretch_ = -1;
};

// Width in pixels of the progress band of a panel panelWidth wide after
// rowMax of rowCount rows: rowMax * width / rowCount truncated, and never
// outside 0..panelWidth (more rows than announced, or negative counts).
int ProgressBandWidth(int rowMax, int rowCount, int panelWidth);
