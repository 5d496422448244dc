#include "views/QtText.h"

#include "core/Sjis.h"

QString ToQ(std::string_view sjis) {
  std::string utf8 = SjisToUtf8(sjis);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool FitsSjis(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return SjisCanHold(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

std::string FromQ(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return Utf8ToSjis(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}
