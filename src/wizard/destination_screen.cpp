#include "wizard/destination_screen.h"

#include <algorithm>

#include "port/port.h"
#include "text/cp932.h"
#include "text/path.h"
#include "wizard/screens.h"

namespace koushin::wizard {

const char kUninstallKeyPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

namespace {

const char kValueName[] = "UninstallString";

// The sort key of a list item: single-byte ASCII letters in lower case, double-byte characters
// as they are (a trail byte may look like a letter and must stay).
std::string FoldForSort(const std::string& item) {
  std::string folded;
  folded.reserve(item.size());
  for (std::size_t pos = 0; pos < item.size();) {
    const std::size_t length = text::CharLength(item, pos);
    if (length == 1 && item[pos] >= 'A' && item[pos] <= 'Z') {
      folded += static_cast<char>(item[pos] - 'A' + 'a');
    } else {
      folded.append(item, pos, length);
    }
    pos += length;
  }
  return folded;
}

char DriveLetterOf(const std::string& driveItem) {
  // Items are "[-c-]": the letter is the third character.
  return driveItem.size() >= 3 ? driveItem[2] : '\0';
}

}  // namespace

int ParseUninstallString(std::string& valueText) {
  if (valueText.size() > kUninstallValueLimit) return 0;
  const std::size_t flag = text::FindAtCharBoundary(valueText, " -f");
  if (flag == std::string::npos) return 0;
  std::string remainder = valueText.substr(flag + 3);
  if (remainder.size() > kRemainderLimit) return 0;
  const std::size_t cut = text::FindAtCharBoundary(remainder, " -");
  if (cut != std::string::npos) remainder.resize(cut);
  const text::PathParts parts = text::SplitPath(remainder);
  if (parts.directory.size() > kDirectoryLimit) return 0;
  valueText = parts.drive + parts.directory;
  return 1;
}

int ListSubfolders(const std::string& searchSpec, std::vector<std::string>* table) {
  table->clear();
  table->push_back("..");
  std::vector<port::FoundEntry> entries;
  if (!port::FindEntries(searchSpec, &entries)) return 1;
  for (const port::FoundEntry& entry : entries) {
    if (static_cast<int>(table->size()) >= kFolderSlots) break;
    if (!entry.isFolder || entry.name == "." || entry.name == "..") continue;
    if (entry.name.size() > kFolderNameLimit) continue;
    table->push_back(entry.name);
  }
  return static_cast<int>(table->size());
}

bool FolderItemLess(const std::string& a, const std::string& b) {
  const std::string foldedA = FoldForSort(a);
  const std::string foldedB = FoldForSort(b);
  if (foldedA != foldedB) return foldedA < foldedB;
  return a < b;
}

void DestinationScreen::Open() {
  savedDrive_ = port::CurrentDrive();
  port::ChangeFolder("\\");
  driveItems_.clear();
  for (char letter : port::AvailableDrives()) {
    driveItems_.push_back(std::string("[-") + letter + "-]");
  }
  driveSelection_ = -1;
  folderItems_.clear();
  folderSelection_ = -1;
  folderField_ = installFolder;
  PrefillFromUninstallEntry();
}

void DestinationScreen::PrefillFromUninstallEntry() {
  std::string valueText;
  for (const std::string& key : uninstallKeys) {
    if (key.empty()) break;
    valueText.clear();
    const port::RegistryLookup lookup =
        port::RegistryReadString(kUninstallKeyPrefix + key, kValueName, &valueText);
    if (lookup == port::RegistryLookup::kNoKey) continue;
    // The key opened: the search ends here, whether or not the value could be read.
    if (lookup != port::RegistryLookup::kFound) valueText.clear();
    break;
  }
  if (ParseUninstallString(valueText) == 0) return;
  if (text::EndsWithBackslash(valueText)) valueText.pop_back();
  folderField_ = valueText;
}

void DestinationScreen::SelectDrive(int index) {
  driveSelection_ = index >= 0 && index < static_cast<int>(driveItems_.size()) ? index : -1;
  OnSelchangeDriveList();
}

void DestinationScreen::SelectFolder(int index) {
  folderSelection_ = index >= 0 && index < static_cast<int>(folderItems_.size()) ? index : -1;
  OnDblclkFolderList();
}

int DestinationScreen::FindDriveItem(const std::string& item) const {
  const auto found = std::find(driveItems_.begin(), driveItems_.end(), item);
  return found == driveItems_.end() ? -1 : static_cast<int>(found - driveItems_.begin());
}

int DestinationScreen::FindFolderItem(const std::string& item) const {
  const auto found = std::find(folderItems_.begin(), folderItems_.end(), item);
  return found == folderItems_.end() ? -1 : static_cast<int>(found - folderItems_.begin());
}

void DestinationScreen::OnSelchangeDriveList() {
  if (driveSelection_ < 0) return;
  const std::string driveItem = driveItems_[driveSelection_];
  const std::string root = std::string(1, DriveLetterOf(driveItem)) + ":\\";
  port::ChangeFolder(root);
  folderField_ = root;
  FillFolderList(driveItem, "\\*.*");
}

void DestinationScreen::OnDblclkFolderList() {
  if (driveSelection_ < 0 || folderSelection_ < 0) return;
  const std::string driveItem = driveItems_[driveSelection_];
  const std::string& folderItem = folderItems_[folderSelection_];
  // Items are "[name]".
  const std::string name =
      folderItem.size() >= 2 ? folderItem.substr(1, folderItem.size() - 2) : std::string();
  port::ChangeFolder(std::string(1, DriveLetterOf(driveItem)) + ":" + name);
  const std::string current = port::CurrentFolder();
  if (current.size() <= kCurrentFolderLimit) folderField_ = current;
  FillFolderList(driveItem, ".\\*.*");
}

void DestinationScreen::FillFolderList(const std::string& driveItem, const std::string& pattern) {
  folderItems_.clear();
  folderSelection_ = -1;
  std::vector<std::string> table;
  ListSubfolders(std::string(1, DriveLetterOf(driveItem)) + ":" + pattern, &table);
  for (const std::string& name : table) {
    std::string item = "[" + name + "]";
    const auto at =
        std::upper_bound(folderItems_.begin(), folderItems_.end(), item, FolderItemLess);
    folderItems_.insert(at, std::move(item));
  }
}

void DestinationScreen::RestoreDrive() { port::ChangeDrive(savedDrive_); }

int DestinationScreen::Next() {
  installFolder = folderField_;
  RestoreDrive();
  return kEndOk;
}

int DestinationScreen::Back() {
  RestoreDrive();
  return kEndBack;
}

int DestinationScreen::Cancel() {
  RestoreDrive();
  return kEndCancel;
}

}  // namespace koushin::wizard
