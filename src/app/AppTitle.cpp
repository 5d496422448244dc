#include "app/AppTitle.h"
const char* const kAppTitle = "Quorrel";
