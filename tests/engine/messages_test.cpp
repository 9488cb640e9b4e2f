// The engine's Japanese texts must be exactly the code page 932 bytes of these texts.
#include "engine/messages.h"

#include <gtest/gtest.h>

#include "port/port.h"

namespace koushin::engine::messages {
namespace {

TEST(Messages, AreTheCodePage932BytesOfTheTexts) {
  struct Case {
    std::string bytes;
    const char* utf8;
  };
  const Case cases[] = {
      {kFolderNotRight, "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞが正しくないと思われます。"},
      {kCannotUpdate, "このバージョンへの更新はできません。"},
      {kCaptionError, "エラー"},
      {kCaptionConfirm, "確認"},
      {kCancelled, "ｱｯﾌﾟﾃﾞｲﾄを取消しました。"},
      {kExcelTemplateUpdated, "原価計算書のエクセルひな形を更新しました。"},
      {kSizeConversionFailed, "材料ｻｲｽﾞ変換が正常に更新されませんでした。"},
      {kTypeConversionFailed, "材料ﾀｲﾌﾟ変換が正常に更新されませんでした。"},
      {kUpdateDone, "システムは正常に更新されました。"},
      {kEraName, "令和"},
      {kHistoryStartKey, "抽出開始日ON"},
      {kHistoryEndKey, "抽出終了日ON"},
      {kCategoryElectric, "種別電気"},
      {kCategoryWater, "種別水道"},
      {kCategoryFacility, "種別設備"},
      {kCategoryBuilding, "種別建築"},
      {kExcelTemplatePath, "\\形式\\横A-A4g.xlsm"},
      {DiskPrompt(12), "12 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。"},
      {UpdateFailed("C:\\A"), "C:\\Aの更新に失敗しました。"},
      {AttributeUpdateFailed("C:\\A"), "C:\\Aの属性更新に失敗しました。"},
  };
  for (const Case& c : cases) {
    std::string expected;
    ASSERT_TRUE(port::Utf8ToCp932(c.utf8, &expected)) << c.utf8;
    EXPECT_EQ(c.bytes, expected) << c.utf8;
  }
}

}  // namespace
}  // namespace koushin::engine::messages
