#include "main_window.h"
#include "single_instance.h"

#include "engine/frame.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
#ifdef SONAVEX_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(SONAVEX_APP_ID)); // its menu entry, icon
#endif
    SingleInstance instance;
    if (!instance.claim()) {
        return 0; // the running copy has been brought to the front
    }
    build_analysis_tables();
    MainWindow window;
    if (!window.created()) {
        return 0;
    }
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                     &MainWindow::bringToFront);
    app.exec();
    return 0;
}
