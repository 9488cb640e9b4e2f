#include "engine/post_update_settings.h"

#include <set>
#include <vector>

#include "engine/master_conversion.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/setting_writer.h"
#include "journal/journal.h"
#include "port/port.h"
#include "text/cp932.h"
#include "text/number.h"
#include "text/path.h"
#include "text/replace.h"

namespace koushin::engine {

namespace {

// The category flags set for a trade category code, in the order they are written.
std::vector<std::string> CategoryKeys(int category) {
  switch (category) {
    case 1:
      return {product::kCategoryElectric};
    case 2:
      return {product::kCategoryWater};
    case 3:
      return {product::kCategoryFacility};
    case 4:
      return {product::kCategoryBuilding};
    case 5:
      return {product::kCategoryWater, product::kCategoryFacility};
    case 6:
      return {product::kCategoryElectric, product::kCategoryFacility};
    default:
      return {};
  }
}

}  // namespace

int WritePostUpdateSettings(RunContext& context, journal::Transaction& transaction,
                            const std::string& folder) {
  const description::UpdateDescription& record = context.record;
  const std::string systemIni = folder + record.systemIniName;
  context.op.Log("settings: " + systemIni);

  // The settings are written together, each file once; a failure stops the run with the message
  // for that file, and the run then puts everything back.
  std::vector<Setting> settings;
  settings.push_back({product::kSystemSection, product::kEraKey, product::kEraName, systemIni});
  if (!record.newVersion.empty()) {
    std::string title =
        port::ProfileRead(product::kSystemSection, product::kTitleKey, "", systemIni);
    text::ReplaceAllInPlace(title, product::kOldVersionInTitle, record.newVersion);
    settings.push_back({product::kSystemSection, product::kTitleKey, title, systemIni});
  }
  const std::string history = folder + product::kHistoryIni;
  settings.push_back({product::kHistorySection, product::kHistoryStartKey, "1", history});
  settings.push_back({product::kHistorySection, product::kHistoryEndKey, "1", history});
  for (const std::string& key : CategoryKeys(text::ParseInt(record.categoryCode))) {
    settings.push_back({product::kSystemSection, key, "1", systemIni});
  }
  std::string failed;
  if (!WriteSettings(context, transaction, settings, &failed)) {
    context.op.ShowMessage(messages::UpdateFailed(failed), messages::CaptionConfirm(),
                           Buttons::kOk);
    return 0;
  }

  if (text::ParseInt(record.masterAdjust) == 1) {
    ScopedWait wait(context.op);  // nested in the run's own
    const std::string setupFile = folder + product::kMasterSetupIni;
    ConversionOptions options;
    options.op = &context.op;
    options.dryRun = context.dryRun;
    options.recordsChanged = &context.summary.masterRecordsConverted;
    options.changed = [&context](const std::string& path) {
      PlanChange(context, journal::RecordKind::kReplacedFile, path);
    };
    if (!context.convertMasters) {
      // A repair: the master files were converted when these media were installed, and each
      // conversion cuts another byte from some records. Only a master file this run has written
      // from the media (as the media hold it, unconverted) is converted.
      // (A dry run: the files its plan writes.)
      std::set<std::string> written;
      const std::vector<journal::Change>& changes =
          context.dryRun ? context.summary.changes : transaction.Changes();
      for (const journal::Change& change : changes) {
        written.insert(text::ToUpper(text::OneSeparator(change.path)));
      }
      context.op.Log("master: a repair converts only the master files it wrote from the media");
      options.only = [written](const std::string& path) {
        return written.count(text::ToUpper(text::OneSeparator(path))) != 0;
      };
    }
    // A failed conversion is a failed run: its message, then the run puts everything back.
    if (MaterialSizeConversion(setupFile, transaction, options) == 0) {
      context.op.ShowMessage(messages::SizeConversionFailed(), messages::CaptionConfirm(),
                             Buttons::kOk);
      return 0;
    }
    if (MaterialTypeConversion(setupFile, transaction, options) == 0) {
      context.op.ShowMessage(messages::TypeConversionFailed(), messages::CaptionConfirm(),
                             Buttons::kOk);
      return 0;
    }
  }

  return 1;
}

}  // namespace koushin::engine
