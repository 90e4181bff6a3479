#include "terminal/Trevane2Doc.h"

#include "support/Profile.h"
#include "terminal/TerminalFile.h"
#include "text/BlockPresenter.h"

#include <QFileInfo>

#include <algorithm>

namespace {

constexpr const char* kSection = "Terminal Settings";

// The options and their value names, in stored order; hex mode is kept under
// "AutoWrap".
struct StoredOption {
    const char* name;
    int CTrevane2Doc::*member;
};
constexpr StoredOption kStoredOptions[] = {
    {"AutoWrap", &CTrevane2Doc::m_bHexMode},
    {"LocalEcho", &CTrevane2Doc::m_bLocalEcho},
    {"Insert LF before Receive Line", &CTrevane2Doc::m_bReceiveLF},
    {"Insert LF after Send Line", &CTrevane2Doc::m_bSendLF},
    {"Append CRC to the end of send", &CTrevane2Doc::m_bAppendCRC},
    {"Timestamps", &CTrevane2Doc::m_nTimestamps},
    {"Hex Frames", &CTrevane2Doc::m_bHexFrames},
    {"Frame Join Gap ms", &CTrevane2Doc::m_nFrameGapMs},
    {"Traffic Log", &CTrevane2Doc::m_bTrafficLog},
};

QString TitleFor(const QString& path)
{
    return QFileInfo(path).fileName() + QStringLiteral(" - Kestrana");
}

}  // namespace

CTrevane2Doc::CTrevane2Doc(QObject* parent) : QObject(parent)
{
    // Called on the history writer's thread: one queued poll at a time.
    m_text.SetNotify([this] {
        if (!m_bPollPosted.exchange(true))
            QMetaObject::invokeMethod(this, &CTrevane2Doc::PollText, Qt::QueuedConnection);
    });
}

CTrevane2Doc::~CTrevane2Doc()
{
    m_text.SetNotify({});
}

void CTrevane2Doc::PollText()
{
    m_bPollPosted = false;
    const unsigned changes = m_text.Poll();
    if (changes & TerminalText::kDropped)
        emit textDropped();
    if (changes != TerminalText::kNothing)
        emit textChanged();
    if (const std::string notice = m_text.TakeNotice(); !notice.empty())
        emit historyNotice(QString::fromStdString(notice));
}

QString CTrevane2Doc::GetTitle() const
{
    return m_strTitle;
}

void CTrevane2Doc::SetTitle(const QString& title)
{
    m_strTitle = title;
    emit titleChanged(m_strTitle);
}

bool CTrevane2Doc::OnNewDocument()
{
    m_text.Clear();
    emit textReset();
    return true;
}

bool CTrevane2Doc::OnOpenDocument(const QString& path, std::string* failure)
{
    std::string why;
    if (!TerminalFile::Load(m_text, path, m_crPlainText, why)) {
        if (failure != nullptr)
            *failure = std::move(why);
        return false;
    }
    emit textReset();
    SetTitle(TitleFor(path));
    return true;
}

bool CTrevane2Doc::OnSaveDocument(const QString& path)
{
    bool plain = false;
    switch (m_saveFormat) {
    case SaveFormat::Plain:
        plain = true;
        break;
    case SaveFormat::Coloured:
        break;
    case SaveFormat::ByExtension:
        plain = QFileInfo(path).suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0;
        break;
    }
    const bool ok = plain ? TerminalFile::SavePlain(m_text, path)
                          : TerminalFile::SaveColoured(m_text, path);
    if (ok)
        SetTitle(TitleFor(path));
    return ok;
}

void CTrevane2Doc::SetSaveFormat(SaveFormat format)
{
    m_saveFormat = format;
}

void CTrevane2Doc::ReadTerminalSettings()
{
    // A missing value keeps the option's current value, as a missing section does.
    for (const StoredOption& option : kStoredOptions)
        this->*option.member = support::GetProfileInt(kSection, option.name, this->*option.member);
    m_nTimestamps = std::clamp(m_nTimestamps, 0, kStampFormCount - 1);
    m_nFrameGapMs = std::clamp(m_nFrameGapMs, 0, kMaxFrameGapMs);
}

bool CTrevane2Doc::WriteTerminalSettings() const
{
    bool ok = true;
    for (const StoredOption& option : kStoredOptions)
        ok = support::WriteProfileInt(kSection, option.name, this->*option.member) && ok;
    return ok;
}
