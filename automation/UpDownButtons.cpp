#include "automation/UpDownButtons.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <tuple>

CUpDownButtons::CUpDownButtons(QWidget* parent)
    : QWidget(parent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto [button, arrow, name] : {std::tuple{m_pUp, Qt::UpArrow, "up"},
                                       std::tuple{m_pDown, Qt::DownArrow, "down"}}) {
        button->setObjectName(QString::fromLatin1(name));
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        button->setFixedWidth(18);
        layout->addWidget(button);
    }
    connect(m_pUp, &QToolButton::clicked, this, [this] { emit deltaPos(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
}

void CUpDownButtons::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        emit deltaPos(event->key() == Qt::Key_Up ? 1 : -1);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
