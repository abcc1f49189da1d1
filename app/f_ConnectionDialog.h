#pragma once

#include <string>

class QWidget;

namespace korvista {

// The connection dialog, modal over parent: the composed string (password included) on OK,
// initial unchanged on Cancel.
std::string PromptConnectionString(QWidget* parent, const std::string& initial);

} // namespace korvista
