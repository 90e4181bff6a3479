#pragma once
// The terminal window: paints the document's text (only the visible lines),
// appends received and sent data in their colours, and owns the receive log.
// Appends go to the text model at once; the widget repaints at most once per
// frame interval, so a burst of blocks costs one repaint.

#include "terminal/Appearance.h"
#include "terminal/LineEntry.h"
#include "terminal/TerminalScreen.h"
#include "text/BlockPresenter.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace support { class CLogFile; }
class CTrevane2Doc;
class FindBar;
class LineSender;

class CTrevane2View : public QAbstractScrollArea, public TerminalScreen {
    Q_OBJECT
public:
    CTrevane2View(CTrevane2Doc* doc, CAppearance* appearance, QWidget* parent = nullptr);
    ~CTrevane2View() override;  // "Logging End!\n" to the receive log

    CTrevane2Doc* GetDocument() const { return m_pDoc; }

    // Title, options re-read, receive log opened afresh with its start line.
    void OnInitialUpdate();

    // A received block in the received colour, as text or hex groups by the
    // hex option (stamps and frames as the options say, BlockPresenter.h); in
    // hex mode one receive-log line per block. Read from firstNs to lastNs
    // (MonotonicNs); without times, now. Always true.
    bool ShowReceived(const char* bytes, int length);
    bool ShowReceived(const char* bytes, int length, std::int64_t firstNs, std::int64_t lastNs);
    // The same in the sent colour, at the time of the call.
    bool ShowSent(const char* bytes, int length);
    // Without a window nobody reads the terminal text: blocks then only go
    // to the receive log, and the text (and its history file) stays empty.
    void SetTextKept(bool kept) { m_bKeepText = kept; }
    // Where "since open" stamps count from (the port opened).
    void SetStampOrigin(std::int64_t monotonicNs) { m_presenter.SetOrigin(monotonicNs); }
    // A typed hex line with frames on: its echo is taken back when it still
    // ends the text, and the bytes are shown as a sent frame.
    void ShowSentFrame(const std::uint8_t* bytes, std::size_t n, std::uint64_t echoFrom) override;
    void BeginTypedHexLine() override;
    // NUL-terminated text as given (length is not used), in the sent colour
    // when sent, else the received colour.
    void AppendText(const char* text, int length, bool sent);
    // The colour the next inserted text gets; the caret goes to the end.
    void SetInsertColor(std::uint32_t colorref);
    std::uint32_t InsertColor() const { return m_crInsert; }

    QString PlainText() const;
    // Repaints now what is waiting for the next frame.
    void FlushPending();
    // True while a repaint is scheduled and not yet done.
    bool HasPendingRepaint() const { return m_repaintTimer.isActive(); }

    // Text columns and rows that fit the viewport with the current font.
    int Columns() const { return m_nColumns; }
    int VisibleRows() const;

    // Takes the appearance's font (after the appearance changed).
    void ApplyAppearanceFont();

    CAppearance* GetAppearance() const { return m_pAppearance; }
    // The font chooser on the terminal's font; on OK the whole terminal takes
    // the chosen font at once (as its stored record gives it back). The
    // appearance is not changed. True when a font was chosen.
    bool PickFont();

    // File > Open: choose an S-record file, record its path and line-feed
    // count in the document and its name in the title. A file that cannot be
    // read is reported and changes nothing.
    void OnFileOpen();

    // Typing and sending. Typed bytes go to `sender` (the frame's port);
    // without one, keys are only shown.
    void SetLineSender(LineSender* sender) { m_lineEntry.SetSender(sender); }
    // One typed character, after the sent colour has been set.
    void OnChar(char16_t c) { m_lineEntry.OnChar(c); }
    const std::string& HexLine() const { return m_lineEntry.HexLine(); }
    int HexPairOpen() const { return m_lineEntry.HexPairOpen(); }

    // The edit commands of the window: select all and copy act on the
    // terminal text; paste sends the clipboard's text as if typed; find opens
    // the find bar, find again goes to the next hit.
    void OnEditCopy();
    void OnEditPaste();
    void OnEditSelectAll();
    void OnEditFind();
    void OnEditRepeat();
    QString SelectedText() const;
    FindBar* GetFindBar() const { return m_pFindBar; }
    // Selects [from, to), shows it highlighted and scrolls it into view; it
    // stays in view while blocks arrive until a key is typed or the bar closes.
    void ShowFoundText(std::uint64_t from, std::uint64_t to) override;
    void ClearFoundText() override;
    std::pair<std::uint64_t, std::uint64_t> FoundText() const override { return {m_foundFrom, m_foundTo}; }
    std::uint64_t FirstVisibleOffset() const override;

    // For the line entry and the find bar.
    const TerminalText& Text() const override;
    std::uint64_t AppendTyped(std::u16string_view text) override;
    void EraseText(std::uint64_t offset, std::uint64_t n) override;
    void Beep() override;
    void Notice(const QString& text) override { emit logNotice(text); }

signals:
    // A line for the user's event box: about the receive log (e.g. that its
    // day's file is held by another running program and which file this run
    // uses instead, or that it cannot be written and later that it can again)
    // or about the terminal history (older text dropped). Emitted on the
    // receive log's writing thread too.
    void logNotice(const QString& text);
    void inputRefused();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    bool focusNextPrevChild(bool next) override;

private:
    bool ShowBlock(const char* bytes, int length, BlockPresenter::Direction direction,
                   std::int64_t firstNs, std::int64_t lastNs);
    // The presenter with the document's options, the width and the colours of now.
    BlockPresenter& Presenter();
    void ScheduleRepaint();
    void OnTextReset();
    void OnTextDropped();
    void UpdateMetrics();
    void UpdateScrollBar();
    std::size_t OffsetAt(const QPoint& pos) const;
    // Where the caret is drawn, in viewport coordinates.
    QRect CaretRect() const;
    // The key as the character it types (13 Enter, 8 Backspace, 9 Tab,
    // Ctrl+letter its control code), or -1 when it types none of those.
    static int CharacterOfKey(const QKeyEvent* event);
    // An edit command's key reaching the view (no frame took it): done here,
    // never sent. False for keys that are no command.
    bool HandleCommandKey(const QKeyEvent* event);
    void PlaceFindBar();

    CTrevane2Doc* m_pDoc;
    CAppearance* m_pAppearance;
    QString m_strTitle;
    std::unique_ptr<support::CLogFile> m_pReceiveLog;
    std::uint32_t m_crInsert;
    BlockPresenter m_presenter;
    std::string m_logLine;  // a hex block's receive-log line
    QBasicTimer m_repaintTimer;
    bool m_bFollowEnd = true;   // scrolled to the end: stay there as text grows
    bool m_bKeepText = true;
    int m_nColumns = 80;
    int m_nCharWidth = 8;
    int m_nLineHeight = 16;
    int m_nAscent = 12;
    std::size_t m_selAnchor = 0, m_selEnd = 0;  // selection in UTF-16 offsets
    LineEntry m_lineEntry{*this, *m_pDoc};
    QString m_strPreedit;               // an input method's text still being composed
    FindBar* m_pFindBar = nullptr;      // owned by the view
    std::uint64_t m_foundFrom = 0, m_foundTo = 0;  // the find hit, empty when none
    bool m_bHoldView = false;           // a find hit keeps the view where it is
    // The first character on screen while scrolled back: row counts above it
    // that become exact later (after a re-wrap) move its row, not the text.
    std::uint64_t m_topOffset = 0;
};
