#pragma once
// The events the wizard posts to the main window to run a step after the
// current one has been painted, or from another part of the program.
#include <QEvent>

// Builds the batch's tasks and starts the run; posted once page 3 shows.
constexpr QEvent::Type WM_STARTCONVERT = static_cast<QEvent::Type>(QEvent::User + 1);
// Every task of the batch has ended and the engine's task list is cleared.
constexpr QEvent::Type WM_CONVERTDONE = static_cast<QEvent::Type>(QEvent::User + 2);
