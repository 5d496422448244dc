#include <QApplication>
#include <QLabel>

#include "app/AppTitle.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QString::fromUtf8("Quorrel: the desktop is being built."));
  label.setWindowTitle(QString::fromUtf8(kAppTitle));
  label.show();
  return app.exec();
}
