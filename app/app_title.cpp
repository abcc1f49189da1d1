#include "app/app_title.h"

#include "support/u_Utility.h"

#include <algorithm>

namespace korvista {

QString ApplicationTitle(const std::string& exeName) {
    QString name = QString::fromStdString(exeName);
    const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (slash >= 0)
        name = name.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    // The first character stands as it is; only the rest is lowered.
    return name.left(1) + name.mid(1).toLower();
}

QString AppTitle() {
    return ApplicationTitle(TUtility::GetExeName());
}

} // namespace korvista
