// How the program orders names for people: as the user's language does
// (accounts, Ärzte, Beta, Zeta), never by code unit.
#pragma once

#include <QCollator>

/// The collation of the user's locale; in the C locale, which names no
/// language, the Unicode default order (which English follows).
const QCollator &KivCollator();
