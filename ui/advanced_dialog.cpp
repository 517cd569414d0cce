#include "ui/advanced_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/button_column.h"
#include "ui/help_window.h"

namespace plinth {

AdvancedDialog::AdvancedDialog(AdvancedValues& values, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), values_(values), prompts_(prompts) {
  setWindowTitle(QStringLiteral("Advanced settings"));
  setObjectName(QStringLiteral("advancedDialog"));
  SetHelpTopic(this, kHelpAdvancedSettings);
  oneCycle_ = new QCheckBox(QStringLiteral("One cycle output/input"), this);
  oneCycle_->setObjectName(QStringLiteral("oneCycleCheck"));
  fillDummy_ = new QCheckBox(QStringLiteral("Fill UDP dummy-frame (not recommended)"), this);
  fillDummy_->setObjectName(QStringLiteral("fillDummyCheck"));
  fillDummy_->setVisible(false);
  burst_ = new QLineEdit(this);
  burst_->setObjectName(QStringLiteral("burstEdit"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  help->setObjectName(QStringLiteral("helpButton"));

  auto* burstRow = new QHBoxLayout;
  burstRow->addWidget(burst_);
  burstRow->addWidget(new QLabel(QStringLiteral("Burst count  (0 = burst disabled)"), this));
  auto* fields = new QVBoxLayout;
  fields->addWidget(oneCycle_);
  fields->addWidget(fillDummy_);
  fields->addLayout(burstRow);
  fields->addStretch();
  PlaceBesideButtonColumn(*this, fields, {ok, cancel, help});

  connect(ok, &QPushButton::clicked, this, &AdvancedDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelp(kHelpAdvancedSettings); });

  oneCycle_->setChecked(values_.oneCycleOutputInput);
  fillDummy_->setChecked(values_.fillUdpDummyFrame);
  burst_->setText(QString::number(values_.burstCount));
}

void AdvancedDialog::accept() {
  std::optional<int> burst = ReadBurstCount(burst_->text().toStdString(), prompts_);
  if (!burst) {
    burst_->setFocus();
    burst_->selectAll();
    return;
  }
  values_.burstCount = *burst;
  values_.oneCycleOutputInput = oneCycle_->isChecked();
  values_.fillUdpDummyFrame = fillDummy_->isChecked();
  QDialog::accept();
}

}  // namespace plinth
