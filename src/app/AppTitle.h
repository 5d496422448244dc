#pragma once
// The product title shown in captions and the About dialog.
extern const char* const kAppTitle;
