#include "ui/qt_user_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace plinth {

QString ConfigFileFilter() { return QStringLiteral("GenericBusCfg Files (*.bin);;All Files (*.*)"); }

QWidget* QtUserPrompts::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent_.data();
}

void QtUserPrompts::ShowMessage(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok,
                  Parent());
  box.exec();
}

bool QtUserPrompts::Ask(const std::string& question, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(question),
                  QMessageBox::Ok | QMessageBox::Cancel, Parent());
  return box.exec() == QMessageBox::Ok;
}

UserPrompts::SaveChoice QtUserPrompts::AskToSave(const std::string& question, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(question),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, Parent());
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save:
      return SaveChoice::kSave;
    case QMessageBox::Discard:
      return SaveChoice::kDiscard;
    default:
      return SaveChoice::kCancel;  // Cancel, Escape, the box closed
  }
}

std::optional<std::string> QtUserPrompts::OpenFile() {
  QFileDialog dialog(Parent(), QString(), QString(), ConfigFileFilter());
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtUserPrompts::SaveFile() {
  return SaveDialog(QString(), ConfigFileFilter(), "bin");
}

// A save dialog whose default suffix follows the chosen filter, so that a
// name typed without an extension takes that filter's.
std::optional<std::string> QtUserPrompts::SaveDialog(const QString& title, const QString& filter,
                                                     const std::string& suffix) {
  QFileDialog dialog(Parent(), title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QString::fromStdString(suffix));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
    const qsizetype star = chosen.indexOf(QStringLiteral("*."));
    const QString extension = chosen.mid(star + 2).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0);
    if (star >= 0 && !extension.contains(QLatin1Char('*'))) dialog.setDefaultSuffix(extension);
  });
  // Qt's save dialog asks before overwriting an existing file by default.
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtUserPrompts::OpenOtherFile(const std::string& title, const std::string& filter) {
  QFileDialog dialog(Parent(), QString::fromStdString(title), QString(),
                     QString::fromStdString(filter) + QStringLiteral(";;All Files (*.*)"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtUserPrompts::SaveOtherFile(const std::string& title, const std::string& filter,
                                                        const std::string& suffix) {
  return SaveDialog(QString::fromStdString(title), QString::fromStdString(filter) + QStringLiteral(";;All Files (*.*)"),
                    suffix);
}

}  // namespace plinth
