#include "automation/HexEdit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include <memory>

namespace {

bool IsLetterOrDigit(char32_t c) { return QChar::isLetterOrNumber(c); }

// The one character a key types, or none (0) for keys that type several,
// none, or only with a command modifier held.
char32_t TypedCharacter(const QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return 0;
    const QList<uint> chars = event->text().toUcs4();
    return chars.size() == 1 ? static_cast<char32_t>(chars.front()) : 0;
}

}  // namespace

CHexEdit::CHexEdit(QWidget* parent) : QLineEdit(parent) {}

void CHexEdit::PairText(const QString& text, bool dropWhiteSpace)
{
    m_strScratch.clear();
    for (const uint code : text.toUcs4()) {
        const auto c = static_cast<char32_t>(code);
        if (dropWhiteSpace && QChar::isSpace(c))
            continue;
        m_strScratch += QString::fromUcs4(&c, 1);
        if (!IsLetterOrDigit(c))
            continue;
        if (m_bSecondOfPair)
            m_strScratch += QLatin1Char(' ');
        m_bSecondOfPair = !m_bSecondOfPair;
    }
}

void CHexEdit::InsertAsTyped(const QString& text)
{
    if (isReadOnly())
        return;
    PairText(text, true);
    if (!m_strScratch.isEmpty())
        insert(m_strScratch);
}

void CHexEdit::PasteAsTyped()
{
    InsertAsTyped(QGuiApplication::clipboard()->text());
}

void CHexEdit::PairFromText()
{
    int count = 0;
    for (const uint code : text().toUcs4())
        count += IsLetterOrDigit(static_cast<char32_t>(code)) ? 1 : 0;
    m_bSecondOfPair = count % 2;
}

void CHexEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        PasteAsTyped();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QLineEdit::keyPressEvent(event);
        PairFromText();
        return;
    }
    const char32_t c = TypedCharacter(event);
    if (c == 0 || !IsLetterOrDigit(c) || isReadOnly()) {
        QLineEdit::keyPressEvent(event);  // inserted, deleted or moved as usual
        return;
    }
    if (!m_bSecondOfPair) {
        m_bSecondOfPair = 1;
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The second of a pair goes in with its space in one step.
    PairText(event->text(), false);
    insert(m_strScratch);
    event->accept();
}

void CHexEdit::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    // The menu's paste goes through the pairing too.
    for (QAction* action : menu->actions()) {
        if (disconnect(action, &QAction::triggered, this, &QLineEdit::paste))
            connect(action, &QAction::triggered, this, &CHexEdit::PasteAsTyped);
        for (void (QLineEdit::*step)() : {&QLineEdit::undo, &QLineEdit::redo})
            if (disconnect(action, &QAction::triggered, this, step))
                connect(action, &QAction::triggered, this, [this, step] {
                    (this->*step)();
                    PairFromText();
                });
    }
    menu->exec(event->globalPos());
}

void CHexEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->button() != Qt::MiddleButton || !clipboard->supportsSelection() || isReadOnly()) {
        QLineEdit::mouseReleaseEvent(event);
        return;
    }
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    InsertAsTyped(clipboard->text(QClipboard::Selection));
    event->accept();
}

void CHexEdit::dropEvent(QDropEvent* event)
{
    // A move within the box keeps its own text and pairs as they are.
    if (event->source() == this || !event->mimeData()->hasText() || isReadOnly()) {
        QLineEdit::dropEvent(event);
        return;
    }
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    InsertAsTyped(event->mimeData()->text());
    event->acceptProposedAction();
    setFocus();
}

void CHexEdit::inputMethodEvent(QInputMethodEvent* event)
{
    // A commit that ends the composing is typed text; anything still being
    // composed is the input method's own business.
    if (event->commitString().isEmpty() || !event->preeditString().isEmpty() ||
        event->replacementLength() != 0) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    const QString committed = event->commitString();
    QInputMethodEvent endComposing;
    QLineEdit::inputMethodEvent(&endComposing);
    InsertAsTyped(committed);
    event->accept();
}
