#include "ui/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace plinth {
namespace {

const char* const kTopicProperty = "plinthHelpTopic";

std::function<void(int)>& Handler() {
  static std::function<void(int)> handler;
  return handler;
}

// One help window for the whole program, kept once opened.
class HelpWindow : public QDialog {
 public:
  HelpWindow() {
    setWindowTitle(QStringLiteral("Plinth Help"));
    setObjectName(QStringLiteral("helpWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(560, 480);
  }
  // owner: the window whose modal loop runs (none: no loop runs). Qt
  // blocks the input of every window outside the running modal window, so
  // the help window becomes that window's own child window: its links,
  // scrolling, Close and Escape work, and Escape closes only the help.
  void ShowTopic(int topic, QWidget* owner) {
    if (owner != parentWidget()) setParent(owner, windowFlags());
    browser_->setSource(QUrl(HelpPage(topic)));
    show();
    raise();
    activateWindow();
  }

 private:
  QTextBrowser* browser_;
};

}  // namespace

QString HelpPage(int topic) {
  QString path = QStringLiteral(":/help/%1.html").arg(topic);
  return QFile::exists(path) ? QStringLiteral("qrc") + path : QString();
}

void SetHelpHandler(std::function<void(int topic)> handler) { Handler() = std::move(handler); }

void ShowHelp(int topic) {
  if (Handler()) {
    Handler()(topic);
    return;
  }
  static QPointer<HelpWindow> window;
  if (!window) window = new HelpWindow;
  QWidget* owner = QApplication::activeModalWidget();
  window->ShowTopic(topic, owner == window ? window->parentWidget() : owner);
}

void SetHelpTopic(QWidget* window, int topic) { window->setProperty(kTopicProperty, topic); }

int HelpTopicOf(const QWidget* window) {
  for (const QWidget* w = window; w; w = w->parentWidget()) {
    QVariant topic = w->property(kTopicProperty);
    if (topic.isValid()) return topic.toInt();
  }
  return kHelpMainWindow;
}

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
    QWidget* active = QApplication::activeModalWidget();
    if (!active) active = QApplication::activeWindow();
    QWidget* focus = QApplication::focusWidget();
    ShowHelp(HelpTopicOf(focus && active && focus->window() == active ? focus : active));
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace plinth
