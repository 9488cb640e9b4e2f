// The document: it holds nothing, so closing the program never asks to save.
#pragma once

namespace koushin::win32 {

class CWizardDoc {
 public:
  // A new, empty document. Always succeeds.
  bool OnNewDocument() { return true; }
  // Nothing is stored or loaded.
  bool IsModified() const { return false; }
};

}  // namespace koushin::win32
