#include "app/error_box.h"

#include "app/app_title.h"
#include "app/ui_seam.h"
#include "support/errors.h"

#include <QApplication>
#include <QWidget>

namespace korvista {

namespace {
int handlerDepth = 0;
}

QString ErrorBoxText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > 46)
        text += '.';
    return QString::fromStdString(text);
}

void ShowErrorBox(std::exception_ptr error) {
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const Abort&) {
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    // The box runs a modal loop; no idle update may run underneath it.
    HandlerScope scope;
    Ui().ShowError(QApplication::activeWindow(), AppTitle(), ErrorBoxText(message));
}

int HandlerDepth() {
    return handlerDepth;
}

HandlerScope::HandlerScope() {
    ++handlerDepth;
}

HandlerScope::~HandlerScope() {
    --handlerDepth;
}

} // namespace korvista
