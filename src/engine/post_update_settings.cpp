#include "engine/post_update_settings.h"

#include <vector>

#include "engine/master_conversion.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "engine/setting_writer.h"
#include "journal/journal.h"
#include "text/number.h"

namespace koushin::engine {

int WritePostUpdateSettings(RunContext& context, journal::Transaction& transaction,
                            const std::string& folder) {
  const description::UpdateDescription& record = context.record;
  // Planned again now that the entries are in place: an archive may have brought a settings or
  // master file of its own.
  UpdatePlan& plan = context.summary.plan;
  PlanSettings(MakePlanInput(context, folder), &plan, true);
  context.op.Log("settings: " + folder + record.systemIniName);

  // The settings are written together, each file once; a failure stops the run with the message
  // for that file, and the run then puts everything back.
  std::vector<Setting> settings;
  for (const PlanStep& step : plan.settings) {
    for (const PlannedKey& key : step.keys) {
      settings.push_back({key.section, key.key, key.newValue, step.path});
    }
  }
  std::string failed;
  if (!WriteSettings(context, transaction, settings, &failed)) {
    context.op.ShowMessage(messages::UpdateFailed(failed), messages::CaptionConfirm(),
                           Buttons::kOk);
    return 0;
  }

  if (text::ParseInt(record.masterAdjust) == 1) {
    ScopedWait wait(context.op);  // nested in the run's own
    for (const std::string& note : plan.settingsNotes) context.op.Log(note);
    ConversionOptions options;
    options.op = &context.op;
    options.recordsChanged = &context.summary.masterRecordsConverted;
    // A failed conversion is a failed run: its message, then the run puts everything back.
    for (const PlanStep& step : plan.settings) {
      if (step.kind != StepKind::kConvertMaster ||
          ConvertMasterFile(step.path, step.rule, transaction, options)) {
        continue;
      }
      context.op.ShowMessage(step.rule == MasterRule::kSize ? messages::SizeConversionFailed()
                                                            : messages::TypeConversionFailed(),
                             messages::CaptionConfirm(), Buttons::kOk);
      return 0;
    }
  }

  return 1;
}

}  // namespace koushin::engine
