#include "app/CommEventsDlg.h"

#include "comm/CommEvents.h"
#include "support/HexDigit.h"

#include "ui_CommEventsDlg.h"

#include <QCheckBox>

namespace {

struct EventBox {
    QCheckBox* Ui::CommEventsDlg::*box;
    std::uint32_t bit;
};

constexpr EventBox kEventBoxes[] = {
    {&Ui::CommEventsDlg::check1020, EV_BREAK},  {&Ui::CommEventsDlg::check1021, EV_CTS},
    {&Ui::CommEventsDlg::check1022, EV_DSR},    {&Ui::CommEventsDlg::check1023, EV_ERR},
    {&Ui::CommEventsDlg::check1024, EV_RING},   {&Ui::CommEventsDlg::check1025, EV_RLSD},
    {&Ui::CommEventsDlg::check1026, EV_RXCHAR}, {&Ui::CommEventsDlg::check1027, EV_RXFLAG},
    {&Ui::CommEventsDlg::check1028, EV_TXEMPTY},
};

// The byte itself, read as Latin-1; a NUL shows as nothing.
QString FlagCharText(std::uint8_t flag)
{
    return flag == 0 ? QString() : QString(QChar(static_cast<char16_t>(flag)));
}

}  // namespace

CCommEventsDlg::CCommEventsDlg(const PortSettings& settings, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CommEventsDlg>()), m_settings(settings)
{
    m_ui->setupUi(this);
    // The hex edit takes upper-case digits, as it shows them.
    QLineEdit* hex = m_ui->edit1029;
    connect(hex, &QLineEdit::textEdited, this, [hex](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text)
            return;
        const int position = hex->cursorPosition();
        hex->setText(upper);
        hex->setCursorPosition(position);
    });
    connect(m_ui->button1, &QPushButton::clicked, this, &CCommEventsDlg::accept);
    connect(m_ui->button1030, &QPushButton::clicked, this, &CCommEventsDlg::OnDefaults);
    FillControls(m_settings.m_dwEventMask);
}

CCommEventsDlg::~CCommEventsDlg() = default;

void CCommEventsDlg::FillControls(std::uint32_t mask)
{
    for (const EventBox& entry : kEventBoxes)
        ((*m_ui).*entry.box)->setChecked((mask & entry.bit) != 0);
    ShowFlag(static_cast<std::uint8_t>(m_settings.m_chFlag));
    // Only a mask that watches the flag character lets it be edited; ticking
    // the box later does not change that while the dialog is open.
    const bool watchingFlag = (mask & EV_RXFLAG) != 0;
    m_ui->edit1029->setEnabled(watchingFlag);
    m_ui->edit1036->setEnabled(watchingFlag);
}

void CCommEventsDlg::OnDefaults()
{
    FillControls(kDefaultEventMask);
}

std::uint32_t CCommEventsDlg::CheckedMask() const
{
    std::uint32_t mask = 0;
    for (const EventBox& entry : kEventBoxes)
        if (((*m_ui).*entry.box)->isChecked())
            mask |= entry.bit;
    return mask;
}

std::uint8_t CCommEventsDlg::FlagFromHexText(const QString& text, std::uint8_t current)
{
    if (text.isEmpty())
        return 0;
    const QByteArray digits = text.left(2).toLatin1();
    const int high = support::HexDigit(digits[0]);
    if (high < 0)
        return current;
    if (digits.size() < 2)
        return static_cast<std::uint8_t>(high);
    const int low = support::HexDigit(digits[1]);
    return static_cast<std::uint8_t>(low < 0 ? high : high * 16 + low);
}

QString CCommEventsDlg::FlagHexText(std::uint8_t flag)
{
    return QStringLiteral("%1").arg(static_cast<uint>(flag), 2, 16, QLatin1Char('0')).toUpper();
}

void CCommEventsDlg::ShowFlag(std::uint8_t flag)
{
    m_ui->edit1029->setText(FlagHexText(flag));
    m_ui->edit1036->setText(FlagCharText(flag));
}

void CCommEventsDlg::accept()
{
    const std::uint8_t flag =
        FlagFromHexText(m_ui->edit1029->text(), static_cast<std::uint8_t>(m_settings.m_chFlag));
    m_ui->edit1036->setText(FlagCharText(flag));
    m_settings.m_dwEventMask = CheckedMask();
    m_settings.m_chFlag = static_cast<char>(flag);
    QDialog::accept();
}
