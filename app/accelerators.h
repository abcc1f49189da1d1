#pragma once

#include <QStringList>

namespace korvista {

// The keyboard accelerators of one row of sibling menu entries. A caption that names its letter with
// "&" keeps it; every other caption gets the first letter or digit that no sibling has taken yet
// (letter case ignored), or none when all of its letters are taken. "&&" is a literal ampersand.
QStringList WithAccelerators(const QStringList& captions);

} // namespace korvista
