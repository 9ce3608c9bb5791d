#pragma once

#include <QIcon>

// The one 16 x 16 icon of all three windows.
QIcon appIcon();
