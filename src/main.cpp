#include <QApplication>

#include "app/App.h"
#include "app/InstanceLock.h"
#include "app/QtPlatform.h"
#include "app/SessionEnd.h"
#include "core/FileLocations.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The program ends when its main window closes, whatever else is open.
  application.setQuitOnLastWindowClosed(false);
  TQtPlatform platform(DefaultLockDir());
  TApp app(platform, MakeFileLocations(CurrentExePath()));
  TSessionEnd sessionEnd(app);
  sessionEnd.CatchSignals();
  if (!app.Start()) return 0;
  return app.Run();
}
