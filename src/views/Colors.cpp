#include "views/Colors.h"

#include <QGuiApplication>
#include <iterator>

namespace {

struct TSystemColor {
  QPalette::ColorGroup Group;
  QPalette::ColorRole Role;
};

// System colour numbers 0x00..0x1D in the order the colour values use them.
const TSystemColor kSystem[] = {
    {QPalette::Active, QPalette::Mid},              // 00 scroll bar
    {QPalette::Active, QPalette::Dark},             // 01 desktop
    {QPalette::Active, QPalette::Highlight},        // 02 active caption
    {QPalette::Inactive, QPalette::Highlight},      // 03 inactive caption
    {QPalette::Active, QPalette::Window},           // 04 menu
    {QPalette::Active, QPalette::Base},             // 05 window
    {QPalette::Active, QPalette::Shadow},           // 06 window frame
    {QPalette::Active, QPalette::WindowText},       // 07 menu text
    {QPalette::Active, QPalette::Text},             // 08 window text
    {QPalette::Active, QPalette::HighlightedText},  // 09 caption text
    {QPalette::Active, QPalette::Window},           // 0A active border
    {QPalette::Inactive, QPalette::Window},         // 0B inactive border
    {QPalette::Active, QPalette::Dark},             // 0C application workspace
    {QPalette::Active, QPalette::Highlight},        // 0D selection background
    {QPalette::Active, QPalette::HighlightedText},  // 0E selection text
    {QPalette::Active, QPalette::Button},           // 0F button face
    {QPalette::Active, QPalette::Dark},             // 10 button shadow
    {QPalette::Disabled, QPalette::Text},           // 11 grey text
    {QPalette::Active, QPalette::ButtonText},       // 12 button text
    {QPalette::Disabled, QPalette::WindowText},     // 13 inactive caption text
    {QPalette::Active, QPalette::Light},            // 14 button highlight
    {QPalette::Active, QPalette::Shadow},           // 15 3D dark shadow
    {QPalette::Active, QPalette::Midlight},         // 16 3D light
    {QPalette::Active, QPalette::ToolTipText},      // 17 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},      // 18 tooltip background
    {QPalette::Active, QPalette::Link},             // 19 hot light
    {QPalette::Active, QPalette::Highlight},        // 1A gradient active caption
    {QPalette::Inactive, QPalette::Highlight},      // 1B gradient inactive caption
    {QPalette::Active, QPalette::Highlight},        // 1C menu highlight
    {QPalette::Active, QPalette::Window},           // 1D menu bar
};

QColor PlainColor(uint32_t color) {
  if (color == clNone || color == 0x20000000u) return QColor();  // none / default
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace

QColor ToQColor(uint32_t color, const QPalette& palette) {
  if (!IsSystemColor(color)) return PlainColor(color);
  const uint32_t n = color & 0x7FFFFFFFu;
  if (n >= std::size(kSystem)) return QColor();
  return palette.color(kSystem[n].Group, kSystem[n].Role);
}

QColor ToQColor(uint32_t color) {
  if (!IsSystemColor(color)) return PlainColor(color);
  return ToQColor(color, QGuiApplication::palette());
}

uint32_t FromQColor(const QColor& color) {
  QColor c = color.toRgb();
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}
