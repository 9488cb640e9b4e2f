// The scripted person at the screen for the Windows wizard: a Win32 program that starts
// koushin.exe under Wine, finds its dialogs by their controls, reads their texts, clicks buttons,
// selects list items, types into the folder field and presses Esc and Enter.
//
// usage: driver.exe SHOT_FOLDER SCENARIO_FILE   (Windows paths). The file names one scenario a
// line; one start of the driver runs them all, which keeps Wine starts few. It prints "SHOT <name>"
// when the screen is to be photographed and waits until SHOT_FOLDER\<name>.png exists (test-gui.sh
// takes the picture from X). It prints "ok ..." and "FAIL ..." lines and exits with the number of
// failures.
#include <windows.h>

#include "resource.h"  // the wizard's control ids

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// The wizard's dialog templates; kMessage is a message box.
enum Kind { kMessage = 0, kAbout = 100, kDestination = 130, kNotice = 132, kConfirm = 133 };
constexpr DWORD kWaitLimitMs = 30000;  // a window that does not come in this time is a failure

int failures = 0;
std::wstring shotFolder;
HANDLE process = nullptr;
DWORD processId = 0;
HANDLE holder = nullptr;  // a program of the installed suite holding one of its files

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

bool Check(bool good, const std::string& what) {
  if (!good) ++failures;
  Print(std::string(good ? "ok   " : "FAIL ") + what);
  return good;
}

// One line for the log: CR LF shown as \n.
std::string Shown(std::wstring text) {
  for (std::size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;)
    text.replace(at, 2, L"\\n");
  return Utf8(text);
}

void CheckText(const std::wstring& got, const std::wstring& want, const std::string& what) {
  Check(got == want,
        what + ": \"" + Shown(got) + "\"" + (got == want ? "" : " want \"" + Shown(want) + "\""));
}

// A message to a window of the other process; a hung one answers 0 after 10 seconds.
DWORD_PTR Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 10000, &result);
  return result;
}

// Texts of windows of the other process, through WM_GETTEXT (which Windows carries across).
std::wstring TextOf(HWND window) {
  if (window == nullptr) return L"<no window>";
  std::vector<wchar_t> buffer(Send(window, WM_GETTEXTLENGTH) + 2, L'\0');
  const DWORD_PTR got =
      Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data(), got);
}

// The text of a dialog's control.
std::wstring ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }
std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

// The kind of a dialog of the wizard by its controls; -1 for anything else.
int KindOf(HWND dialog) {
  if (ClassOf(dialog) != L"#32770") return -1;
  if (TextOf(dialog).rfind(L"ﾊﾞｰｼﾞｮﾝ情報", 0) == 0) return kAbout;
  if (GetDlgItem(dialog, IDC_DRIVE_LIST) != nullptr) return kDestination;
  const HWND text = GetDlgItem(dialog, IDC_TEXT);
  if (text != nullptr && GetDlgItem(dialog, IDC_PICTURE) != nullptr) {
    return _wcsicmp(ClassOf(text).c_str(), L"Edit") == 0 ? kNotice : kConfirm;
  }
  return kMessage;
}

// A visible dialog of this kind of the wizard's process, or nullptr.
HWND FindDialog(int kind) {
  std::pair<int, HWND> search{kind, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* search = reinterpret_cast<std::pair<int, HWND>*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != processId || !IsWindowVisible(window) || KindOf(window) != search->first) {
          return TRUE;
        }
        search->second = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// Waits for a dialog of the kind to show, and for the previous one to be gone; one that does not
// come ends the scenario.
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
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) break;  // the wizard ended
    Sleep(50);
  }
  throw std::runtime_error("dialog " + std::to_string(kind) + " appears (0: a message box)");
}

void WaitForFile(const std::wstring& file, const std::string& what) {
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kWaitLimitMs) throw std::runtime_error(what);
    Sleep(50);
  }
}

void Shot(const std::string& name) {
  Print("SHOT " + name);
  WaitForFile(shotFolder + L"\\" + Wide(name) + L".png", "screenshot " + name);
}

void Click(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) throw std::runtime_error("button " + std::to_string(id) + " exists");
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
  Send(edit, EM_SETSEL, 0, -1);
  Send(edit, WM_CHAR, VK_BACK, 0);
  for (wchar_t ch : text) Send(edit, WM_CHAR, ch, 1);
}

// The items of a list box.
std::vector<std::wstring> Items(HWND dialog, int id) {
  const HWND list = GetDlgItem(dialog, id);
  std::vector<std::wstring> items;
  const DWORD_PTR count = Send(list, LB_GETCOUNT);
  for (DWORD_PTR i = 0; i < count && static_cast<LONG_PTR>(count) >= 0; ++i) {
    std::vector<wchar_t> buffer(Send(list, LB_GETTEXTLEN, i) + 2, L'\0');
    Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
    items.emplace_back(buffer.data());
  }
  return items;
}

// The items of a list box, joined by spaces.
std::wstring ListItems(HWND dialog, int id) {
  std::wstring all;
  for (const std::wstring& item : Items(dialog, id)) all += (all.empty() ? L"" : L" ") + item;
  return all;
}

// Selects the item with this text as the user would: LB_SETCURSEL, then the notification.
void SelectItem(HWND dialog, int id, const std::wstring& text) {
  const std::vector<std::wstring> items = Items(dialog, id);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] != text) continue;
    const HWND list = GetDlgItem(dialog, id);
    Send(list, LB_SETCURSEL, i);
    Send(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return;
  }
  throw std::runtime_error("list " + std::to_string(id) + " holds " + Utf8(text) + " (has " +
                           Utf8(ListItems(dialog, id)) + ")");
}

// Starts a program in its own folder; its process id in `id`.
HANDLE Launch(const std::wstring& exe, const std::wstring& arguments, DWORD* id = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + exe + L"\"" + arguments;
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    throw std::runtime_error("start " + Utf8(exe));
  }
  CloseHandle(info.hThread);
  if (id != nullptr) *id = info.dwProcessId;
  return info.hProcess;
}

void Start(const std::wstring& exe) {
  process = Launch(exe, L"", &processId);
  WaitForInputIdle(process, 10000);
}

void StopHolder() {
  if (holder == nullptr) return;
  TerminateProcess(holder, 0);
  WaitForSingleObject(holder, 5000);
  CloseHandle(holder);
  holder = nullptr;
}

// Starts HOLDER_EXE holding FILE open without sharing (tests/console/holder.cpp), and waits
// until it holds it.
void StartHolder(const std::wstring& exe, const std::wstring& file) {
  const std::wstring ready = shotFolder + L"\\holder.ready";
  DeleteFileW(ready.c_str());
  holder = Launch(exe, L" \"" + file + L"\" \"" + ready + L"\"");
  WaitForFile(ready, "the holder holds " + Utf8(file));
}

// The end of every scenario: the wizard must end by itself; one still running is stopped.
void End() {
  StopHolder();
  if (process == nullptr) return;
  if (!Check(WaitForSingleObject(process, kWaitLimitMs) == WAIT_OBJECT_0, "the wizard ends")) {
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
  process = nullptr;
}

// The main window: class, title (the first line of info.txt), bare style, maximized, no menu.
void CheckMainFrame(const std::wstring& title) {
  const HWND frame = FindWindowW(L"KoushinMainFrame", nullptr);
  if (frame == nullptr) throw std::runtime_error("the main window exists");
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
// Scenarios. Each is given the fields of its line after its name, koushin.exe first; it starts
// the wizard and walks it to its end. test-gui.sh checks that the older installation C:\TAMIRO
// is left untouched by them all.
using Args = std::vector<std::wstring>;

const wchar_t kCaptionUpdate[] = L"アップデート";

// A text given on one scenario line: "\n" in it stands for CR LF, as the wizard's multi-line
// texts hold it. Only such texts go through here; a path may well hold "\new" or "\tmp".
std::wstring WithLineBreaks(std::wstring text) {
  for (std::size_t at = 0; (at = text.find(L"\\n", at)) != std::wstring::npos; at += 2) {
    text.replace(at, 2, L"\r\n");
  }
  return text;
}

// cancel EXE TITLE NOTICE_TEXT PREFILLED (the text with \n for its line breaks): the main window
// and the notice with masterAdjust 1, the about box over it; the destination's folder field
// prefilled from the registry's uninstall entry; back, and the notice cancelled.
void ScenarioCancel(const Args& args) {
  Start(args.at(0));
  HWND notice = WaitFor(kNotice);
  CheckMainFrame(args.at(1));
  CheckText(TextOf(notice), L"マスタ調整機能付", "notice caption with masterAdjust 1");
  CheckText(ItemText(notice, IDC_TEXT), WithLineBreaks(args.at(2)), "notice text");
  CheckText(ItemText(notice, IDOK), L"開始", "start button");
  Shot("notice");
  Shot("main-window");
  // Command 57664 reaches the about box (no menu entry does); it opens over the notice.
  PostMessageW(FindWindowW(L"KoushinMainFrame", nullptr), WM_COMMAND, 57664, 0);
  const HWND about = WaitFor(kAbout);
  CheckText(ItemText(about, IDOK), L"OK", "about box button");
  HWND version = FindWindowExW(about, nullptr, L"Static", L"koushin Version 3.0");
  Check(version != nullptr && (GetWindowLongW(version, GWL_STYLE) & WS_GROUP) != 0,
        "about box: the version text starts a group");
  Shot("about");
  Click(about, IDOK);
  notice = WaitFor(kNotice, about);
  Click(notice, IDOK);
  const HWND destination = WaitFor(kDestination, notice);
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), args.at(3),
            "folder field prefilled from the uninstall entry");
  Shot("destination");
  Click(destination, IDC_BACK);
  Click(WaitFor(kNotice, destination), IDCANCEL);
}

// The next message box after `previous`: its caption, its text beginning with `text`, then its
// photograph `shot`. The caller answers it.
HWND NextMessage(HWND previous, const std::wstring& caption, const std::wstring& text,
                 const std::string& shot) {
  const HWND message = WaitFor(kMessage, previous);
  CheckText(TextOf(message), caption, "message caption");
  CheckText(ItemText(message, 0xFFFF).substr(0, text.size()), text, "message");
  Shot(shot);
  return message;
}

// invalid EXE MESSAGE SHOT: media that cannot be used: the error message, then the end. Each
// line names its own screenshot: a name already taken would let the driver go on before the
// picture is made.
void ScenarioInvalid(const Args& args) {
  Start(args.at(0));
  Click(NextMessage(nullptr, L"エラー", args.at(1), Utf8(args.at(2))), IDOK);
}

// Starts the wizard and goes on from the notice to the destination.
HWND StartToDestination(const std::wstring& exe) {
  Start(exe);
  const HWND notice = WaitFor(kNotice);
  Click(notice, IDOK);
  return WaitFor(kDestination, notice);
}

// browse EXE DEFAULT_FOLDER DRIVE_ITEM FOLDER_ITEM SUBFOLDER_ITEMS ROOT ENTERED CAPTION: next,
// back (another folder typed), Enter on the notice: the default folder again. Then choose a
// drive (its root lists FOLDER_ITEM), enter the folder, go up with [..], next to the
// confirmation, back, and the folder is the confirmed one. Esc in the destination goes back to
// the notice, whose caption is CAPTION for this media; Esc there ends the wizard.
void ScenarioBrowse(const Args& args) {
  const std::wstring folder = args.at(3), root = args.at(5), entered = args.at(6);
  HWND destination = StartToDestination(args.at(0));
  CheckText(TextOf(destination), kCaptionUpdate, "destination caption");
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), args.at(1), "folder field on first opening");
  CheckText(ListItems(destination, IDC_FOLDER_LIST), L"", "folder list until a drive is chosen");
  TypeInto(destination, IDC_FOLDER_EDIT, L"C:\\ELSEWHERE");
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), L"C:\\ELSEWHERE", "typed folder");
  Click(destination, IDC_BACK);
  HWND notice = WaitFor(kNotice, destination);
  PressKey(notice, VK_RETURN);
  destination = WaitFor(kDestination, notice);
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), args.at(1), "folder kept after back");
  SelectItem(destination, IDC_DRIVE_LIST, args.at(2));
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), root, "field after choosing the drive");
  const std::wstring rootItems = ListItems(destination, IDC_FOLDER_LIST);
  Check(rootItems.rfind(L"[..] ", 0) == 0 && rootItems.find(L" " + folder) != std::wstring::npos,
        "the root's list: [..] first, " + Utf8(folder) + " among: " + Utf8(rootItems));
  Shot("destination-browse");
  SelectItem(destination, IDC_FOLDER_LIST, folder);
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), entered, "field after entering the folder");
  CheckText(ListItems(destination, IDC_FOLDER_LIST), L"[..] " + args.at(4),
            "entered folder's list");
  SelectItem(destination, IDC_FOLDER_LIST, L"[..]");
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), root, "field after [..]");
  SelectItem(destination, IDC_FOLDER_LIST, folder);
  Click(destination, IDOK);
  const HWND confirm = WaitFor(kConfirm, destination);
  CheckText(TextOf(confirm), kCaptionUpdate, "confirmation caption");
  CheckText(ItemText(confirm, IDC_TEXT), entered, "confirmation shows the folder");
  // "C:\R&D" must not show as "C:\RD" with D underlined.
  Check((GetWindowLongW(GetDlgItem(confirm, IDC_TEXT), GWL_STYLE) & SS_NOPREFIX) != 0,
        "the confirmation's folder text takes '&' as it is");
  Click(confirm, IDCANCEL);
  destination = WaitFor(kDestination, confirm);
  CheckText(ItemText(destination, IDC_FOLDER_EDIT), entered,
            "destination gets the confirmed folder");
  PressKey(destination, VK_ESCAPE);
  notice = WaitFor(kNotice, destination);
  CheckText(TextOf(notice), args.at(7), "notice caption");
  PressKey(notice, VK_ESCAPE);
}

// update EXE FOLDER CONFIRM_SHOT WRONG_FOLDER ERROR_TEXT HOLDER_EXE HELD_FILE [TEXT SHOT]...:
// the run on FOLDER shows its messages (caption 確認) in the order given, each beginning with its
// TEXT and photographed as its SHOT, and each answered with OK; then the wizard ends. A field "-"
// is not used. With WRONG_FOLDER, a folder without a fitting installation is tried first: it fails
// the check with ERROR_TEXT, and the destination opens again. With HOLDER_EXE, that program holds
// HELD_FILE open from the start; it is ended when a message names it (or the file), before that
// message's OK. restore: the same on media whose run stops.
void ScenarioUpdate(const Args& args) {
  const auto given = [&](std::size_t i) { return args.at(i) != L"-"; };
  if (given(5)) StartHolder(args.at(5), args.at(6));
  HWND destination = StartToDestination(args.at(0));
  if (given(3)) {
    TypeInto(destination, IDC_FOLDER_EDIT, args.at(3));
    PressKey(destination, VK_RETURN);
    const HWND confirm = WaitFor(kConfirm, destination);
    CheckText(ItemText(confirm, IDC_TEXT), args.at(3), "confirmation shows the typed folder");
    Click(confirm, IDOK);
    const HWND message = NextMessage(confirm, L"エラー", args.at(4), "update-error");
    Click(message, IDOK);
    destination = WaitFor(kDestination, message);
  }
  TypeInto(destination, IDC_FOLDER_EDIT, args.at(1));
  Click(destination, IDOK);
  HWND previous = WaitFor(kConfirm, destination);
  CheckText(ItemText(previous, IDC_TEXT), args.at(1), "confirmation shows the folder");
  if (given(2)) Shot(Utf8(args.at(2)));
  PressKey(previous, VK_RETURN);
  const std::wstring holderName = args.at(5).substr(args.at(5).find_last_of(L'\\') + 1);
  for (std::size_t i = 7; i + 1 < args.size(); i += 2) {
    const HWND message = NextMessage(previous, L"確認", args[i], Utf8(args[i + 1]));
    const std::wstring text = ItemText(message, 0xFFFF);
    // The program is named by its name, or by the file when its name cannot be had.
    if (holder != nullptr && (text.find(holderName) != std::wstring::npos ||
                              text.find(args.at(6)) != std::wstring::npos)) {
      Print("ok   the message names the program or the file it holds");
      StopHolder();
    }
    Click(message, IDOK);
    previous = message;
  }
  if (given(5)) Check(holder == nullptr, "a message named the program or the file it holds");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // One scenario a line, UTF-8, fields separated by TABs: NAME KOUSHIN_EXE ARGS...
  std::ifstream file(argc == 3 ? argv[2] : L"", std::ios::binary);
  if (!file) {
    Print("usage: driver.exe SHOT_FOLDER SCENARIO_FILE");
    return 100;
  }
  shotFolder = argv[1];
  const std::map<std::string, std::function<void(const Args&)>> scenarios = {
      {"cancel", ScenarioCancel}, {"invalid", ScenarioInvalid}, {"browse", ScenarioBrowse},
      {"update", ScenarioUpdate}, {"restore", ScenarioUpdate},
  };
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string name, field;
    std::getline(fields, name, '\t');
    Args args;
    while (std::getline(fields, field, '\t')) args.push_back(Wide(field));
    const auto found = scenarios.find(name);
    if (found == scenarios.end() || args.empty()) {
      Check(false, "scenario line: " + line);
      continue;
    }
    Print("== " + name);
    try {
      found->second(args);
    } catch (const std::exception& error) {  // a dialog that did not come, or a missing field
      Check(false, error.what());
    }
    End();
  }
  return failures;
}
