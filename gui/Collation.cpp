#include "gui/Collation.h"

#include <QLocale>

namespace {

QLocale CollationLocale()
{
    static const QLocale unicodeDefault(QLocale::English);
    const QLocale user;
    return user.language() == QLocale::C ? unicodeDefault : user;
}

} // namespace

const QCollator &KivCollator()
{
    // Made afresh when the locale changes.
    static QCollator collator(CollationLocale());
    const QLocale wanted = CollationLocale();
    if (collator.locale() != wanted)
        collator = QCollator(wanted);
    return collator;
}
