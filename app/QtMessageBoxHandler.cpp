#include "app/QtMessageBoxHandler.h"

#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QApplication>
#include <QMessageBox>

#include <string>

void InstallQtMessageBoxHandler()
{
    platform::SetMessageBoxHandler([](std::string_view text, std::string_view detail) {
        // Shown translated; the headless handler writes the text as it is.
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(res::kMainTitle),
                        res::Tr(std::string(text).c_str()),
                        QMessageBox::Ok, QApplication::activeWindow());
        if (!detail.empty())
            box.setInformativeText(
                QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
        box.exec();
    });
}
