#pragma once
// What the program sets up on its QApplication before any window opens: its
// name and desktop entry, the built-in help pages and icon, F1 for help, and
// windows that open within the screen. The window tests set up the same.
#include <QObject>

#include "ui/help_window.h"

class QApplication;
class QWidget;

namespace plinth {

// The desktop entry (and application ID) the windows belong to.
inline constexpr const char* kDesktopFileName = "org.plinth.Plinth";

// Shrinks a top-level window to the available area of its screen (not
// below its minimum size) and moves it inside, leaving room for a frame
// that the window system has not drawn yet.
void FitIntoScreen(QWidget& window);

// Installed on the application: every window is fitted as it is shown.
class WindowFitFilter : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

class ApplicationSetup {
 public:
  explicit ApplicationSetup(QApplication& app);
  ApplicationSetup(const ApplicationSetup&) = delete;
  ApplicationSetup& operator=(const ApplicationSetup&) = delete;

 private:
  HelpKeyFilter helpKey_;
  WindowFitFilter fit_;
};

}  // namespace plinth
