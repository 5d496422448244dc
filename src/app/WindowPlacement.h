#pragma once
// Window blocks of the settings file: a window's state and, for a normal
// window, its position and outer size. The main window adds its panels and
// file dialogs itself; the history, compare and sort dialogs have nothing
// besides their block.

#include "storage/Options.h"

class QWidget;
class TApp;

// Maximised, minimised, or normal and then each of Top, Left, Width, Height
// the block has; a block without a state changes nothing.
void ApplyWindowBlock(QWidget& window, const TWindowBlock& block);
// The window's state; for a normal window its position and size. A dialog
// never placed nor shown gives the position it will open at, over the middle
// of its owner.
TWindowBlock CollectWindowBlock(const QWidget& window);

// The dialogs' blocks of `layout`, each applied when its section was read.
void ApplyDialogLayouts(TApp& app, const TOptionLayout& layout);
// The dialogs' blocks as the windows stand now.
void CollectDialogLayouts(TApp& app, TOptionLayout& layout);
