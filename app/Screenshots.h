#pragma once
// The pictures of the interface in the README (tools/screenshots.sh): a
// moment after start-up, a line is typed into the connected terminal, then
// every window of the tour (app/WindowTour.h) is saved as DIR/NAME.png and
// the run ends, with status 1 when a picture could not be written.

#include <QString>

void ScheduleScreenshots(const QString& dir);
