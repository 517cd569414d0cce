#include "ui/about_dialog.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plinth {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Plinth"));
  setObjectName(QStringLiteral("aboutDialog"));
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/plinth.png")).pixmap(32, 32));
  auto* version = new QLabel(QStringLiteral("Plinth Version 2.0"), this);
  version->setObjectName(QStringLiteral("versionLabel"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* licence = new QLabel(QStringLiteral("Plinth is free software under the GNU General Public License, version 3\n"
                                            "or later (GPL-3.0-or-later), and comes with no warranty."),
                             this);
  licence->setObjectName(QStringLiteral("licenceLabel"));
  licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(version, 1);
  row->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(licence);
}

}  // namespace plinth
