// The wizard's screens as terminal prompts. Each screen prints what the dialog shows and reads
// the button as a number; the destination screen's drive and folder lists are numbered lists
// driven by the same DestinationScreen logic as the dialog.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console_operator.h"
#include "engine/media_list.h"
#include "run_log.h"
#include "terminal.h"
#include "wizard/sequencer.h"

namespace koushin::console {

struct ScreenSettings {
  std::string sourceFolder;                // code page 932, ends with a separator
  std::optional<std::string> firstFolder;  // --folder (code page 932): taken at the first showing
  bool unattended = false;
  bool dryRun = false;
  bool reinstall = false;  // --reinstall: media already installed are applied again
  std::vector<engine::TrustedKey> trustedKeys;  // --trusted-key
};

class ConsoleScreens : public wizard::Screens {
 public:
  ConsoleScreens(Terminal& terminal, RunLog& log, ConsoleOperator& op, ScreenSettings settings);

  int ShowNotice(const wizard::NoticeScreen& screen) override;
  int ShowDestination(wizard::DestinationScreen& screen) override;
  int ShowConfirm(const wizard::ConfirmScreen& screen) override;
  int RunUpdate(description::UpdateDescription& record) override;
  void ShowScreenFailure(wizard::Step step) override;
  void Log(const std::string& line) override;

 private:
  // Reads a choice of 1..count; Enter gives `defaultChoice`. 0 at the end of the input.
  int Choose(const std::string& prompt, int count, int defaultChoice);
  void ShowFolderList(const wizard::DestinationScreen& screen);
  void ChooseDrive(wizard::DestinationScreen& screen);
  void BrowseFolders(wizard::DestinationScreen& screen);
  void TypeFolder(wizard::DestinationScreen& screen);
  void Title(const std::string& captionCp932);

  Terminal& terminal_;
  RunLog& log_;
  ConsoleOperator& op_;
  ScreenSettings settings_;
};

}  // namespace koushin::console
