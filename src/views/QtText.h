#pragma once
// The one crossing between model text (cp932 bytes) and Qt (Unicode), for
// the result views and the shell above them.

#include <QString>
#include <string>
#include <string_view>

QString ToQ(std::string_view sjis);
std::string FromQ(const QString& text);
// True when FromQ keeps every character of text (no "?" put in).
bool FitsSjis(const QString& text);
// A UTF-8 literal of the system's own texts, for Qt: U("接続").
inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }
