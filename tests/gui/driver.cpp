// The scripted person at the screen for the Windows wizard: a Win32 program that starts
// koushin.exe under Wine, finds its windows by dialog class and control ids, reads their texts,
// clicks buttons, selects list items, types into the folder field and presses Esc and Enter, and
// checks what the wizard shows and what it leaves on the disk.
//
// usage: driver.exe SHOT_FOLDER SCENARIO_FILE   (Windows paths). The file names one scenario a
// line; one start of the driver runs them all, which keeps Wine starts few. It prints "SHOT <name>"
// when the screen is to be photographed and waits until SHOT_FOLDER\<name>.png exists (test-gui.sh
// takes the picture from X). It prints "ok ..." and "FAIL ..." lines and exits with the number of
// failures.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kNotice = 132;
constexpr int kDestination = 130;
constexpr int kConfirm = 133;
constexpr int kMessage = 0;
constexpr int kAbout = 100;
constexpr DWORD kWaitLimitMs = 30000;  // a window that does not come in this time is a failure

int failures = 0;
std::wstring shotFolder;
HANDLE process = nullptr;
DWORD processId = 0;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), count,
                      nullptr, nullptr);
  return bytes;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int count =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), count);
  return wide;
}

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void Check(bool good, const std::string& what) {
  if (!good) ++failures;
  Print(std::string(good ? "ok   " : "FAIL ") + what);
}

// One line for the log: CR LF shown as \n.
std::string Shown(const std::wstring& text) {
  std::wstring shown = text;
  for (std::size_t at; (at = shown.find(L"\r\n")) != std::wstring::npos;)
    shown.replace(at, 2, L"\\n");
  return Utf8(shown);
}

void CheckText(const std::wstring& got, const std::wstring& want, const std::string& what) {
  Check(got == want,
        what + ": \"" + Shown(got) + "\"" + (got == want ? "" : " want \"" + Shown(want) + "\""));
}

// Texts of windows of the other process, through WM_GETTEXT (which Windows carries across).
std::wstring TextOf(HWND window) {
  if (window == nullptr) return L"<no window>";
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::vector<wchar_t> buffer(length + 2, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 5000, &got);
  return std::wstring(buffer.data(), got);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

bool ProcessAlive() {
  return process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// The kind of a dialog of the wizard: its template number by its controls, kMessage for a
// message box, -1 for anything else.
int KindOf(HWND dialog) {
  if (ClassOf(dialog) != L"#32770") return -1;
  if (TextOf(dialog).rfind(L"ﾊﾞｰｼﾞｮﾝ情報", 0) == 0) return kAbout;
  if (GetDlgItem(dialog, 1002) != nullptr) return kDestination;
  const HWND text = GetDlgItem(dialog, 1006);
  if (text != nullptr && GetDlgItem(dialog, 1007) != nullptr) {
    return _wcsicmp(ClassOf(text).c_str(), L"Edit") == 0 ? kNotice : kConfirm;
  }
  return kMessage;
}

struct Search {
  int kind;
  HWND found;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != processId || !IsWindowVisible(window)) return TRUE;
  if (KindOf(window) == search->kind) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindDialog(int kind) {
  Search search{kind, nullptr};
  EnumWindows(&FindDialogOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

const char* KindName(int kind) {
  switch (kind) {
    case kNotice:
      return "notice";
    case kDestination:
      return "destination";
    case kConfirm:
      return "confirmation";
    case kMessage:
      return "message box";
    default:
      return "window";
  }
}

// Waits for a dialog of the kind to show, and for the previous one to be gone.
HWND WaitFor(int kind, HWND previous = nullptr) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kWaitLimitMs) {
    if (previous == nullptr || !IsWindow(previous) || !IsWindowVisible(previous)) {
      const HWND found = FindDialog(kind);
      if (found != nullptr) {
        Sleep(200);  // let it finish painting
        return found;
      }
    }
    if (!ProcessAlive()) break;
    Sleep(50);
  }
  Check(false, std::string("the ") + KindName(kind) + " dialog appears");
  return nullptr;
}

// Waits for the wizard to end; true when it ended by itself.
bool WaitForExit() {
  const bool ended = WaitForSingleObject(process, kWaitLimitMs) == WAIT_OBJECT_0;
  Check(ended, "the wizard ends");
  return ended;
}

void Shot(const std::string& name) {
  const std::wstring file = shotFolder + L"\\" + Wide(name) + L".png";
  Print("SHOT " + name);
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kWaitLimitMs) {
      Check(false, "screenshot " + name);
      return;
    }
    Sleep(50);
  }
}

void Click(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) {
    Check(false, "button " + std::to_string(id) + " exists");
    return;
  }
  PostMessageW(button, BM_CLICK, 0, 0);
}

// A key pressed in the dialog: the key goes to the focused control, and the dialog's own message
// loop turns Esc and Enter into its cancel and default commands.
void PressKey(HWND dialog, UINT key) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Types a text into an edit control, replacing what it held, one character at a time.
void TypeInto(HWND dialog, int id, const std::wstring& text) {
  const HWND edit = GetDlgItem(dialog, id);
  SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, 5000, nullptr);
  SendMessageTimeoutW(edit, WM_CHAR, VK_BACK, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  for (wchar_t ch : text)
    SendMessageTimeoutW(edit, WM_CHAR, ch, 1, SMTO_ABORTIFHUNG, 5000, nullptr);
}

std::vector<std::wstring> ListItems(HWND dialog, int id) {
  const HWND list = GetDlgItem(dialog, id);
  std::vector<std::wstring> items;
  DWORD_PTR count = 0;
  SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  for (DWORD_PTR i = 0; i < count && static_cast<LONG_PTR>(count) >= 0; ++i) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::vector<wchar_t> buffer(length + 2, L'\0');
    SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 5000, &length);
    items.emplace_back(buffer.data());
  }
  return items;
}

std::wstring Joined(const std::vector<std::wstring>& items) {
  std::wstring all;
  for (const auto& item : items) all += (all.empty() ? L"" : L" ") + item;
  return all;
}

// Selects the item with this text as the user would: LB_SETCURSEL, then the notification.
bool SelectItem(HWND dialog, int id, const std::wstring& text) {
  const auto items = ListItems(dialog, id);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] != text) continue;
    const HWND list = GetDlgItem(dialog, id);
    SendMessageTimeoutW(list, LB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list), SMTO_ABORTIFHUNG, 10000, nullptr);
    return true;
  }
  Check(false, "list " + std::to_string(id) + " holds " + Utf8(text) + " (has " +
                   Utf8(Joined(items)) + ")");
  return false;
}

// The whole content of a folder tree, to prove that nothing was written.
void Snapshot(const std::wstring& folder, std::map<std::wstring, std::string>* files) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*files)[path] = "<folder>";
      Snapshot(path, files);
    } else {
      std::ifstream in(path.c_str(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      (*files)[path] = bytes.str() + "|" + std::to_string(data.ftLastWriteTime.dwLowDateTime) +
                       "|" + std::to_string(data.dwFileAttributes);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

// Starts the wizard; false when it does not start.
bool Start(const std::wstring& exe) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + exe + L"\"";
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    Check(false, "start " + Utf8(exe));
    return false;
  }
  CloseHandle(info.hThread);
  process = info.hProcess;
  processId = info.dwProcessId;
  WaitForInputIdle(process, 10000);
  return true;
}

void Stop() {
  if (ProcessAlive()) {
    Check(false, "the wizard was still running at the end of the scenario");
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
  }
  if (process != nullptr) CloseHandle(process);
  process = nullptr;
}

// The main window: class, title (the first line of info.txt), bare style, maximized, no menu.
void CheckMainFrame(const std::wstring& title) {
  const HWND frame = FindWindowW(L"KoushinMainFrame", nullptr);
  Check(frame != nullptr, "the main window exists");
  if (frame == nullptr) return;
  const DWORD start = GetTickCount();
  while (TextOf(frame) != title && GetTickCount() - start < kWaitLimitMs) Sleep(50);
  CheckText(TextOf(frame), title, "main window title");
  const LONG style = GetWindowLongW(frame, GWL_STYLE);
  Check((style & (WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0,
        "main window has no sizing border, system menu or boxes");
  Check(IsZoomed(frame) != FALSE, "main window is maximized");
  Check(GetMenu(frame) == nullptr, "main window has no menu");
}

// -------------------------------------------------------------------------------------------
// Scenarios. Each starts the wizard, walks it, and leaves it ended.

struct Setup {
  std::wstring exe;                // koushin.exe in the media folder
  std::vector<std::wstring> args;  // scenario arguments
};

const wchar_t kCaptionMaster[] = L"マスタ調整機能付";
const wchar_t kCaptionUpdate[] = L"アップデート";

// Starts the wizard and goes on from the notice to the destination; nullptr when either does not
// come (the wizard is then stopped).
HWND StartToDestination(const Setup& setup) {
  if (!Start(setup.exe)) return nullptr;
  const HWND notice = WaitFor(kNotice);
  if (notice == nullptr) {
    Stop();
    return nullptr;
  }
  Click(notice, 1);
  const HWND destination = WaitFor(kDestination, notice);
  if (destination == nullptr) Stop();
  return destination;
}

// Back from the destination to the notice, cancelled there: the wizard ends.
void BackAndCancel(HWND destination) {
  Click(destination, 1008);
  const HWND notice = WaitFor(kNotice, destination);
  if (notice == nullptr) return Stop();
  Click(notice, 2);
  WaitForExit();
  Stop();
}

// A text given on one scenario line: "\n" in it stands for CR LF, as the wizard's multi-line
// texts hold it. Only such texts go through here; a path may well hold "\new" or "\tmp".
std::wstring WithLineBreaks(std::wstring text) {
  for (std::size_t at = 0; (at = text.find(L"\\n", at)) != std::wstring::npos; at += 2) {
    text.replace(at, 2, L"\r\n");
  }
  return text;
}

// cancel TITLE NOTICE_TEXT INSTALL_FOLDER (the text with \n for its line breaks): the notice
// cancelled; nothing is written, and no other dialog shows.
void ScenarioCancel(const Setup& setup) {
  std::map<std::wstring, std::string> before, after;
  Snapshot(setup.args.at(2), &before);
  if (!Start(setup.exe)) return;
  HWND notice = WaitFor(kNotice);
  if (notice == nullptr) return Stop();
  CheckMainFrame(setup.args.at(0));
  CheckText(TextOf(notice), kCaptionMaster, "notice caption with masterAdjust 1");
  CheckText(TextOf(GetDlgItem(notice, 1006)), WithLineBreaks(setup.args.at(1)), "notice text");
  CheckText(TextOf(GetDlgItem(notice, 1)), L"開始", "start button");
  Shot("notice");
  // Command 57664 reaches the about box (no menu entry does); it opens over the notice.
  PostMessageW(FindWindowW(L"KoushinMainFrame", nullptr), WM_COMMAND, 57664, 0);
  const HWND about = WaitFor(kAbout);
  if (about != nullptr) {
    CheckText(TextOf(GetDlgItem(about, 1)), L"OK", "about box button");
    HWND version = FindWindowExW(about, nullptr, L"Static", L"koushin Version 3.0");
    Check(version != nullptr && (GetWindowLongW(version, GWL_STYLE) & WS_GROUP) != 0,
          "about box: the version text starts a group");
    Shot("about");
    Click(about, 1);
    notice = WaitFor(kNotice, about);
    if (notice == nullptr) return Stop();
  }
  Click(notice, 2);
  WaitForExit();
  Stop();
  Snapshot(setup.args.at(2), &after);
  Check(!before.empty() && before == after, "nothing was written into the installation");
}

// caption WANT SHOT: the notice's caption for this media; Esc ends the wizard.
// invalid MESSAGE INSTALL_FOLDER SHOT: media that cannot be used: the message, then the end, with
// nothing written. Each scenario names its own screenshot: a name already taken would let the
// driver go on before the picture is made.
void ScenarioInvalid(const Setup& setup) {
  std::map<std::wstring, std::string> before, after;
  Snapshot(setup.args.at(1), &before);
  if (!Start(setup.exe)) return;
  const HWND message = WaitFor(kMessage);
  if (message == nullptr) return Stop();
  CheckText(TextOf(message), L"エラー", "invalid info.txt: message caption");
  CheckText(TextOf(GetDlgItem(message, 0xFFFF)), setup.args.at(0), "invalid info.txt: message");
  Shot(Utf8(setup.args.at(2)));
  Click(message, 1);
  WaitForExit();
  Stop();
  Snapshot(setup.args.at(1), &after);
  Check(!before.empty() && before == after, "nothing was written into the installation");
}

// caption WANT SHOT: the notice's caption for this media; Esc ends the wizard.
void ScenarioCaption(const Setup& setup) {
  if (!Start(setup.exe)) return;
  const HWND notice = WaitFor(kNotice);
  if (notice == nullptr) return Stop();
  CheckText(TextOf(notice), setup.args.at(0), "notice caption");
  Shot(Utf8(setup.args.at(1)));
  PressKey(notice, VK_ESCAPE);
  WaitForExit();
  Stop();
}

// nextbacknext DEFAULT_FOLDER: next, back, next keeps the folder; Esc in the destination goes
// back to the notice; Enter starts from the notice.
void ScenarioNextBackNext(const Setup& setup) {
  const std::wstring folder = setup.args.at(0);
  HWND destination = StartToDestination(setup);
  if (destination == nullptr) return;
  CheckText(TextOf(destination), kCaptionUpdate, "destination caption");
  CheckText(TextOf(GetDlgItem(destination, 1005)), folder, "folder field on first opening");
  Check(ListItems(destination, 1003).empty(), "folder list empty until a drive is chosen");
  TypeInto(destination, 1005, L"C:\\ELSEWHERE");
  CheckText(TextOf(GetDlgItem(destination, 1005)), L"C:\\ELSEWHERE", "typed folder");
  Click(destination, 1008);
  HWND notice = WaitFor(kNotice, destination);
  if (notice == nullptr) return Stop();
  PressKey(notice, VK_RETURN);
  destination = WaitFor(kDestination, notice);
  if (destination == nullptr) return Stop();
  CheckText(TextOf(GetDlgItem(destination, 1005)), folder, "folder kept after back");
  Shot("destination");
  PressKey(destination, VK_ESCAPE);
  notice = WaitFor(kNotice, destination);
  if (notice == nullptr) return Stop();
  Check(true, "Esc in the destination returns to the notice");
  Click(notice, 2);
  WaitForExit();
  Stop();
}

// browse DRIVE_ITEM FOLDER_ITEM SUBFOLDER_ITEM ROOT ENTERED UP: choose a drive, enter a folder,
// go up with [..], then next to the confirmation, back, and the folder is the confirmed one.
void ScenarioBrowse(const Setup& setup) {
  const std::wstring drive = setup.args.at(0), folder = setup.args.at(1),
                     subfolder = setup.args.at(2), root = setup.args.at(3),
                     entered = setup.args.at(4);
  HWND destination = StartToDestination(setup);
  if (destination == nullptr) return;
  if (!SelectItem(destination, 1002, drive)) return Stop();
  CheckText(TextOf(GetDlgItem(destination, 1005)), root, "field after choosing the drive");
  const auto rootItems = ListItems(destination, 1003);
  Check(!rootItems.empty() && rootItems.front() == L"[..]",
        "folder list starts with [..]: " + Utf8(Joined(rootItems)));
  if (!SelectItem(destination, 1003, folder)) return Stop();
  CheckText(TextOf(GetDlgItem(destination, 1005)), entered, "field after entering the folder");
  const auto inner = ListItems(destination, 1003);
  Check(inner.size() == 2 && inner[1] == subfolder,
        "entered folder's list: " + Utf8(Joined(inner)));
  Shot("destination-browse");
  if (!SelectItem(destination, 1003, L"[..]")) return Stop();
  CheckText(TextOf(GetDlgItem(destination, 1005)), setup.args.at(5), "field after [..]");
  if (!SelectItem(destination, 1003, folder)) return Stop();
  Click(destination, 1);
  HWND confirm = WaitFor(kConfirm, destination);
  if (confirm == nullptr) return Stop();
  CheckText(TextOf(confirm), kCaptionUpdate, "confirmation caption");
  CheckText(TextOf(GetDlgItem(confirm, 1006)), entered, "confirmation shows the folder");
  // "C:\R&D" must not show as "C:\RD" with D underlined.
  Check((GetWindowLongW(GetDlgItem(confirm, 1006), GWL_STYLE) & SS_NOPREFIX) != 0,
        "the confirmation's folder text takes '&' as it is");
  Shot("confirm");
  Click(confirm, 2);
  destination = WaitFor(kDestination, confirm);
  if (destination == nullptr) return Stop();
  CheckText(TextOf(GetDlgItem(destination, 1005)), entered,
            "destination gets the confirmed folder");
  BackAndCancel(destination);
}

// prefill WANT: the folder field shows the folder of the registry's uninstall entry.
void ScenarioPrefill(const Setup& setup) {
  HWND destination = StartToDestination(setup);
  if (destination == nullptr) return;
  CheckText(TextOf(GetDlgItem(destination, 1005)), setup.args.at(0),
            "folder field prefilled from the uninstall entry");
  Shot("destination-prefill");
  BackAndCancel(destination);
}

// update WRONG_FOLDER RIGHT_FOLDER ERROR_TEXT DONE_TEXT: a folder without an installation fails
// the check (its message, then the destination again); the right folder is updated and the
// wizard ends after its success message.
void ScenarioUpdate(const Setup& setup) {
  const std::wstring wrong = setup.args.at(0), right = setup.args.at(1);
  HWND destination = StartToDestination(setup);
  if (destination == nullptr) return;
  TypeInto(destination, 1005, wrong);
  PressKey(destination, VK_RETURN);
  HWND confirm = WaitFor(kConfirm, destination);
  if (confirm == nullptr) return Stop();
  CheckText(TextOf(GetDlgItem(confirm, 1006)), wrong, "confirmation shows the typed folder");
  Click(confirm, 1);
  HWND message = WaitFor(kMessage, confirm);
  if (message == nullptr) return Stop();
  CheckText(TextOf(message), L"エラー", "failed check: message caption");
  CheckText(TextOf(GetDlgItem(message, 0xFFFF)), setup.args.at(2), "failed check: message text");
  Shot("update-error");
  Click(message, 1);
  destination = WaitFor(kDestination, message);
  if (destination == nullptr) return Stop();
  Check(true, "the destination opens again after the failed check");
  TypeInto(destination, 1005, right);
  Click(destination, 1);
  confirm = WaitFor(kConfirm, destination);
  if (confirm == nullptr) return Stop();
  PressKey(confirm, VK_RETURN);
  // Messages until the success message; a disk prompt would be answered with OK.
  for (int i = 0; i < 5; ++i) {
    message = WaitFor(kMessage, confirm);
    if (message == nullptr) return Stop();
    const std::wstring text = TextOf(GetDlgItem(message, 0xFFFF));
    if (text == setup.args.at(3)) {
      CheckText(TextOf(message), L"確認", "success message caption");
      Shot("update-done");
      Click(message, 1);
      break;
    }
    Print("note message: " + Utf8(text));
    Shot("update-progress");
    Click(message, 1);
    confirm = message;
  }
  WaitForExit();
  Stop();
}

// restore INSTALL_FOLDER RESTORED_TEXT: the update stops on a damaged archive; after its message
// the wizard puts the installation back and says so.
void ScenarioRestore(const Setup& setup) {
  HWND destination = StartToDestination(setup);
  if (destination == nullptr) return;
  TypeInto(destination, 1005, setup.args.at(0));
  Click(destination, 1);
  HWND previous = WaitFor(kConfirm, destination);
  if (previous == nullptr) return Stop();
  PressKey(previous, VK_RETURN);
  bool restored = false;
  for (int i = 0; i < 5 && !restored; ++i) {
    const HWND message = WaitFor(kMessage, previous);
    if (message == nullptr) return Stop();
    const std::wstring text = TextOf(GetDlgItem(message, 0xFFFF));
    if (text == setup.args.at(1)) {
      CheckText(TextOf(message), L"確認", "restore message caption");
      Shot("update-restored");
      restored = true;
    } else {
      Print("note message: " + Utf8(text));
    }
    Click(message, 1);
    previous = message;
  }
  Check(restored, "the restore message follows the failure");
  WaitForExit();
  Stop();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    Print("usage: driver.exe SHOT_FOLDER SCENARIO_FILE");
    return 100;
  }
  shotFolder = argv[1];
  const std::map<std::wstring, std::function<void(const Setup&)>> scenarios = {
      {L"cancel", ScenarioCancel},
      {L"caption", ScenarioCaption},
      {L"nextbacknext", ScenarioNextBackNext},
      {L"browse", ScenarioBrowse},
      {L"prefill", ScenarioPrefill},
      {L"update", ScenarioUpdate},
      {L"invalid", ScenarioInvalid},
      {L"restore", ScenarioRestore},
  };
  // One scenario a line, UTF-8, fields separated by TABs: NAME KOUSHIN_EXE ARGS...
  std::ifstream file(argv[2], std::ios::binary);
  if (!file) {
    Print("cannot read the scenario file");
    return 100;
  }
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::wstring> fields;
    std::size_t from = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(Wide(line.substr(from, tab - from)));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    const auto found = scenarios.find(fields[0]);
    if (found == scenarios.end() || fields.size() < 2) {
      Check(false, "scenario line: " + line);
      continue;
    }
    Print("== " + Utf8(fields[0]));
    Setup setup{fields[1], std::vector<std::wstring>(fields.begin() + 2, fields.end())};
    try {
      found->second(setup);
    } catch (const std::exception& error) {
      Check(false, std::string("scenario arguments: ") + error.what());
      Stop();
    }
  }
  return failures;
}
