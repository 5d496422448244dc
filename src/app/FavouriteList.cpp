#include "app/FavouriteList.h"

// The favourites list and its file come with the favourites commands; until
// then connecting starts with an empty list and disconnecting keeps no file.
void ReadFavourites(TApp&) {}
void WriteFavourites(TApp&) {}
