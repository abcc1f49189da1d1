#pragma once

#include <QString>
#include <memory>
#include <string>

class QWidget;

namespace korvista {

// Everything modal the tool shows goes through here, so tests can answer without a modal loop.
class UiSeam {
public:
    virtual ~UiSeam() = default;

    // Stop icon, one OK button.
    virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
    // No icon, one OK button.
    virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text) = 0;
    // The connection dialog: the new string (password included) on OK, the given string on Cancel.
    virtual std::string PromptDataSource(QWidget* parent, const std::string& initial) = 0;
};

// The seam in force; the real modal boxes and dialog unless a test installed its own.
UiSeam& Ui();
// Installs a replacement (tests); passing nullptr restores the real one.
void SetUi(std::unique_ptr<UiSeam> seam);

} // namespace korvista
