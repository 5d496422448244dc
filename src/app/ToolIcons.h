#pragma once
// The pictures of the tool bar and favourites buttons and the program's own
// icon, drawn in code so the program needs no image files.

#include <QIcon>

enum class TToolIcon {
  Connect, DisConnect, New, Open, Save, Cut, Copy, Paste, Delete, Log, Diff, Sort,
  FreqAdd, FreqGet, FreqUp, FreqDown, FreqDel, App,
};

QIcon MakeToolIcon(TToolIcon kind);
