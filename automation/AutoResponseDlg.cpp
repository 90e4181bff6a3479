#include "automation/AutoResponseDlg.h"

#include "automation/AutomationMessages.h"
#include "automation/HexEdit.h"
#include "automation/HexTextBytes.h"
#include "automation/ReceivedBlock.h"
#include "automation/ResponsePatterns.h"
#include "platform/PostedPayload.h"
#include "resources/StringTable.h"
#include "terminal/Trevane2Doc.h"
#include "text/LineSender.h"

#include "ui_AutoResponseDlg.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

constexpr int kRows = static_cast<int>(automation::kMaxResponsePatterns);
constexpr int kFirstInBox = 1005;   // rows 1 to 3: 1005, 1006, 1007
constexpr int kFirstOutBox = 1009;  // rows 1 to 3: 1009, 1010, 1011

}  // namespace

CAutoResponseDlg::CAutoResponseDlg(const AutomationLinks& links, QWidget* parent)
    : CModelessDlg(links.frame, WM_AUTORESPONSE_CLOSED, parent),
      m_ui(std::make_unique<Ui::AutoResponseDlg>()),
      m_links(links),
      m_echo(links.appendSent),
      m_pMessageWindow(std::make_unique<platform::QtMessageWindow>())
{
    m_ui->setupUi(this);
    NoDefaultButtons();
    m_pMessageWindow->SetHandler(WM_AUTORESPONSE_BLOCK, [this](platform::WPARAM w, platform::LPARAM l) {
        return OnReceivedBlock(w, l);
    });
    if (m_links.doc != nullptr) {
        int row = 1;
        for (const auto& [pattern, reply] : m_links.doc->m_mapAutoResp) {
            if (row > kRows)
                break;
            InBox(row)->setText(QString::fromStdString(pattern));
            OutBox(row)->setText(QString::fromStdString(reply));
            ++row;
        }
    }
    connect(m_ui->button1004, &QPushButton::clicked, this, &CAutoResponseDlg::OnStartEnd);
    connect(m_ui->button1008, &QPushButton::clicked, this, &QWidget::close);
}

CAutoResponseDlg::~CAutoResponseDlg()
{
    // Every block posted here is owned here: the ones not handled yet are
    // delivered now and, the window being gone, only freed.
    m_bStarted = false;
    QCoreApplication::sendPostedEvents(m_pMessageWindow.get());
}

CHexEdit* CAutoResponseDlg::InBox(int row) const
{
    return findChild<CHexEdit*>(QStringLiteral("edit%1").arg(kFirstInBox + row - 1));
}

CHexEdit* CAutoResponseDlg::OutBox(int row) const
{
    return findChild<CHexEdit*>(QStringLiteral("edit%1").arg(kFirstOutBox + row - 1));
}

void CAutoResponseDlg::OnStartEnd()
{
    if (m_bStarted) {
        m_ui->button1004->setText(QString::fromUtf8(res::kStart));
        m_bStarted = false;
    } else {
        m_ui->button1004->setText(QString::fromUtf8(res::kEnd));
        // The store becomes exactly the rows with a pattern: a pattern
        // changed since the last start does not stay behind beside the new one.
        automation::ResponseStore store;
        for (int row = 1; row <= kRows; ++row) {
            const QString pattern = InBox(row)->text().trimmed();
            if (pattern.isEmpty())
                continue;
            store[pattern.toUpper().toStdString()] = OutBox(row)->text().toUpper().toStdString();
        }
        if (m_links.doc != nullptr)
            m_links.doc->m_mapAutoResp = std::move(store);
        m_bStarted = true;
    }
    if (m_links.frame != nullptr)
        m_links.frame->PostMessage(WM_AUTORESPONSE_TOGGLE, 0, 0);
}

platform::LRESULT CAutoResponseDlg::OnReceivedBlock(platform::WPARAM, platform::LPARAM lParam)
{
    const ReceivedBlock* block = platform::OwnedParam<ReceivedBlock>(lParam);
    // A block that arrives after "End" or while the window closes is not answered.
    if (!block || !m_bStarted || IsClosing() || m_links.doc == nullptr)
        return 0;
    const std::string* reply =
        automation::FindReply(m_links.doc->m_mapAutoResp, block->bytes.data(), block->bytes.size());
    if (reply == nullptr)
        return 0;
    m_echo.Show(QString::fromStdString(*reply));
    const std::vector<std::uint8_t> bytes = automation::HexTextBytes(*reply);
    if (!bytes.empty() && m_links.line != nullptr && m_links.line->IsPortOpen())
        m_links.line->SendBytes(bytes.data(), bytes.size());
    return 0;
}
