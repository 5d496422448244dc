#pragma once
// The favourite statements: the main window's list, whose items each carry
// their full statement (the first line is the caption), the five commands on
// it, and the favourites file it is read from at connect and written to at
// disconnect. Reading never fails loudly; a failed write is reported and the
// previous file stays whole.

#include "core/StrUtil.h"

class QListWidget;
class TApp;

// Fills the favourites list from the favourites file.
void ReadFavourites(TApp& app);
// Writes the favourites list to the favourites file.
void WriteFavourites(TApp& app);

// The statement an item of the list carries (empty for a row outside it).
TStrings FreqStatement(const QListWidget& list, int row);

// The commands' effects; their enable rules are the command module's.
void FreqAddExecute(TApp& app);
void FreqGetExecute(TApp& app);
void FreqDelExecute(TApp& app);
void FreqUpExecute(TApp& app);
void FreqDownExecute(TApp& app);
