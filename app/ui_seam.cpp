#include "app/ui_seam.h"

#include "app/f_ConnectionDialog.h"

#include <QMessageBox>
#include <QScreen>

namespace korvista {

namespace {

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
        Show(parent, QMessageBox::Critical, caption, text);
    }
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override {
        ScreenCentredBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
        box.exec();
    }
    std::string PromptDataSource(QWidget* parent, const std::string& initial) override {
        return PromptConnectionString(parent, initial);
    }

private:
    static void Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
        box.exec();
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
