#include "ui/module_select_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/module_catalog.h"
#include "ui/help_window.h"

namespace plinth {

uint32_t ModuleIdOfPartNumber(std::string_view partNumber) {
  uint32_t id = 0;
  for (const ModuleCatalogEntry& entry : ModuleCatalog())
    if (entry.partNumber == partNumber) id = entry.moduleId;
  return id;
}

ModuleSelectDialog::ModuleSelectDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Module Selection"));
  setObjectName(QStringLiteral("moduleSelectDialog"));
  SetHelpTopic(this, kHelpModuleSelection);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("moduleList"));
  list_->setAccessibleName(QStringLiteral("Modules"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(true);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &ModuleSelectDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(260, 320);
  for (const ModuleCatalogEntry& entry : ModuleCatalog())
    list_->addItem(QString::fromLatin1(entry.partNumber.data(), static_cast<int>(entry.partNumber.size())));
}

void ModuleSelectDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  list_->setFocus();
  list_->setCurrentRow(1);  // the list opens on its second entry
}

void ModuleSelectDialog::accept() {
  selectedId_ = 0;
  QList<QListWidgetItem*> selected = list_->selectedItems();
  if (!selected.isEmpty()) selectedId_ = ModuleIdOfPartNumber(selected.first()->text().toStdString());
  if (selectedId_ == 0) {
    QDialog::reject();
    return;
  }
  QDialog::accept();
}

}  // namespace plinth
