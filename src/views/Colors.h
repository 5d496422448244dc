#pragma once
// Colours are kept as one 32-bit value everywhere: 0x00BBGGRR for a plain
// colour (red in the lowest byte), 0x80000000 + n for the desktop's system
// colour n, and 0x1FFFFFFF for "no colour". Qt colours exist only at paint time.

#include <QColor>
#include <QPalette>
#include <cstdint>

// clNone, clBlack, clWhite, clSilver and clInfoBk come with the settings.
#include "storage/Options.h"

constexpr uint32_t clBlue = 0xFF0000;
constexpr uint32_t clHighlight = 0x8000000D;
constexpr uint32_t clHighlightText = 0x8000000E;
constexpr uint32_t clBtnFace = 0x8000000F;
constexpr uint32_t clBtnShadow = 0x80000010;
constexpr uint32_t clInactiveCaptionText = 0x80000013;

inline bool IsSystemColor(uint32_t c) { return (c & 0x80000000u) != 0; }

// The Qt colour of an encoded value. System colours come from `palette`
// (the application palette when omitted); clNone and unknown system numbers
// give an invalid QColor, which callers treat as "draw nothing".
QColor ToQColor(uint32_t color, const QPalette& palette);
QColor ToQColor(uint32_t color);

// The plain encoding of a Qt colour (alpha dropped), e.g. for a colour picker.
uint32_t FromQColor(const QColor& color);
