// The second screen: the installation folder, prefilled from the uninstall entry, browsed by
// drive and folder lists or typed (template 130). The browsing logic is the wizard's own
// DestinationScreen; the dialog mirrors its state into the controls and feeds it the user's acts.
#pragma once

#include "window.h"
#include "wizard/destination_screen.h"

namespace koushin::win32 {

class DestinationDialog : public Dialog, public wizard::DestinationScreen {
 public:
  DestinationDialog();

 protected:
  BOOL OnInitDialog() override;
  // "次へ" / Enter: the field's text as it stands becomes installFolder; ends with 1.
  void OnOK() override;
  // Esc: ends with 2.
  void OnCancel() override;
  bool OnCommand(int id, int notifyCode) override;
  bool OnPaint() override;

 private:
  void OnSelchangeDriveList();
  void OnSelchangeFolderList();
  void MirrorFolderField();
  void MirrorFolderList();
  // The text of item `index` of a list control, code page 932.
  std::string ListItemText(int listId, int index) const;

  bool mirroring_ = false;  // true while the dialog itself sets the folder field
};

}  // namespace koushin::win32
