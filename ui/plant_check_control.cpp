#include "ui/plant_check_control.h"

#include <QPushButton>

#include "ui/main_dialog.h"
#include "ui/plant_check_window.h"

namespace plinth {

PlantCheckControl::PlantCheckControl(MainDialog& window, PlantCheckOptions options)
    : QObject(&window), window_(window), options_(options) {
  connect(window.VerifyButton(), &QPushButton::clicked, this, &PlantCheckControl::Open);
}

void PlantCheckControl::Open() {
  PlantCheckWindow check(window_, options_, window_.Prompts(), &window_);
  check.exec();
}

}  // namespace plinth
