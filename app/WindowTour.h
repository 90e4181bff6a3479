#pragma once
// Every window of the interface shown in turn: the main window (with its find
// bar open), each dialog as its command makes it, the automation windows and
// the manual. The language test reads their texts; --screenshot takes their
// pictures.

#include <QString>

#include <functional>

class CMainFrame;
class QWidget;

// `visit` gets each window while it is shown, under a name fit for a file
// ("main", "port-settings", "autosend", ...). Windows opened here are closed
// again afterwards; the main window stays as it is.
void TourWindows(CMainFrame& frame, const std::function<void(const QString& name, QWidget& window)>& visit);
