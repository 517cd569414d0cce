#pragma once
// What the main window's Cancel needs of the network scan: whether one was
// ever started, the stop request and the busy flags of its host slots.
namespace plinth {

class ScanControl {
 public:
  virtual ~ScanControl() = default;
  // A scanner exists (a scan was started at least once).
  virtual bool Started() const = 0;
  virtual void RequestStop() = 0;
  // Any host slot still busy.
  virtual bool AnyBusy() const = 0;
  virtual void ClearBusy() = 0;
};

}  // namespace plinth
