// A thin window layer over Win32: a window class whose messages reach virtual handlers of a C++
// object, and a modal dialog class run from a template. Only what the wizard needs.
#pragma once

#include <windows.h>

#include <string>

namespace koushin::win32 {

// An overlapped or child window bound to a C++ object for its whole life.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_; }

 protected:
  // Registers the window class once per process. `background` may be null (the window paints it).
  static bool RegisterClassOnce(const wchar_t* className, HICON icon, HBRUSH background);
  // Creates the window; the object receives WM_CREATE already bound. False when creation failed.
  bool CreateOf(const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                int width, int height, HWND parent, HMENU menuOrId);
  // Every message of the window. The default hands it to DefWindowProcW.
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
  // Posts WM_COMMAND with a command id and no extra value to this window.
  void PostCommand(int id) const;

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

// A modal dialog from a template in the program's resources.
class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Shows the dialog modally, owned by `owner` (which is disabled meanwhile). Returns the end
  // code, or -1 when the dialog cannot be created.
  INT_PTR DoModal(HWND owner);
  HWND Handle() const { return hwnd_; }

 protected:
  // WM_INITDIALOG. TRUE lets the dialog manager focus the first tab stop.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Button 1 or Enter: ends with 1.
  virtual void OnOK() { EndDialog(IDOK); }
  // Button 2 or Esc: ends with 2.
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // WM_COMMAND other than 1 and 2; true when handled.
  virtual bool OnCommand(int id, int notifyCode) { return false; }
  // WM_PAINT; true when handled.
  virtual bool OnPaint() { return false; }

  void EndDialog(INT_PTR code);
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  // Texts of controls, in code page 932.
  void SetItemText(int id, const std::string& cp932) const;
  std::string ItemText(int id) const;
  void SetCaption(const std::wstring& caption) const;
  // Moves the dialog to the centre of its owner (of the screen when it has none).
  void CenterOverOwner() const;

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  int templateId_;
  HWND hwnd_ = nullptr;
};

// Shows the hourglass for as long as it lives.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace koushin::win32
