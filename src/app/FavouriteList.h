#pragma once
// The favourite statements list and its file. Reading fills the main
// window's list; writing stores it. Both never fail loudly.

class TApp;

// Fills the favourites list from the favourites file.
void ReadFavourites(TApp& app);
// Writes the favourites list to the favourites file.
void WriteFavourites(TApp& app);
