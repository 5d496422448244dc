#pragma once
// The main window's status bar: fixed-width panels side by side, each with a
// text and an alignment; a panel may be drawn by its owner instead.

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
  // The panel's rectangle in the bar's coordinates, exactly its width wide.
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
  };
  std::vector<TPanel> panels_;
};

// Width in pixels of the progress band of a panel panelWidth wide after
// rowMax of rowCount rows: rowMax * width / rowCount truncated, and never
// outside 0..panelWidth (more rows than announced, or negative counts).
int ProgressBandWidth(int rowMax, int rowCount, int panelWidth);
