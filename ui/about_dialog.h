#pragma once
// "About Plinth": the icon, the version line and OK.
#include <QDialog>

namespace plinth {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace plinth
