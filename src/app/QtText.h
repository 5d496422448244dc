#pragma once
// The text conversions live with the views, which the shell builds on.
#include "views/QtText.h"  // IWYU pragma: export
