#include "terminal/Choosers.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>

#include <utility>

namespace {

FontChooser& FontHook()
{
    static FontChooser hook;
    return hook;
}

ColorChooser& ColorHook()
{
    static ColorChooser hook;
    return hook;
}

OpenFilesChooser& OpenFilesHook()
{
    static OpenFilesChooser hook;
    return hook;
}

}  // namespace

std::optional<QFont> ChooseFont(const QFont& initial, QWidget* parent)
{
    if (FontHook())
        return FontHook()(initial, parent);
    bool ok = false;
    // The terminal is drawn in character cells: only fixed-pitch fonts fit it.
    const QFont font = QFontDialog::getFont(&ok, initial, parent, QString(),
                                            QFontDialog::MonospacedFonts);
    if (!ok)
        return std::nullopt;
    return font;
}

std::optional<QColor> ChooseColor(const QColor& initial, QWidget* parent)
{
    if (ColorHook())
        return ColorHook()(initial, parent);
    const QColor color = QColorDialog::getColor(initial, parent);
    if (!color.isValid())
        return std::nullopt;
    return color;
}

QStringList ChooseFilesToOpen(const OpenFilesRequest& request, QWidget* parent)
{
    if (OpenFilesHook())
        return OpenFilesHook()(request, parent);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty())
        dialog.selectNameFilter(request.filters.front());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

FontChooser SetFontChooser(FontChooser chooser)
{
    return std::exchange(FontHook(), std::move(chooser));
}

ColorChooser SetColorChooser(ColorChooser chooser)
{
    return std::exchange(ColorHook(), std::move(chooser));
}

OpenFilesChooser SetOpenFilesChooser(OpenFilesChooser chooser)
{
    return std::exchange(OpenFilesHook(), std::move(chooser));
}
