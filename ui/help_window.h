#pragma once
// The program's own help: one window that shows a topic by its context
// number from the help pages built into the program. F1 opens the topic of
// the active window.
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace plinth {

inline constexpr int kHelpMainWindow = 10020;
inline constexpr int kHelpSlaveConfiguration = 10021;
inline constexpr int kHelpAdvancedSettings = 10022;
inline constexpr int kHelpModuleStatus = 10023;  // with Flash IP Address and Reset to BOOTP
inline constexpr int kHelpTestIo = 10024;
inline constexpr int kHelpModuleSelection = 10025;
inline constexpr int kHelpBootpServer = 10026;
inline constexpr int kHelpNetworkScan = 10027;
inline constexpr int kHelpPlantCheck = 10028;
inline constexpr int kHelpTraffic = 10029;

// The page that holds a topic ("qrc:/help/10020.html"); empty for unknown ones.
QString HelpPage(int topic);

// Opens topic; tests replace what happens with SetHelpHandler.
void ShowHelp(int topic);
void SetHelpHandler(std::function<void(int topic)> handler);

// The topic F1 opens while window is active: that of the focused control
// or of the nearest widget around it that has one (a window's own, else
// that of the window it was opened from), else the main window's.
void SetHelpTopic(QWidget* window, int topic);
int HelpTopicOf(const QWidget* window);

// Installed on the application: F1 opens the topic of the active window's
// focused control.
class HelpKeyFilter : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace plinth
