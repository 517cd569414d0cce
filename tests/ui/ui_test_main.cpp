// The window tests run GoogleTest inside a QApplication on the offscreen platform, so they need no display.
#include <gtest/gtest.h>
#include <QApplication>
#include "ui/application_setup.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform warns about window hints it cannot honour.
  static QtMessageHandler base = qInstallMessageHandler([](QtMsgType t, const QMessageLogContext& c, const QString& m) {
    if (!m.contains(QLatin1String("propagateSizeHints")) && base) base(t, c, m);
  });
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  plinth::ApplicationSetup setup(app);  // as the program sets itself up
  return RUN_ALL_TESTS();
}
