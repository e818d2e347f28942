#include "main_window.h"
#include "single_instance.h"

#include "engine/frame.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <vector>

// Keeping the window on top and bringing the running copy to the front need X11: Wayland's
// shell offers neither, and Qt picks Wayland wherever WAYLAND_DISPLAY is set. So on a
// Wayland session with XWayland the program asks for xcb, unless the user chose a platform
// (QT_QPA_PLATFORM or -platform). Through the arguments rather than the environment, so
// that programs it starts keep the desktop's own choice.
static std::vector<char *> arguments_with_platform(int argc, char *argv[]) {
    std::vector<char *> arguments(argv, argv + argc);
    bool chosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        chosen = chosen || std::strcmp(argv[i], "-platform") == 0 ||
                 std::strcmp(argv[i], "--platform") == 0;
    }
    if (!chosen && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        static char option[] = "-platform";
        static char xcb[] = "xcb";
        arguments.insert(arguments.begin() + 1, {option, xcb});
    }
    arguments.push_back(nullptr);
    return arguments;
}

int main(int argc, char *argv[]) {
    std::vector<char *> arguments = arguments_with_platform(argc, argv);
    int count = static_cast<int>(arguments.size()) - 1;
    QApplication app(count, arguments.data());
    if (qEnvironmentVariableIntValue("SONAVEX_REPORT_PLATFORM") == 1) {
        std::fprintf(stderr, "platform: %s\n", qPrintable(QGuiApplication::platformName()));
    }
#ifdef SONAVEX_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(SONAVEX_APP_ID)); // its menu entry, icon
#endif
    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::Raised:
        return 0; // the running copy has come to the front
    case SingleInstance::Claim::NoAnswer:
        return 1; // a copy holds the lock but did not answer: said on stderr
    case SingleInstance::Claim::Run:
        break;
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
