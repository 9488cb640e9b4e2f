#include "console_screens.h"

#include "engine/messages.h"
#include "engine/update_run.h"
#include "port/port.h"
#include "wizard/texts.h"

namespace koushin::console {

namespace {

constexpr int kEndOfInput = 0;

std::string Button(const std::string& cp932) { return ForTerminal(cp932); }

}  // namespace

ConsoleScreens::ConsoleScreens(Terminal& terminal, RunLog& log, ConsoleOperator& op,
                               ScreenSettings settings)
    : terminal_(terminal), log_(log), op_(op), settings_(std::move(settings)) {}

void ConsoleScreens::Title(const std::string& captionCp932) {
  terminal_.ShowUtf8("\n== " + ForTerminal(captionCp932) + " ==\n");
}

int ConsoleScreens::Choose(const std::string& prompt, int count, int defaultChoice) {
  for (;;) {
    std::string line;
    if (!terminal_.Ask(prompt, &line)) return kEndOfInput;
    if (line.empty() && defaultChoice > 0) return defaultChoice;
    bool digits = !line.empty() && line.size() <= 6;
    for (char c : line) digits = digits && c >= '0' && c <= '9';
    if (digits) {
      const int choice = std::stoi(line);
      if (choice >= 1 && choice <= count) return choice;
    }
    terminal_.ShowUtf8("  1 から " + std::to_string(count) + " までの番号で答えてください。\n");
  }
}

int ConsoleScreens::ShowNotice(const wizard::NoticeScreen& screen) {
  Title(screen.caption);
  terminal_.Show(std::string(wizard::texts::NoticeHeading()) + "\r\n\r\n" + screen.noticeText +
                 "\r\n\r\n");
  int code = wizard::kEndOk;
  if (settings_.unattended) {
    terminal_.ShowUtf8("（自動応答: " + Button(wizard::texts::ButtonStart()) + "）\n");
  } else {
    const int choice = Choose("1) " + Button(wizard::texts::ButtonStart()) + "  2) " +
                                  Button(wizard::texts::ButtonCancel()) + "  [1]: ",
                              2, 1);
    code = choice == 1 ? wizard::kEndOk : wizard::kEndCancel;
  }
  return code;
}

void ConsoleScreens::ShowFolderList(const wizard::DestinationScreen& screen) {
  const auto& items = screen.FolderItems();
  for (std::size_t i = 0; i < items.size(); ++i) {
    terminal_.ShowUtf8("  " + std::to_string(i + 1) + ") " + ForTerminal(items[i]) + "\n");
  }
}

void ConsoleScreens::ChooseDrive(wizard::DestinationScreen& screen) {
  const auto& drives = screen.DriveItems();
  if (drives.empty()) {
    terminal_.ShowUtf8("  使えるドライブがありません（--drive で割り当てます）。\n");
    return;
  }
  std::string line = " ";
  for (std::size_t i = 0; i < drives.size(); ++i) {
    line += " " + std::to_string(i + 1) + ") " + drives[i];
  }
  terminal_.ShowUtf8(line + "\n");
  const int choice = Choose("ドライブの番号: ", static_cast<int>(drives.size()), 0);
  if (choice == kEndOfInput) return;
  screen.SelectDrive(choice - 1);
  log_.WriteCp932("destination: drive " + drives[choice - 1] + " chosen; the folder field shows " +
                  screen.FolderField());
  BrowseFolders(screen);
}

void ConsoleScreens::BrowseFolders(wizard::DestinationScreen& screen) {
  if (screen.DriveSelection() < 0) {
    terminal_.ShowUtf8("  先にドライブを選んでください。\n");
    return;
  }
  for (;;) {
    terminal_.ShowUtf8(Button(wizard::texts::FolderFieldLabel()) + ": " +
                       ForTerminal(screen.FolderField()) + "\n");
    ShowFolderList(screen);
    std::string line;
    if (!terminal_.Ask("開くフォルダの番号（Enter で終わり）: ", &line) || line.empty()) return;
    bool digits = line.size() <= 6;
    for (char c : line) digits = digits && c >= '0' && c <= '9';
    const int count = static_cast<int>(screen.FolderItems().size());
    const int choice = digits ? std::stoi(line) : 0;
    if (choice < 1 || choice > count) {
      terminal_.ShowUtf8("  1 から " + std::to_string(count) + " までの番号で答えてください。\n");
      continue;
    }
    const std::string item = screen.FolderItems()[choice - 1];
    screen.SelectFolder(choice - 1);
    log_.WriteCp932("destination: folder " + item + " chosen; the folder field shows " +
                    screen.FolderField());
  }
}

void ConsoleScreens::TypeFolder(wizard::DestinationScreen& screen) {
  std::string line;
  if (!terminal_.Ask("フォルダ: ", &line)) return;
  std::string cp932;
  if (!port::Utf8ToCp932(line, &cp932)) {
    terminal_.ShowUtf8("  シフト JIS で表せない文字が含まれています。\n");
    return;
  }
  screen.SetFolderField(cp932);
  log_.WriteCp932("destination: " + cp932 + " typed into the folder field");
}

int ConsoleScreens::ShowDestination(wizard::DestinationScreen& screen) {
  screen.Open();
  log_.WriteCp932("destination: the folder field shows " + screen.FolderField());
  Title(wizard::texts::CaptionUpdate());
  if (!screen.destinationText.empty()) terminal_.Show(screen.destinationText + "\r\n");
  const std::string label = Button(wizard::texts::FolderFieldLabel());

  if (settings_.firstFolder || settings_.unattended) {
    if (settings_.firstFolder) {
      screen.SetFolderField(*settings_.firstFolder);
      settings_.firstFolder.reset();
      log_.WriteCp932("destination: the folder " + screen.FolderField() + " of --folder typed");
    }
    terminal_.ShowUtf8(label + ": " + ForTerminal(screen.FolderField()) + "  (" +
                       Button(wizard::texts::ButtonNext()) + ")\n");
    return screen.Next();
  }

  for (;;) {
    terminal_.ShowUtf8(label + ": " + ForTerminal(screen.FolderField()) + "\n");
    const int choice = Choose("1) " + Button(wizard::texts::ButtonNext()) + "  2) " +
                                  Button(wizard::texts::ButtonBack()) +
                                  "  3) フォルダを入力  4) ドライブ  5) フォルダ一覧  [1]: ",
                              5, 1);
    switch (choice) {
      case kEndOfInput:
        log_.Write("destination: the input ended, taken as Esc");
        return screen.Cancel();
      case 1:
        return screen.Next();
      case 2:
        return screen.Back();
      case 3:
        TypeFolder(screen);
        break;
      case 4:
        ChooseDrive(screen);
        break;
      case 5:
        BrowseFolders(screen);
        break;
    }
  }
}

int ConsoleScreens::ShowConfirm(const wizard::ConfirmScreen& screen) {
  Title(screen.caption);
  terminal_.ShowUtf8(Button(wizard::texts::ConfirmFolderLabel()) +
                     ForTerminal(screen.installFolder) + "\n");
  int code = wizard::kEndOk;
  if (settings_.unattended) {
    terminal_.ShowUtf8("（自動応答: " + Button(wizard::texts::ButtonUpdate()) + "）\n");
  } else {
    const int choice = Choose("1) " + Button(wizard::texts::ButtonUpdate()) + "  2) " +
                                  Button(wizard::texts::ButtonBack()) + "  [1]: ",
                              2, 1);
    code = choice == 1 ? wizard::kEndOk : wizard::kEndCancel;
  }
  return code;
}

int ConsoleScreens::RunUpdate(description::UpdateDescription& record) {
  log_.WriteCp932(std::string(settings_.dryRun ? "update run (dry run): " : "update run: ") +
                  record.installFolder);
  op_.StartRun();
  engine::RunContext context{record, settings_.sourceFolder, op_, settings_.dryRun,
                             settings_.unattended};
  context.reinstall = settings_.reinstall;
  context.trustedKeys = settings_.trustedKeys;
  const int result = engine::UpdateRun(context);
  op_.FinishRun(context);
  // Unattended, nobody is there to choose another folder: a failed check ends the wizard.
  if (result == engine::kRunBackToDestination && settings_.unattended) return engine::kRunClose;
  return result;
}

void ConsoleScreens::ShowScreenFailure(wizard::Step) {
  terminal_.Show(std::string("[") + engine::messages::CaptionError() + "] " +
                 wizard::texts::ScreenFailed() + "\r\n");
}

void ConsoleScreens::Log(const std::string& line) { log_.WriteCp932(line); }

}  // namespace koushin::console
