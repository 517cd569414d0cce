#pragma once
// "&Verify plant..." of the main window opens the plant check window over
// the window's list.
#include <QObject>

#include "logic/plant_check.h"

namespace plinth {

class MainDialog;

class PlantCheckControl : public QObject {
  Q_OBJECT
 public:
  // Attaches to window (and becomes its child); options: the port (502 in
  // the program) and how many modules at once.
  explicit PlantCheckControl(MainDialog& window, PlantCheckOptions options = {});

  void Open();

 private:
  MainDialog& window_;
  const PlantCheckOptions options_;
};

}  // namespace plinth
