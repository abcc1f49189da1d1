#include "app/ui_seam.h"

#include "app/f_ConnectionDialog.h"
#include "app/f_Main.h"

#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

namespace korvista {

namespace {

// The tool's message boxes speak in the window's font, with plain buttons and plain text, so that a line
// break in a message (between the tool's words and a provider's) always shows.
void Prepare(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    box.setFont(frmMain ? frmMain->font() : WindowFont());
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
}

// The plain message box stands in the middle of the screen, wherever the main window is.
class ScreenCentredBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (const QScreen* display = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(display->availableGeometry().center());
            move(frame.topLeft());
        }
    }
};

class RealUi : public UiSeam {
public:
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
        Prepare(box);
        box.exec();
    }
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override {
        ScreenCentredBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
        Prepare(box);
        box.exec();
    }
    std::string PromptDataSource(QWidget* parent, const std::string& initial) override {
        return PromptConnectionString(parent, initial);
    }
};

std::unique_ptr<UiSeam>& Installed() {
    static std::unique_ptr<UiSeam> seam;
    return seam;
}

} // namespace

UiSeam& Ui() {
    static RealUi real;
    UiSeam* seam = Installed().get();
    return seam ? *seam : real;
}

void SetUi(std::unique_ptr<UiSeam> seam) {
    Installed() = std::move(seam);
}

} // namespace korvista
