#pragma once
// The program's icon, carried by every window: the icon theme's "tembrio" (the
// installed one, or a theme's own drawing of it), else the copy built into the
// program, so the build folder shows it as well.
#include <QIcon>

QIcon ApplicationIcon();
