#include "app/application.h"

#include "app/error_box.h"
#include "app/f_Main.h"
#include "app/image_list.h"
#include "support/u_Utility.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QWidget>
#include <memory>

// The pictures live in the static library, so their resource needs an explicit start.
static void InitPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace korvista {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorBox(std::current_exception());
        return false;
    }
}

QTranslator* InstallQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    // The window speaks Dutch whatever the user's locale, and so do the toolkit's own dialogs.
    if (!translator->load(QLocale(QLocale::Dutch, QLocale::Netherlands), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

void ShowMainWindow(QWidget* window) {
    if (!(window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
        if (const QScreen* screen = window->screen()) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    // Qt applies its own -qwindowgeometry and start-up state options when the window is first shown.
    window->show();
}

int RunKorvista(int argc, char** argv) {
    // The utility unit's start: the log goes beside the executable.
    LogFolder = TUtility::GetExePath();
    int exitCode = 0;
    {
        // Qt reads its own platform options from the arguments; the tool reads none.
        TApplication application(argc, argv);
        InitPictures();
        // Without the translations the toolkit's texts stay English; the tool works all the same.
        InstallQtTranslations(application);
        application.setWindowIcon(ProgramIcon());
        // The connections need no per-thread initialisation here (no COM on this platform).
        auto window = std::make_unique<TfrmMain>();
        ShowMainWindow(window.get());
        exitCode = TApplication::exec();
        // Shut-down: the window goes first, and with it both connections and the settings.
        window.reset();
    }
    LogFolder.clear();
    return exitCode;
}

} // namespace korvista
