#include "storage/StorageError.h"

#include "core/Sjis.h"
#include "core/StrUtil.h"

namespace {

// Fills the one %s of a UTF-8 message with cp932 text.
std::string Format(std::string_view utf8Pattern, const std::string& sjisText) {
  std::string pattern = SJ(utf8Pattern);
  size_t at = pattern.find("%s");
  if (at == std::string::npos) return pattern;
  return pattern.substr(0, at) + sjisText + pattern.substr(at + 2);
}

}  // namespace

std::string FileCreateMessage(const std::string& nativePath) {
  return Format("ファイル %s を作成できません", Utf8ToSjis(nativePath));
}

std::string FileOpenMessage(const std::string& nativePath) {
  return Format("ファイル %s を開けません", Utf8ToSjis(nativePath));
}

std::string NotIntegerMessage(const std::string& sjisText) { return Format("'%s' は整数ではありません", sjisText); }
std::string NotDateMessage(const std::string& sjisText) { return Format("'%s' は正しい日付ではありません", sjisText); }
std::string NotTimeMessage(const std::string& sjisText) { return Format("'%s' は正しい時刻ではありません", sjisText); }

int StrToIntOrThrow(const std::string& sjisText) {
  int32_t v = 0;
  if (!TryStrToInt(sjisText, v)) throw TConvertError(NotIntegerMessage(sjisText));
  return v;
}
