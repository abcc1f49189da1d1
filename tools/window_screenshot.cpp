// Renders the main window after "Openen databases" and "Vergelijk" on the sample databases, for the README.
// Usage: window_screenshot SETTINGS_FILE OUTPUT_PNG [TABLE]

#include "app/f_Main.h"
#include "app/command_list.h"
#include "app/list_view.h"
#include "app/ui_seam.h"

#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

namespace {

// The closing message would wait for a click; here it is only printed.
struct PrintingUi : korvista::UiSeam {
    void ShowError(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void ShowMessage(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    std::string PromptDataSource(QWidget*, const std::string& initial) override { return initial; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SETTINGS_FILE OUTPUT_PNG [TABLE]\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(pictures);
    korvista::SetUi(std::make_unique<PrintingUi>());

    int status = 0;
    {
        korvista::TfrmMain window(nullptr, argv[1]);
        window.show();
        QApplication::processEvents();
        window.ActionList->Execute(window.actOpenDatabases);
        window.ActionList->Execute(window.actCompare);
        if (argc > 3) {
            const auto rows = window.lvTables->findItems(QString::fromUtf8(argv[3]), Qt::MatchExactly);
            if (!rows.isEmpty()) {
                window.lvTables->SelectRow(window.lvTables->indexOfTopLevelItem(rows.first()));
                window.lvTablesClick(window.lvTables);
            }
        }
        QApplication::processEvents();
        if (window.lvResults->topLevelItemCount() == 0) {
            std::fprintf(stderr, "the comparison gave no rows; is the settings file right?\n");
            status = 1;
        }
        if (!window.grab().save(QString::fromUtf8(argv[2]))) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            status = 1;
        }
    }
    korvista::SetUi(nullptr);
    return status;
}
