#include "ui/application_setup.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "base/messages.h"
#include "ui/resources.h"

namespace plinth {

void FitIntoScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect inner = window.geometry(), outer = window.frameGeometry();
  QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                 outer.bottom() - inner.bottom());
  if (frame.isNull()) frame = QMargins(4, 32, 4, 4);  // not drawn yet: a title bar and borders
  const QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
  const QSize size = window.size().boundedTo(room).expandedTo(window.minimumSize());
  if (size != window.size()) window.resize(size);
  const int width = size.width() + frame.left() + frame.right(), height = size.height() + frame.top() + frame.bottom();
  // Into the area; a window larger than the area keeps its top left corner visible.
  const int x = std::max(area.left(), std::min(outer.left(), area.right() + 1 - width));
  const int y = std::max(area.top(), std::min(outer.top(), area.bottom() + 1 - height));
  if (x != outer.left() || y != outer.top()) window.move(x, y);
}

bool WindowFitFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    const Qt::WindowType type = widget->windowType();
    if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog)) FitIntoScreen(*widget);
  }
  return QObject::eventFilter(watched, event);
}

ApplicationSetup::ApplicationSetup(QApplication& app) {
  QApplication::setApplicationName(QString::fromLatin1(kAppName));
  // The dock and task bar find the windows under the desktop entry's icon.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
  LoadResources();
  app.installEventFilter(&helpKey_);
  app.installEventFilter(&fit_);
}

}  // namespace plinth
