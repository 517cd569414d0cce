#pragma once
// Whether the configuration being edited differs from what was last read
// or written, so that closing the window can offer to save it. Anything
// that would change the written file counts: the master settings and every
// field of a slave that the file stores.
#include <string>
#include <vector>

#include "config/configuration.h"

namespace plinth {

class UnsavedChanges {
 public:
  // The configuration as it is now is the saved one (after a read or a
  // successful write, or a new configuration at start-up).
  void MarkSaved(const Configuration& config);
  // Marks the configuration changed until the next MarkSaved, whatever it
  // holds: for features that change the list in a way the user must
  // confirm by saving (an import, values taken over from the plant).
  void MarkChanged() { markedChanged_ = true; }
  // True when saving now would write something else than was last read or
  // written, or MarkChanged was called since.
  bool HasChanges(const Configuration& config) const;

 private:
  std::vector<uint8_t> saved_;
  bool markedChanged_ = false;
};

// What stands for the configuration's saved content: the bytes the writer
// would write, or for a configuration it cannot write, every record's
// texts after a marker no file begins with.
std::vector<uint8_t> SavedContentOf(const Configuration& config);

// The question and its title when the window closes with changes.
inline constexpr const char* kUnsavedChangesQuestion =
    "The configuration has changes that are not saved. Save them before closing?";

}  // namespace plinth
