#include "engine/post_update_settings.h"

#include <vector>

#include "engine/master_conversion.h"
#include "engine/messages.h"
#include "engine/setting_writer.h"
#include "port/port.h"
#include "text/number.h"
#include "text/replace.h"

namespace koushin::engine {

namespace {

constexpr char kSystemSection[] = "SYSTEM";
constexpr char kHistorySection[] = "HISTORY";
constexpr char kHistoryFile[] = "kov3.ini";
constexpr char kMasterSetupFile[] = "tamiro1.ini";
constexpr char kOldVersionInTitle[] = "8.0S";

// The category flags set for a trade category code, in the order they are written.
std::vector<std::string> CategoryKeys(int category) {
  switch (category) {
    case 1:
      return {messages::CategoryElectric()};
    case 2:
      return {messages::CategoryWater()};
    case 3:
      return {messages::CategoryFacility()};
    case 4:
      return {messages::CategoryBuilding()};
    case 5:
      return {messages::CategoryWater(), messages::CategoryFacility()};
    case 6:
      return {messages::CategoryElectric(), messages::CategoryFacility()};
    default:
      return {};
  }
}

}  // namespace

int WritePostUpdateSettings(RunContext& context, const std::string& folder) {
  const description::UpdateDescription& record = context.record;
  const std::string systemIni = folder + record.systemIniName;
  context.op.Log("settings: " + systemIni);

  WriteSetting(context, kSystemSection, "GENGOU", messages::EraName(), systemIni);

  if (!record.newVersion.empty()) {
    std::string title = port::ProfileRead(kSystemSection, "TITLE", "", systemIni);
    text::ReplaceAllInPlace(title, kOldVersionInTitle, record.newVersion);
    WriteSetting(context, kSystemSection, "TITLE", title, systemIni);
  }

  const std::string history = folder + kHistoryFile;
  WriteSetting(context, kHistorySection, messages::HistoryStartKey(), "1", history);
  WriteSetting(context, kHistorySection, messages::HistoryEndKey(), "1", history);

  for (const std::string& key : CategoryKeys(text::ParseInt(record.categoryCode))) {
    WriteSetting(context, kSystemSection, key, "1", systemIni);
  }

  if (text::ParseInt(record.masterAdjust) == 1) {
    ScopedWait wait(context.op);  // nested in the run's own
    const std::string setupFile = folder + kMasterSetupFile;
    ConversionOptions options;
    options.op = &context.op;
    options.dryRun = context.dryRun;
    if (MaterialSizeConversion(setupFile, options) == 0) {
      context.op.ShowMessage(messages::SizeConversionFailed(), messages::CaptionConfirm(),
                             Buttons::kOk);
    }
    if (MaterialTypeConversion(setupFile, options) == 0) {
      context.op.ShowMessage(messages::TypeConversionFailed(), messages::CaptionConfirm(),
                             Buttons::kOk);
    }
  }

  if (context.dryRun) {
    context.op.Log("dry run finished: nothing was written");
    context.op.ShowMessage(messages::DryRunDone(), messages::CaptionConfirm(), Buttons::kOk);
  } else {
    context.op.Log("update finished");
    context.op.ShowMessage(messages::UpdateDone(), messages::CaptionConfirm(), Buttons::kOk);
  }
  return 1;
}

}  // namespace koushin::engine
