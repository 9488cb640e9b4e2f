#include "destination_dialog.h"

#include <vector>

#include "../../res/resource.h"
#include "picture_frame.h"
#include "wide_text.h"
#include "wizard_app.h"

namespace koushin::win32 {

DestinationDialog::DestinationDialog() : Dialog(IDD_DESTINATION) {}

std::string DestinationDialog::ListItemText(int listId, int index) const {
  const HWND list = Item(listId);
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return std::string();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(buffer.data()));
  if (got == LB_ERR) return std::string();
  return Cp932FromWide(std::wstring_view(buffer.data(), static_cast<std::size_t>(got)));
}

void DestinationDialog::MirrorFolderField() {
  mirroring_ = true;
  SetItemText(IDC_FOLDER_EDIT, FolderField());
  mirroring_ = false;
}

void DestinationDialog::MirrorFolderList() {
  const HWND list = Item(IDC_FOLDER_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  // The control sorts the items itself, as it is a sorted list box.
  for (const std::string& item : FolderItems()) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromCp932(item).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

BOOL DestinationDialog::OnInitDialog() {
  Open();
  const HWND drives = Item(IDC_DRIVE_LIST);
  for (const std::string& item : DriveItems()) {
    SendMessageW(drives, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromCp932(item).c_str()));
  }
  MirrorFolderField();
  SetItemText(IDC_TEXT, destinationText);
  return TRUE;
}

void DestinationDialog::OnSelchangeDriveList() {
  const int selected = static_cast<int>(SendMessageW(Item(IDC_DRIVE_LIST), LB_GETCURSEL, 0, 0));
  if (selected == LB_ERR) return;
  const int index = FindDriveItem(ListItemText(IDC_DRIVE_LIST, selected));
  if (index < 0) return;
  WaitCursor wait;
  SelectDrive(index);
  MirrorFolderField();
  MirrorFolderList();
}

void DestinationDialog::OnSelchangeFolderList() {
  const int selected = static_cast<int>(SendMessageW(Item(IDC_FOLDER_LIST), LB_GETCURSEL, 0, 0));
  if (selected == LB_ERR) return;
  const int index = FindFolderItem(ListItemText(IDC_FOLDER_LIST, selected));
  if (index < 0) return;
  WaitCursor wait;
  SelectFolder(index);
  MirrorFolderField();
  MirrorFolderList();
}

void DestinationDialog::OnOK() {
  SetFolderField(ItemText(IDC_FOLDER_EDIT));
  EndDialog(Next());
}

void DestinationDialog::OnCancel() { EndDialog(Cancel()); }

bool DestinationDialog::OnCommand(int id, int notifyCode) {
  switch (id) {
    case IDC_DRIVE_LIST:
      if (notifyCode == LBN_SELCHANGE) OnSelchangeDriveList();
      return true;
    case IDC_FOLDER_LIST:
      // One selection change enters the folder at once; a double click does it again.
      if (notifyCode == LBN_SELCHANGE || notifyCode == LBN_DBLCLK) OnSelchangeFolderList();
      return true;
    case IDC_FOLDER_EDIT:
      if (notifyCode == EN_CHANGE && !mirroring_) SetFolderField(ItemText(IDC_FOLDER_EDIT));
      return true;
    case IDC_BACK:
      if (notifyCode == BN_CLICKED) EndDialog(Back());
      return true;
    default:
      return false;
  }
}

bool DestinationDialog::OnPaint() {
  PaintPictureFrame(Handle(), SourceFolder() + destinationBitmap);
  return true;
}

}  // namespace koushin::win32
