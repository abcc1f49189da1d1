#include "app/accelerators.h"

#include <QSet>

namespace korvista {

namespace {

// Index of the character after the accelerator's "&", or -1.
qsizetype AcceleratorIndex(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return i + 1;
        ++i; // a literal ampersand
    }
    return -1;
}

QChar Key(QChar c) {
    return c.toUpper();
}

} // namespace

QStringList WithAccelerators(const QStringList& captions) {
    QSet<QChar> taken;
    for (const QString& caption : captions) {
        const qsizetype at = AcceleratorIndex(caption);
        if (at >= 0)
            taken.insert(Key(caption[at]));
    }
    QStringList result;
    result.reserve(captions.size());
    for (const QString& caption : captions) {
        QString shown = caption;
        if (AcceleratorIndex(caption) < 0) {
            for (qsizetype i = 0; i < caption.size(); ++i) {
                if (caption[i] == QLatin1Char('&')) {
                    ++i; // the second half of "&&"
                    continue;
                }
                if (caption[i].isLetterOrNumber() && !taken.contains(Key(caption[i]))) {
                    taken.insert(Key(caption[i]));
                    shown.insert(i, QLatin1Char('&'));
                    break;
                }
            }
        }
        result << shown;
    }
    return result;
}

} // namespace korvista
