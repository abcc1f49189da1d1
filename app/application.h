#pragma once

#include <QApplication>

class QTranslator;
class QWidget;

namespace korvista {

// The Qt application; an error escaping any event handler goes to the error box and the loop goes on.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads the toolkit's own Dutch texts (file chooser, standard buttons); gives the installed translator,
// owned by the application, or nullptr when the translations are missing.
QTranslator* InstallQtTranslations(QCoreApplication& application);

// Shows the main window centred on its screen, unless the platform asked for another state.
void ShowMainWindow(QWidget* window);

// The whole life of the program: start-up, the event loop, shut-down. Gives the exit code.
int RunKorvista(int argc, char** argv);

} // namespace korvista
