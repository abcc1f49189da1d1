#pragma once

#include <QString>
#include <string>

namespace korvista {

// The title of an executable: its file name without folder, cut before the first ".", the first character
// as it stands and every later one in lower case ("/opt/KRV.exe" gives "Krv", "krv.exe" gives "krv",
// "korvista" gives "korvista").
QString ApplicationTitle(const std::string& exeName);

// The running executable's title; the caption of every message box of the tool.
QString AppTitle();

} // namespace korvista
