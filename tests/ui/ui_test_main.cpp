// The window tests run GoogleTest inside a QApplication on the offscreen
// platform, so they need no display.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/help_window.h"
#include "ui/resources.h"

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform warns about window hints it cannot honour.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  if (standardHandler) standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  standardHandler = qInstallMessageHandler(QuietHandler);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  plinth::LoadResources();
  plinth::HelpKeyFilter helpKey;
  app.installEventFilter(&helpKey);
  return RUN_ALL_TESTS();
}
