#include "app/EventMessageBox.h"

#include "app/MessageLine.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QMessageBox>

#include <string>

CEventMessageBox::CEventMessageBox(QWidget* parent, EventSink toEventBox)
    : m_pParent(parent), m_toEventBox(std::move(toEventBox))
{
}

CEventMessageBox::~CEventMessageBox()
{
    if (m_pBox) {
        m_pBox->disconnect();
        delete m_pBox.data();
    }
}

void CEventMessageBox::Show(std::string_view text, std::string_view detail)
{
    if (m_bHeadless) {
        // The headless funnel writes and returns at once.
        platform::ShowMessageBox(text, detail);
        return;
    }
    if (m_pBox) {
        ++m_nHeldBack;
        // A burst of the same message gives one line, not one per event.
        const std::string shown = MessageLine(text, {});
        if (shown != m_strLastHeldBack && m_toEventBox) {
            m_strLastHeldBack = shown;
            std::string line = MessageLine(text, detail);
            line += " (not shown: another message box is open)";
            m_toEventBox(line);
        }
        return;
    }
    // Only the box shows the text translated; what goes to the event box and
    // the log above stays as the program wrote it.
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(res::kMainTitle),
                                res::Tr(std::string(text).c_str()),
                                QMessageBox::Ok, m_pParent);  // owned by the parent until closed
    if (!detail.empty())
        box->setInformativeText(QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QDialog::finished, box, [this] { OnBoxClosed(); });
    m_pBox = box;
    box->show();
}

void CEventMessageBox::OnBoxClosed()
{
    if (m_nHeldBack > 0 && m_toEventBox)
        m_toEventBox(std::to_string(m_nHeldBack) +
                     (m_nHeldBack == 1 ? " message" : " messages") +
                     " came while the message box was open");
    m_nHeldBack = 0;
    m_strLastHeldBack.clear();
    m_pBox = nullptr;
}
