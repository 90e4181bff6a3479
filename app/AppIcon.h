#pragma once
// Kestrana's icon for its windows: every PNG size compiled in from
// resources/icons, drawn from the same picture as the installed icons.

#include <QIcon>

QIcon KestranaIcon();
