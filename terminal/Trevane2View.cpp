#include "terminal/Trevane2View.h"

#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/StampClock.h"
#include "resources/MenuTable.h"
#include "resources/StringTable.h"
#include "support/LogFile.h"
#include "support/LogFolder.h"
#include "terminal/Choosers.h"
#include "terminal/FindBar.h"
#include "terminal/Trevane2Doc.h"
#include "text/LineFeedCount.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// One repaint per frame at most, however many blocks arrive in between.
constexpr int kRepaintIntervalMs = 16;
// 256 MB of UTF-16.
constexpr std::uint64_t kClipboardLimitUnits = std::uint64_t(128) << 20;
constexpr int kMargin = 2;

}  // namespace

CTrevane2View::CTrevane2View(CTrevane2Doc* doc, CAppearance* appearance, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_pDoc(doc),
      m_pAppearance(appearance),
      m_crInsert(appearance->m_crReceived)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    // A fixed scroll bar keeps the column count from flapping as it appears.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(pal);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(false);  // paintEvent fills what it paints
    setFont(m_pAppearance->TerminalFont());
    connect(m_pDoc, &CTrevane2Doc::textReset, this, &CTrevane2View::OnTextReset);
    connect(m_pDoc, &CTrevane2Doc::textDropped, this, &CTrevane2View::OnTextDropped);
    connect(m_pDoc, &CTrevane2Doc::textChanged, this, &CTrevane2View::ScheduleRepaint);
    connect(m_pDoc, &CTrevane2Doc::historyNotice, this, &CTrevane2View::logNotice);
    UpdateMetrics();
}

CTrevane2View::~CTrevane2View()
{
    delete m_pFindBar;  // while the view it reports to is still whole
    m_pFindBar = nullptr;
    if (m_pReceiveLog) {
        m_pReceiveLog->Write("Logging End!\n");
        m_pReceiveLog.reset();
    }
}

void CTrevane2View::OnInitialUpdate()
{
    m_strTitle = QStringLiteral("%1 - Kestrana").arg(QStringLiteral("No File"));
    m_pDoc->SetTitle(m_strTitle);
    m_lineEntry.ResetHexLine();

    m_pDoc->ReadTerminalSettings();

    const platform::LocalTime now = platform::GetLocalTime();
    char name[32];
    std::snprintf(name, sizeof name, "receive%02d%02d.log", now.month, now.day);
    // The old logger ends before the new one opens, so the two never write
    // the same file at once; an earlier day's file keeps its end line.
    if (m_pReceiveLog) {
        m_pReceiveLog->Write("Logging End!\n");
        m_pReceiveLog.reset();
    }
    m_pReceiveLog = std::make_unique<support::CLogFile>(support::LogFilePath(name));
    // Called on the logger's writing thread; the signal reaches the frame
    // queued from there.
    m_pReceiveLog->SetWriteStatusListener(
        [this](bool, const std::string& text) { emit logNotice(QString::fromLocal8Bit(text)); });
    m_pReceiveLog->Write("Receice Logging Start!\n");
    if (!m_pReceiveLog->Notice().empty())
        emit logNotice(QString::fromLocal8Bit(m_pReceiveLog->Notice()));
}

bool CTrevane2View::ShowReceived(const char* bytes, int length)
{
    const std::int64_t now = platform::MonotonicNs();
    return ShowBlock(bytes, length, BlockPresenter::Direction::Received, now, now);
}

bool CTrevane2View::ShowReceived(const char* bytes, int length, std::int64_t firstNs, std::int64_t lastNs)
{
    return ShowBlock(bytes, length, BlockPresenter::Direction::Received, firstNs, lastNs);
}

bool CTrevane2View::ShowSent(const char* bytes, int length)
{
    const std::int64_t now = platform::MonotonicNs();
    return ShowBlock(bytes, length, BlockPresenter::Direction::Sent, now, now);
}

BlockPresenter& CTrevane2View::Presenter()
{
    BlockPresenter::Options options;
    options.hex = m_pDoc->m_bHexMode != 0;
    options.frames = m_pDoc->m_bHexFrames != 0;
    options.stamps = static_cast<StampForm>(m_pDoc->m_nTimestamps);
    options.joinGapMs = m_pDoc->m_nFrameGapMs;
    options.columns = m_nColumns;
    m_presenter.SetOptions(options);
    m_presenter.SetColors({m_pAppearance->m_crReceived, m_pAppearance->m_crSent, m_pAppearance->m_crStamp});
    return m_presenter;
}

bool CTrevane2View::ShowBlock(const char* bytes, int length, BlockPresenter::Direction direction,
                              std::int64_t firstNs, std::int64_t lastNs)
{
    SetInsertColor(direction == BlockPresenter::Direction::Received ? m_pAppearance->m_crReceived
                                                                    : m_pAppearance->m_crSent);
    if (bytes == nullptr || length <= 0)
        return true;
    const auto n = static_cast<std::size_t>(length);
    TerminalText& text = m_pDoc->Text();
    if (m_bKeepText)
        Presenter().Present(text, direction, bytes, n, firstNs, lastNs);
    if (m_pDoc->m_bHexMode && m_pReceiveLog) {
        static const char kHex[] = "0123456789ABCDEF";
        m_logLine.resize(3 * n + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            m_logLine[3 * i] = kHex[byte >> 4];
            m_logLine[3 * i + 1] = kHex[byte & 0xF];
            m_logLine[3 * i + 2] = ' ';
        }
        m_logLine[3 * n] = '\n';
        m_pReceiveLog->WriteText(m_logLine);
    }
    m_selAnchor = m_selEnd = text.Size();
    ScheduleRepaint();
    return true;
}

void CTrevane2View::AppendText(const char* text, int /*length*/, bool sent)
{
    const std::uint32_t colorref = sent ? m_pAppearance->m_crSent : m_pAppearance->m_crReceived;
    SetInsertColor(colorref);
    if (text == nullptr)
        return;
    TerminalText& model = m_pDoc->Text();
    Presenter().PresentEcho(model, sent ? BlockPresenter::Direction::Sent : BlockPresenter::Direction::Received,
                            text, std::strlen(text), platform::MonotonicNs());
    m_selAnchor = m_selEnd = model.Size();
    ScheduleRepaint();
}

void CTrevane2View::ShowSentFrame(const std::uint8_t* bytes, std::size_t n, std::uint64_t echoFrom)
{
    const std::uint64_t size = m_pDoc->Text().Size();
    if (echoFrom < size)
        EraseText(echoFrom, size - echoFrom);
    ShowSent(reinterpret_cast<const char*>(bytes), static_cast<int>(n));
}

void CTrevane2View::BeginTypedHexLine()
{
    Presenter().BeginTypedHexLine(m_pDoc->Text());
}

void CTrevane2View::SetInsertColor(std::uint32_t colorref)
{
    // The caret goes to the end and any selection is dropped; the end comes
    // into view with the next repaint.
    m_crInsert = colorref;
    const std::uint64_t end = m_pDoc->Text().Size();
    if (m_selAnchor != end || m_selEnd != end) {
        m_selAnchor = m_selEnd = end;
        ScheduleRepaint();
    }
    if (!m_bFollowEnd && !m_bHoldView) {
        m_bFollowEnd = true;
        ScheduleRepaint();
    }
}

QString CTrevane2View::PlainText() const
{
    const TerminalText& text = m_pDoc->Text();
    QString out(static_cast<qsizetype>(text.Size()), Qt::Uninitialized);
    text.Copy(0, static_cast<std::size_t>(text.Size()), reinterpret_cast<char16_t*>(out.data()));
    return out;
}

void CTrevane2View::FlushPending()
{
    m_repaintTimer.stop();
    UpdateScrollBar();
    if (viewport()->isVisible())
        viewport()->repaint();
    else
        viewport()->update();
}

void CTrevane2View::ScheduleRepaint()
{
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start(kRepaintIntervalMs, this);
}

void CTrevane2View::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_repaintTimer.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    m_repaintTimer.stop();
    UpdateScrollBar();
    viewport()->update();
}

void CTrevane2View::OnTextReset()
{
    m_presenter.Reset();
    m_lineEntry.ResetHexLine();  // what was shown of it is gone
    if (m_pFindBar != nullptr)
        m_pFindBar->CancelSearch();  // it searched the text that is gone
    ClearFoundText();
    m_pDoc->Text().SetWrapColumns(m_nColumns);
    m_selAnchor = m_selEnd = m_pDoc->Text().Size();
    m_bFollowEnd = true;
    ScheduleRepaint();
}

void CTrevane2View::OnTextDropped()
{
    // Offsets moved: a selection or hit would now name other text.
    ClearFoundText();
    m_selAnchor = m_selEnd = m_pDoc->Text().Size();
    ScheduleRepaint();
}

void CTrevane2View::ApplyAppearanceFont()
{
    setFont(m_pAppearance->TerminalFont());
}

bool CTrevane2View::PickFont()
{
    const std::optional<QFont> chosen = ChooseFont(font(), this);
    // The caret ends at the end of the text either way.
    m_selAnchor = m_selEnd = m_pDoc->Text().Size();
    viewport()->update();
    if (!chosen)
        return false;
    // Shown as the stored record will give it back after a restart.
    setFont(CAppearance::FontOf(CharFormatFromFont(*chosen)));
    return true;
}

void CTrevane2View::OnFileOpen()
{
    const OpenFilesRequest request{
        QStringLiteral("mot"),
        {QStringLiteral("Motorola Hex Files (*.mot)"), QStringLiteral("All Files (*.*)")}};
    const QStringList chosen = ChooseFilesToOpen(request, window());
    if (chosen.isEmpty())
        return;
    // Only one file means anything here: the first one chosen.
    const QString path = QFileInfo(chosen.front()).absoluteFilePath();
    // Counted before anything is recorded, so a file that cannot be read
    // leaves the previous choice and title in place.
    const LineFeedCount count = CountFileLineFeeds(QFile::encodeName(path).toStdString());
    if (!count.ok()) {
        platform::ShowMessageBox(count.failure);
        return;
    }
    m_pDoc->m_strUploadPath = path;
    m_pDoc->m_nUploadLines = count.lineFeeds;
    m_strTitle = QString::fromUtf8(res::kDocTitleFormat).arg(QFileInfo(path).fileName());
    m_pDoc->SetTitle(m_strTitle);
}

int CTrevane2View::VisibleRows() const
{
    return std::max(1, (viewport()->height() - kMargin) / m_nLineHeight);
}

void CTrevane2View::UpdateMetrics()
{
    const QFontMetrics metrics(font());
    m_nCharWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_nLineHeight = std::max(1, metrics.lineSpacing());
    m_nAscent = metrics.ascent();
    const int columns = std::max(1, (viewport()->width() - 2 * kMargin) / m_nCharWidth);

    TerminalText& text = m_pDoc->Text();
    if (columns != text.WrapColumns()) {
        // Keep the first visible character on screen across the re-wrap.
        std::uint64_t topOffset = 0;
        if (!m_bFollowEnd && verticalScrollBar()->value() > 0) {
            topOffset = text.RowStart(static_cast<std::uint64_t>(verticalScrollBar()->value()));
        }
        text.SetWrapColumns(columns);
        UpdateScrollBar();
        if (!m_bFollowEnd)
            verticalScrollBar()->setValue(
                static_cast<int>(std::min<std::uint64_t>(text.RowOfOffset(topOffset), INT_MAX)));
    } else {
        UpdateScrollBar();
    }
    m_nColumns = columns;
    viewport()->update();
}

void CTrevane2View::UpdateScrollBar()
{
    const std::uint64_t rows = m_pDoc->Text().RowCount();
    const auto visible = static_cast<std::uint64_t>(VisibleRows());
    const int maximum = static_cast<int>(std::min<std::uint64_t>(rows > visible ? rows - visible : 0, INT_MAX));
    QScrollBar* bar = verticalScrollBar();
    const bool follow = m_bFollowEnd;
    bar->setRange(0, maximum);
    bar->setPageStep(static_cast<int>(visible));
    bar->setSingleStep(1);
    if (follow) {
        bar->setValue(maximum);
    } else {
        const TerminalText& text = m_pDoc->Text();
        const auto row = static_cast<int>(
            std::min<std::uint64_t>(text.RowOfOffset(std::min(m_topOffset, text.Size())), INT_MAX));
        if (row != bar->value())
            bar->setValue(row);
    }
    m_bFollowEnd = follow || (!m_bHoldView && bar->value() >= maximum);
}

void CTrevane2View::scrollContentsBy(int, int)
{
    m_bFollowEnd = !m_bHoldView && verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    m_topOffset = FirstVisibleOffset();
    viewport()->update();
}

void CTrevane2View::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateMetrics();
    PlaceFindBar();
}

void CTrevane2View::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateMetrics();
}

void CTrevane2View::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::white);
    painter.setFont(font());

    const TerminalText& text = m_pDoc->Text();
    const std::uint64_t rows = text.RowCount();
    const auto first = static_cast<std::uint64_t>(verticalScrollBar()->value());
    const std::uint64_t selFrom = std::min(m_selAnchor, m_selEnd);
    const std::uint64_t selTo = std::max(m_selAnchor, m_selEnd);
    const int visible = VisibleRows() + 1;
    const QColor selection = palette().color(QPalette::Highlight);

    QString buffer;
    std::vector<int> cellX;  // cell column where each unit of the row starts, and the row's end
    for (int i = 0; i < visible && first + static_cast<std::uint64_t>(i) < rows; ++i) {
        const std::uint64_t row = first + static_cast<std::uint64_t>(i);
        const auto length = static_cast<std::size_t>(text.RowLength(row));
        const std::uint64_t start = text.RowStart(row);
        const int y = kMargin + i * m_nLineHeight;
        if (length == 0)
            continue;

        buffer.resize(static_cast<qsizetype>(length));
        auto* chars = reinterpret_cast<char16_t*>(buffer.data());
        text.Copy(start, length, chars);
        bool uniform = true;
        cellX.resize(length + 1);
        int x = 0;
        for (std::size_t k = 0; k < length; ++k) {
            if (chars[k] < 0x20 || chars[k] == 0x7F)
                chars[k] = u' ';
            cellX[k] = x;
            const int width = TerminalText::CellWidth(chars[k]);
            uniform = uniform && width == 1;
            x += width;
        }
        cellX[length] = x;

        const std::uint64_t end = start + length;
        if (m_foundFrom < m_foundTo && m_foundFrom < end && m_foundTo > start) {
            const int a = cellX[static_cast<std::size_t>(std::max(m_foundFrom, start) - start)];
            const int b = cellX[static_cast<std::size_t>(std::min(m_foundTo, end) - start)];
            painter.fillRect(kMargin + a * m_nCharWidth, y, (b - a) * m_nCharWidth, m_nLineHeight,
                             QColor(255, 230, 90));
        }
        if (selFrom < selTo && selFrom < end && selTo > start) {
            const int a = cellX[static_cast<std::size_t>(std::max(selFrom, start) - start)];
            const int b = cellX[static_cast<std::size_t>(std::min(selTo, end) - start)];
            painter.fillRect(kMargin + a * m_nCharWidth, y, (b - a) * m_nCharWidth, m_nLineHeight,
                             selection);
        }

        for (std::uint64_t at = start; at < end;) {
            const std::uint64_t runEnd = std::min(text.ColorRunEnd(at), end);
            const auto from = static_cast<std::size_t>(at - start);
            const auto to = static_cast<std::size_t>(runEnd - start);
            painter.setPen(ColorFromColorRef(text.ColorAt(at)));
            if (uniform) {
                painter.drawText(kMargin + static_cast<int>(from) * m_nCharWidth, y + m_nAscent,
                                 buffer.mid(static_cast<qsizetype>(from), static_cast<qsizetype>(to - from)));
            } else {
                // Wide characters come from another font whose advance is not
                // two cells: each goes on its own cells, and the one-cell
                // stretches between them are drawn whole.
                for (std::size_t k = from; k < to;) {
                    std::size_t next = k + 1;
                    if (TerminalText::CellWidth(chars[k]) == 1) {
                        while (next < to && TerminalText::CellWidth(chars[next]) == 1)
                            ++next;
                    } else {
                        while (next < to && TerminalText::CellWidth(chars[next]) == 0)
                            ++next;
                    }
                    painter.drawText(kMargin + cellX[k] * m_nCharWidth, y + m_nAscent,
                                     buffer.mid(static_cast<qsizetype>(k), static_cast<qsizetype>(next - k)));
                    k = next;
                }
            }
            at = runEnd;
        }
    }

    if (hasFocus()) {
        const QRect caret = CaretRect();
        if (caret.isValid()) {
            painter.fillRect(caret, ColorFromColorRef(m_crInsert));
            if (!m_strPreedit.isEmpty()) {
                // What an input method is composing, underlined at the caret.
                QFont underlined = font();
                underlined.setUnderline(true);
                painter.setFont(underlined);
                painter.setPen(ColorFromColorRef(m_pAppearance->m_crSent));
                painter.drawText(caret.x(), caret.y() + m_nAscent, m_strPreedit);
            }
        }
    }
}

QRect CTrevane2View::CaretRect() const
{
    // The caret always sits after the last character, on the row that
    // character is on (a full row keeps it at its end).
    const TerminalText& text = m_pDoc->Text();
    const auto first = static_cast<std::uint64_t>(verticalScrollBar()->value());
    const int visible = VisibleRows() + 1;
    const std::uint64_t end = text.Size();
    const std::uint64_t row = text.RowOfOffset(end);
    if (row < first || row >= first + static_cast<std::uint64_t>(visible))
        return {};
    const std::uint64_t rowStart = text.RowStart(row);
    int x = 0;
    for (std::uint64_t at = rowStart; at < end; ++at)
        x += TerminalText::CellWidth(text.At(at));
    const int y = kMargin + static_cast<int>(row - first) * m_nLineHeight;
    return QRect(kMargin + x * m_nCharWidth, y, 2, m_nLineHeight);
}

std::size_t CTrevane2View::OffsetAt(const QPoint& pos) const
{
    const TerminalText& text = m_pDoc->Text();
    const std::uint64_t rows = text.RowCount();
    const int rowInView = std::max(0, (pos.y() - kMargin) / m_nLineHeight);
    const std::uint64_t row = std::min<std::uint64_t>(
        static_cast<std::uint64_t>(verticalScrollBar()->value()) + static_cast<std::uint64_t>(rowInView),
        rows - 1);
    const std::uint64_t rowStart = text.RowStart(row);
    const std::uint64_t rowLength = text.RowLength(row);
    // The nearest boundary between characters to the point, in cells.
    const double target = static_cast<double>(pos.x() - kMargin) / m_nCharWidth;
    int x = 0;
    for (std::uint64_t k = 0; k < rowLength; ++k) {
        const int width = TerminalText::CellWidth(text.At(rowStart + k));
        if (width == 0)
            continue;  // inside a surrogate pair
        if (x + width / 2.0 > target)
            return static_cast<std::size_t>(rowStart + k);
        x += width;
    }
    return static_cast<std::size_t>(rowStart + rowLength);
}

void CTrevane2View::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_selAnchor = m_selEnd = OffsetAt(event->position().toPoint());
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void CTrevane2View::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        m_selEnd = OffsetAt(event->position().toPoint());
        viewport()->update();
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

int CTrevane2View::CharacterOfKey(const QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier | Qt::ShiftModifier);
    // Alt and Meta combinations belong to menus and the desktop.
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return -1;
    // Enter (main or keypad), Backspace and Tab by their keys, whatever text
    // the event carries; with Ctrl, as a terminal's keyboard has them: LF,
    // DEL, and no Tab at all.
    const bool ctrl = (modifiers & Qt::ControlModifier) != 0;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return ctrl ? 10 : 13;
    if (key == Qt::Key_Backspace)
        return ctrl ? 0x7F : 8;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return ctrl ? -1 : 9;
    if (key == Qt::Key_Delete || key == Qt::Key_Escape)
        return -1;
    if (ctrl) {
        // Ctrl+@ .. Ctrl+_ type the control codes 0 to 31; Ctrl+Space a space.
        if (key >= Qt::Key_At && key <= Qt::Key_Underscore)
            return key & 0x1F;
        return key == Qt::Key_Space ? 0x20 : -1;
    }
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).unicode() < 0x80)
        return text.at(0).unicode();
    return -1;
}

bool CTrevane2View::HandleCommandKey(const QKeyEvent* event)
{
    static const std::vector<std::pair<QKeySequence, unsigned>> accelerators = [] {
        std::vector<std::pair<QKeySequence, unsigned>> parsed;
        for (const res::Accelerator& accel : res::kAccelerators)
            parsed.emplace_back(QKeySequence(QString::fromLatin1(accel.keys)), accel.id);
        return parsed;
    }();
    const QKeySequence pressed(QKeyCombination(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key())));
    for (const auto& [sequence, id] : accelerators) {
        if (sequence != pressed)
            continue;
        switch (id) {
        case res::ID_EDIT_COPY:
            OnEditCopy();
            break;
        case res::ID_EDIT_PASTE:
            OnEditPaste();
            break;
        case res::ID_EDIT_SELECT_ALL:
            OnEditSelectAll();
            break;
        case res::ID_EDIT_FIND:
            OnEditFind();
            break;
        case res::ID_EDIT_REPEAT:
            OnEditRepeat();
            break;
        default:
            break;  // the frame's commands, and those that do nothing on a terminal
        }
        return true;
    }
    return false;
}

void CTrevane2View::keyPressEvent(QKeyEvent* event)
{
    // A window accelerator is never a character on the line, whether or not
    // the frame took it first.
    if (HandleCommandKey(event)) {
        event->accept();
        return;
    }
    const int c = CharacterOfKey(event);
    if (c >= 0) {
        ClearFoundText();
        SetInsertColor(m_pAppearance->m_crSent);
        OnChar(static_cast<char16_t>(c));
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool typesText = !text.isEmpty() && text.at(0) >= QChar(0x20) && text.at(0) != QChar(0x7F) &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typesText) {
        // Beyond ASCII (a dead key, a layout's letter): the string, sent once.
        ClearFoundText();
        SetInsertColor(m_pAppearance->m_crSent);
        m_lineEntry.OnText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               static_cast<std::size_t>(text.size())),
                           false);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);  // scrolling keys
}

bool CTrevane2View::focusNextPrevChild(bool)
{
    return false;  // Tab is a character of the line, not a move to the next widget
}

void CTrevane2View::inputMethodEvent(QInputMethodEvent* event)
{
    m_strPreedit = event->preeditString();
    const QString commit = event->commitString();
    if (!commit.isEmpty()) {
        ClearFoundText();
        SetInsertColor(m_pAppearance->m_crSent);
        m_lineEntry.OnText(std::u16string_view(reinterpret_cast<const char16_t*>(commit.utf16()),
                                               static_cast<std::size_t>(commit.size())),
                           false);
    }
    viewport()->update();
    event->accept();
}

QVariant CTrevane2View::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle: {
        const QRect caret = CaretRect();
        return caret.isValid() ? caret.translated(viewport()->pos()) : QRect(viewport()->pos(), QSize(2, m_nLineHeight));
    }
    case Qt::ImFont:
        return font();
    case Qt::ImHints:
        return int(Qt::ImhNoPredictiveText);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

QString CTrevane2View::SelectedText() const
{
    const std::uint64_t from = std::min(m_selAnchor, m_selEnd);
    const std::uint64_t to = std::max(m_selAnchor, m_selEnd);
    QString selected(static_cast<qsizetype>(to - from), Qt::Uninitialized);
    if (from < to)
        m_pDoc->Text().Copy(from, static_cast<std::size_t>(to - from), reinterpret_cast<char16_t*>(selected.data()));
    return selected;
}

void CTrevane2View::OnEditCopy()
{
    // The clipboard holds one string in memory (and other programs take a
    // copy of it): beyond 256 MB of text, saving is the way to keep it.
    const std::uint64_t length = std::max(m_selAnchor, m_selEnd) - std::min(m_selAnchor, m_selEnd);
    if (length > kClipboardLimitUnits) {
        platform::ShowMessageBox(
            "The selection is too large for the clipboard.",
            QStringLiteral("%1 characters are selected; the clipboard takes at most %2. "
                           "File > Save As keeps the whole text.")
                .arg(QLocale::c().toString(static_cast<qulonglong>(length)),
                     QLocale::c().toString(static_cast<qulonglong>(kClipboardLimitUnits)))
                .toStdString());
        return;
    }
    // One copy of the text: read piece by piece straight into the string.
    const QString selected = SelectedText();
    if (!selected.isEmpty())
        QGuiApplication::clipboard()->setText(selected);
}

void CTrevane2View::OnEditPaste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    ClearFoundText();
    SetInsertColor(m_pAppearance->m_crSent);
    m_lineEntry.OnText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())),
                       true);
}

void CTrevane2View::OnEditSelectAll()
{
    m_selAnchor = 0;
    m_selEnd = m_pDoc->Text().Size();
    viewport()->update();
}

void CTrevane2View::OnEditFind()
{
    if (m_pFindBar == nullptr)
        m_pFindBar = new FindBar(*this, this);  // owned by the view
    m_pFindBar->Open();
    PlaceFindBar();
}

void CTrevane2View::OnEditRepeat()
{
    if (m_pFindBar == nullptr || !m_pFindBar->HasText()) {
        OnEditFind();
        return;
    }
    if (!m_pFindBar->isVisible()) {
        m_pFindBar->show();
        PlaceFindBar();
    }
    m_pFindBar->FindNext();
}

void CTrevane2View::PlaceFindBar()
{
    // Over the top right corner of the text, clear of the scroll bar.
    if (m_pFindBar != nullptr)
        m_pFindBar->move(std::max(0, viewport()->geometry().right() - m_pFindBar->width() - 4),
                         viewport()->y() + 4);
}

void CTrevane2View::ShowFoundText(std::uint64_t from, std::uint64_t to)
{
    m_foundFrom = from;
    m_foundTo = to;
    m_selAnchor = from;
    m_selEnd = to;
    m_bHoldView = true;
    m_bFollowEnd = false;
    UpdateScrollBar();
    const TerminalText& text = m_pDoc->Text();
    const std::uint64_t row = text.RowOfOffset(from);
    const std::uint64_t top = row > static_cast<std::uint64_t>(VisibleRows() / 2) ? row - static_cast<std::uint64_t>(VisibleRows() / 2) : 0;
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::uint64_t>(top, INT_MAX)));
    viewport()->update();
}

void CTrevane2View::ClearFoundText()
{
    const bool had = m_foundFrom < m_foundTo || m_bHoldView;
    m_foundFrom = m_foundTo = 0;
    m_bHoldView = false;
    if (had)
        ScheduleRepaint();
}

std::uint64_t CTrevane2View::FirstVisibleOffset() const
{
    const TerminalText& text = m_pDoc->Text();
    const auto row = std::min<std::uint64_t>(static_cast<std::uint64_t>(verticalScrollBar()->value()),
                                             text.RowCount() - 1);
    return text.RowStart(row);
}

const TerminalText& CTrevane2View::Text() const
{
    return m_pDoc->Text();
}

std::uint64_t CTrevane2View::AppendTyped(std::u16string_view typed)
{
    TerminalText& model = m_pDoc->Text();
    const std::uint64_t at = Presenter().PresentTyped(model, typed, platform::MonotonicNs());
    m_selAnchor = m_selEnd = model.Size();
    ScheduleRepaint();
    return at;
}

void CTrevane2View::EraseText(std::uint64_t offset, std::uint64_t n)
{
    TerminalText& model = m_pDoc->Text();
    model.Erase(offset, n);
    m_selAnchor = m_selEnd = model.Size();
    m_foundFrom = m_foundTo = 0;
    ScheduleRepaint();
}

void CTrevane2View::Beep()
{
    emit inputRefused();
    QApplication::beep();
}
