#pragma once
// The system's choosers for a font, a colour and files to open. Each one is
// replaceable, so tests answer them without a native dialog; an empty hook
// brings back the Qt dialog.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Null when the user cancels.
using FontChooser = std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)>;
using ColorChooser = std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)>;

struct OpenFilesRequest {
    QString defaultSuffix;  // added to a typed name without one, e.g. "mot"
    QStringList filters;    // "Motorola Hex Files (*.mot)", ...; the first is selected
};
// The chosen paths in the chooser's order; empty when the user cancels.
using OpenFilesChooser = std::function<QStringList(const OpenFilesRequest& request, QWidget* parent)>;

std::optional<QFont> ChooseFont(const QFont& initial, QWidget* parent);
std::optional<QColor> ChooseColor(const QColor& initial, QWidget* parent);
QStringList ChooseFilesToOpen(const OpenFilesRequest& request, QWidget* parent);

// Each returns the hook it replaces.
FontChooser SetFontChooser(FontChooser chooser);
ColorChooser SetColorChooser(ColorChooser chooser);
OpenFilesChooser SetOpenFilesChooser(OpenFilesChooser chooser);
