// The destination screen's logic, without a toolkit: the folder field, the drive list, the folder
// list and their selections, and one method per user action. The Windows dialog and the console
// both drive this class and only mirror its state into their controls.
//
// Browsing works as the C run-time library's drive functions do, through the port: opening the
// screen sets the current drive's folder to its root; choosing a drive makes it current at its
// root; entering a folder moves that drive's current folder. Every way out makes the drive that
// was current at opening (`savedDrive`) current again; the per-drive folders are not restored.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "description/update_description.h"

namespace koushin::wizard {

// Working-field limits of the screen. An input longer than its field is refused (never cut).
constexpr std::size_t kUninstallValueLimit = 255;  // the "UninstallString" value, in bytes
constexpr std::size_t kRemainderLimit = 63;        // the text after " -f", before the cut at " -"
constexpr std::size_t kDirectoryLimit = 63;        // the directory part of that remainder
constexpr std::size_t kFolderNameLimit = 255;      // one folder name in the folder table
constexpr std::size_t kCurrentFolderLimit = 255;   // the current folder shown after entering one
constexpr int kFolderSlots = 1000;                 // ".." and at most 999 folder names

// The registry key below HKEY_LOCAL_MACHINE under which the uninstall keys are looked up.
extern const char
    kUninstallKeyPrefix[];  // "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

// Derives the installation folder from an uninstall command line such as
// C:\UNINST.EXE -fC:\APPS\EST\SETUP.LOG -y: the text after the first " -f" (case-sensitive), cut
// at its first " -", split into drive and directory (quotes are kept), stored back into
// `valueText` as drive + directory ("C:\APPS\EST\") and 1 returned. Returns 0 and leaves the text
// unchanged when there is no " -f", and also (refusing instead of cutting) when the value is
// longer than kUninstallValueLimit, the remainder before the cut longer than kRemainderLimit, or
// the directory longer than kDirectoryLimit. All searches step over double-byte characters.
int ParseUninstallString(std::string& valueText);

// Lists the folders that `searchSpec` ("c:\\*.*", "c:.\\*.*") matches into `table`: slot 0 is
// always "..", then the folder names (names only; "." and ".." and files skipped) in the order the
// search delivers them, until kFolderSlots slots are used. A name longer than kFolderNameLimit
// bytes does not fit a slot and is left out. Returns the count (at least 1).
int ListSubfolders(const std::string& searchSpec, std::vector<std::string>* table);

// The order of the sorted folder list: items compare byte by byte with the single-byte ASCII
// letters folded to lower case (double-byte characters, their trail bytes included, are compared
// as they are); items equal but for case keep a stable order by their raw bytes. Lower-case
// folding puts "[..]" and names with '_' first and "[ab]" before "[abc]", close to what a sorted
// Windows list box shows. A front end whose list control sorts by its own rules finds items by
// their text (FindFolderItem), never by position.
bool FolderItemLess(const std::string& a, const std::string& b);

class DestinationScreen {
 public:
  // Set by the sequencer before Open, from the record's fields of the same names.
  std::array<std::string, description::kMaxKeys> uninstallKeys;
  std::string destinationText;  // CR LF line breaks already in place
  std::string installFolder;    // on entry the folder to show; after Next() the field's text
  std::string destinationBitmap;

  // The screen opens: remember the current drive, set its folder to its root, fill the drive
  // list (nothing selected), put `installFolder` into the field, then PrefillFromUninstallEntry.
  // The folder list stays empty until a drive is chosen.
  void Open();

  // -- State for the controls -----------------------------------------------------------------
  const std::string& FolderField() const { return folderField_; }
  // Items "[-c-]" of the available drives, in drive order (an unsorted list).
  const std::vector<std::string>& DriveItems() const { return driveItems_; }
  // Items "[..]", "[name]", kept in FolderItemLess order (a sorted list).
  const std::vector<std::string>& FolderItems() const { return folderItems_; }
  int DriveSelection() const { return driveSelection_; }    // -1: none
  int FolderSelection() const { return folderSelection_; }  // -1: none
  int SavedDrive() const { return savedDrive_; }            // 1 = A:

  // -- User actions ---------------------------------------------------------------------------
  // The user edits the field; whatever is typed is taken later without any test.
  void SetFolderField(const std::string& text) { folderField_ = text; }
  // Selects drive item `index` (-1 clears the selection) and runs OnSelchangeDriveList.
  void SelectDrive(int index);
  // Selects folder item `index` (-1 clears) and runs OnDblclkFolderList: one selection change
  // enters the folder at once, as the dialog does.
  void SelectFolder(int index);
  // Index of an item by its text, or -1; for a list control whose own order differs.
  int FindDriveItem(const std::string& item) const;
  int FindFolderItem(const std::string& item) const;

  // The ways out. Each makes `savedDrive` current again and returns the end code.
  int Next();    // "次へ" / Enter: installFolder = the field's text exactly; kEndOk
  int Back();    // "戻る": installFolder unchanged; kEndBack
  int Cancel();  // Esc: installFolder unchanged; kEndCancel

  // -- The steps, public so that front ends and tests can run them as the dialog does ---------
  // Tries uninstallKeys in order (stopping at the first empty name and at the first key that
  // opens, even when its value cannot be read); on a folder found, drops one final '\\' and puts
  // the result into the field (even when empty). Otherwise the field keeps its text.
  void PrefillFromUninstallEntry();
  // With a drive selected: changes to its root (result ignored), puts "c:\\" into the field and
  // fills the folder list with "\\*.*".
  void OnSelchangeDriveList();
  // With a drive and a folder selected: changes to "c:name" (relative to that drive's current
  // folder; result ignored), puts the full current folder into the field (left as it is when
  // longer than kCurrentFolderLimit) and fills the folder list with ".\\*.*".
  void OnDblclkFolderList();
  // Empties the folder list (and its selection) and fills it from ListSubfolders on
  // "<letter>:<pattern>", items "[name]" in sorted order.
  void FillFolderList(const std::string& driveItem, const std::string& pattern);

 private:
  void RestoreDrive();

  std::string folderField_;
  std::vector<std::string> driveItems_;
  std::vector<std::string> folderItems_;
  int driveSelection_ = -1;
  int folderSelection_ = -1;
  int savedDrive_ = 0;
};

}  // namespace koushin::wizard
