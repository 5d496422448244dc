#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace {

constexpr int kSize = 24;

const QColor kInk(40, 40, 40);
const QColor kPaper(250, 250, 245);
const QColor kBlue(40, 90, 180);
const QColor kGreen(40, 150, 60);
const QColor kRed(200, 40, 40);
const QColor kYellow(235, 190, 60);

void Page(QPainter& p, QRectF r) {
  QPainterPath path;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - 5, r.top());
  path.lineTo(r.right(), r.top() + 5);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(kInk, 1));
  p.setBrush(kPaper);
  p.drawPath(path);
  p.drawLine(QPointF(r.right() - 5, r.top()), QPointF(r.right() - 5, r.top() + 5));
  p.drawLine(QPointF(r.right() - 5, r.top() + 5), QPointF(r.right(), r.top() + 5));
}

void Cylinder(QPainter& p, QColor colour) {
  QRectF body(4, 5, 14, 14);
  p.setPen(QPen(kInk, 1));
  p.setBrush(colour);
  p.drawRect(QRectF(body.left(), body.top() + 2, body.width(), body.height() - 4));
  p.drawEllipse(QRectF(body.left(), body.bottom() - 4, body.width(), 4));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(body.left() + 0.5, body.bottom() - 3, body.width() - 1, 1.5));
  p.setPen(QPen(kInk, 1));
  p.setBrush(colour.lighter(130));
  p.drawEllipse(QRectF(body.left(), body.top(), body.width(), 4));
}

void Arrow(QPainter& p, double angleDeg, QColor colour) {
  p.save();
  p.translate(kSize / 2.0, kSize / 2.0);
  p.rotate(angleDeg);
  QPolygonF shape;
  shape << QPointF(-8, -3) << QPointF(1, -3) << QPointF(1, -8) << QPointF(9, 0) << QPointF(1, 8)
        << QPointF(1, 3) << QPointF(-8, 3);
  p.setPen(QPen(colour.darker(140), 1));
  p.setBrush(colour);
  p.drawPolygon(shape);
  p.restore();
}

void Cross(QPainter& p, QRectF r) {
  p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
}

void Draw(QPainter& p, TToolIcon kind) {
  switch (kind) {
    case TToolIcon::Connect:
      Cylinder(p, kBlue.lighter(150));
      p.setPen(QPen(kGreen, 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(13, 18), QPointF(16, 21));
      p.drawLine(QPointF(16, 21), QPointF(22, 13));
      break;
    case TToolIcon::DisConnect:
      Cylinder(p, QColor(170, 170, 170));
      Cross(p, QRectF(14, 14, 7, 7));
      break;
    case TToolIcon::New:
      Page(p, QRectF(5, 2, 14, 19));
      break;
    case TToolIcon::Open: {
      p.setPen(QPen(kInk, 1));
      p.setBrush(kYellow.darker(110));
      p.drawRect(QRectF(2, 6, 18, 14));
      p.setBrush(kYellow);
      QPolygonF front;
      front << QPointF(5, 10) << QPointF(22, 10) << QPointF(19, 20) << QPointF(2, 20);
      p.drawPolygon(front);
      break;
    }
    case TToolIcon::Save:
      p.setPen(QPen(kInk, 1));
      p.setBrush(kBlue);
      p.drawRect(QRectF(3, 3, 18, 18));
      p.setBrush(kPaper);
      p.drawRect(QRectF(6, 3, 12, 7));
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(7, 14, 10, 7));
      break;
    case TToolIcon::Cut:
      p.setPen(QPen(kInk, 1.5));
      p.drawLine(QPointF(7, 3), QPointF(15, 15));
      p.drawLine(QPointF(17, 3), QPointF(9, 15));
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kRed, 2));
      p.drawEllipse(QRectF(4, 15, 6, 6));
      p.drawEllipse(QRectF(14, 15, 6, 6));
      break;
    case TToolIcon::Copy:
      Page(p, QRectF(3, 2, 12, 15));
      Page(p, QRectF(9, 7, 12, 15));
      break;
    case TToolIcon::Paste:
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(170, 120, 70));
      p.drawRect(QRectF(3, 4, 14, 17));
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(7, 2, 6, 4));
      Page(p, QRectF(10, 9, 11, 13));
      break;
    case TToolIcon::Delete:
    case TToolIcon::FreqDel:
      Cross(p, QRectF(5, 5, 14, 14));
      break;
    case TToolIcon::Log:
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(kPaper);
      p.drawEllipse(QRectF(3, 3, 18, 18));
      p.drawLine(QPointF(12, 12), QPointF(12, 6));
      p.drawLine(QPointF(12, 12), QPointF(16, 14));
      break;
    case TToolIcon::Diff:
      Page(p, QRectF(2, 3, 9, 17));
      Page(p, QRectF(13, 3, 9, 17));
      p.setPen(QPen(kRed, 2));
      p.drawLine(QPointF(4, 10), QPointF(9, 10));
      p.setPen(QPen(kGreen, 2));
      p.drawLine(QPointF(15, 14), QPointF(20, 14));
      break;
    case TToolIcon::Sort:
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      for (int i = 0; i < 4; ++i) p.drawRect(QRectF(3, 4 + i * 4.5, 4 + i * 3.5, 3));
      p.setPen(QPen(kInk, 1.5));
      p.drawLine(QPointF(19, 3), QPointF(19, 20));
      p.drawLine(QPointF(19, 20), QPointF(16, 16));
      p.drawLine(QPointF(19, 20), QPointF(22, 16));
      break;
    case TToolIcon::FreqAdd:
      Arrow(p, 0, kGreen);
      break;
    case TToolIcon::FreqGet:
      Arrow(p, 180, kBlue);
      break;
    case TToolIcon::FreqUp:
      Arrow(p, -90, kBlue);
      break;
    case TToolIcon::FreqDown:
      Arrow(p, 90, kBlue);
      break;
    case TToolIcon::App:
      Cylinder(p, kBlue.lighter(140));
      p.setPen(QPen(kYellow.darker(120), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(14, 13), QPointF(21, 20));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(10, 9, 7, 7));
      break;
  }
}

}  // namespace

QIcon MakeToolIcon(TToolIcon kind) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(kSize * scale, kSize * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    Draw(p, kind);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}
