#include "app/CommSettingsDlg.h"

#include "comm/PortDevices.h"
#include "comm/PortTables.h"
#include "comm/StableDeviceName.h"
#include "platform/MessageBox.h"

#include "ui_CommSettingsDlg.h"

#include <QSerialPortInfo>

namespace {

void FillCombo(QComboBox* combo, const PortTable& table)
{
    combo->clear();
    for (int i = 0; i < table.Count(); ++i)
        combo->addItem(QString::fromUtf8(table.Text(i)));
}

QString DeviceItemText(const DetectedSerialDevice& device)
{
    return device.description.isEmpty() ? device.path
                                         : device.path + QStringLiteral(" - ") + device.description;
}

}  // namespace

CCommSettingsDlg::CCommSettingsDlg(const PortSettings& settings, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CommSettingsDlg>())
{
    m_ui->setupUi(this);
    FillLists();
    SetDetectedDevices(DetectSerialDevices());
    for (int slot = kFirstPortSlot; slot <= kLastPortSlot; ++slot) {
        m_storedDevices[static_cast<std::size_t>(slot - 1)] =
            QString::fromStdString(DevicePathForSlot(slot));
        m_devices[static_cast<std::size_t>(slot - 1)] =
            m_storedDevices[static_cast<std::size_t>(slot - 1)];
    }

    m_nPort = static_cast<int>(settings.m_nPort);
    if (m_nPort < 0 || m_nPort >= kPortTable.Count())
        m_nPort = -1;
    m_nBaudRate = kBaudRateTable.ValueToIndex(settings.m_dwBaudRate);
    m_nDataBits = kDataBitsTable.ValueToIndex(settings.m_byDataBits);
    m_nParity = kParityTable.ValueToIndex(settings.m_byParity);
    m_nStopBits = kStopBitsTable.ValueToIndex(settings.m_byStopBits);
    DoDataExchange(false);

    m_nShownSlot = m_nPort >= 0 ? m_nPort + 1 : kFirstPortSlot;
    ShowDeviceOf(m_nShownSlot);
    connect(m_ui->combo544, &QComboBox::currentIndexChanged, this,
            &CCommSettingsDlg::OnPortSelected);
    connect(m_ui->combo549, &QComboBox::activated, this, [this](int item) {
        m_ui->combo549->setEditText(m_ui->combo549->itemData(item).toString());
    });
    connect(m_ui->button1, &QPushButton::clicked, this, &CCommSettingsDlg::accept);
}

CCommSettingsDlg::~CCommSettingsDlg() = default;

void CCommSettingsDlg::FillLists()
{
    FillCombo(m_ui->combo544, kPortTable);
    FillCombo(m_ui->combo545, kBaudRateTable);
    FillCombo(m_ui->combo546, kDataBitsTable);
    FillCombo(m_ui->combo547, kParityTable);
    FillCombo(m_ui->combo548, kStopBitsTable);
}

void CCommSettingsDlg::DoDataExchange(bool save)
{
    QComboBox* combos[] = {m_ui->combo544, m_ui->combo545, m_ui->combo546, m_ui->combo547,
                           m_ui->combo548};
    int* members[] = {&m_nPort, &m_nBaudRate, &m_nDataBits, &m_nParity, &m_nStopBits};
    for (std::size_t i = 0; i < 5; ++i) {
        if (save)
            *members[i] = combos[i]->currentIndex();
        else
            combos[i]->setCurrentIndex(*members[i]);
    }
}

void CCommSettingsDlg::ApplyTo(PortSettings& settings) const
{
    // A list left without a selection keeps the current value.
    if (m_nPort >= 0)
        settings.m_nPort = kPortTable.IndexToValue(m_nPort);
    if (m_nBaudRate >= 0)
        settings.m_dwBaudRate = kBaudRateTable.IndexToValue(m_nBaudRate);
    if (m_nDataBits >= 0)
        settings.m_byDataBits = static_cast<std::uint8_t>(kDataBitsTable.IndexToValue(m_nDataBits));
    if (m_nParity >= 0)
        settings.m_byParity = static_cast<std::uint8_t>(kParityTable.IndexToValue(m_nParity));
    if (m_nStopBits >= 0)
        settings.m_byStopBits = static_cast<std::uint8_t>(kStopBitsTable.IndexToValue(m_nStopBits));
}

QString CCommSettingsDlg::DeviceForSlot(int slot) const
{
    if (slot < kFirstPortSlot || slot > kLastPortSlot)
        return {};
    if (slot == m_nShownSlot)
        return ShownPath();
    return m_devices[static_cast<std::size_t>(slot - 1)];
}

std::vector<DetectedSerialDevice> CCommSettingsDlg::DetectSerialDevices()
{
    std::vector<DetectedSerialDevice> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer()))
            description = description.isEmpty() ? info.manufacturer()
                                                : description + QStringLiteral(", ") + info.manufacturer();
        const QString path = info.systemLocation();
        found.push_back({path, description, QString::fromStdString(StableDeviceName(path.toStdString()))});
    }
    return found;
}

void CCommSettingsDlg::SetDetectedDevices(const std::vector<DetectedSerialDevice>& devices)
{
    const QString shown = m_ui->combo549->currentText();
    QSignalBlocker block(m_ui->combo549);
    m_ui->combo549->clear();
    for (const DetectedSerialDevice& device : devices) {
        m_ui->combo549->addItem(DeviceItemText(device), device.path);
        // The name to store so that reconnecting finds this adapter, not its twin.
        if (!device.stableName.isEmpty())
            m_ui->combo549->addItem(device.stableName + QStringLiteral(" (") + device.path + QStringLiteral(")"),
                                    device.stableName);
    }
    m_ui->combo549->setEditText(shown);
}

QString CCommSettingsDlg::ShownPath() const
{
    const QString text = m_ui->combo549->currentText().trimmed();
    const int item = m_ui->combo549->findText(text);
    return item >= 0 ? m_ui->combo549->itemData(item).toString() : text;
}

void CCommSettingsDlg::RememberShownDevice()
{
    if (m_nShownSlot >= kFirstPortSlot && m_nShownSlot <= kLastPortSlot)
        m_devices[static_cast<std::size_t>(m_nShownSlot - 1)] = ShownPath();
}

void CCommSettingsDlg::ShowDeviceOf(int slot)
{
    m_nShownSlot = slot;
    // Picking a detected device puts its path, not its description, in the box.
    const QString path = m_devices[static_cast<std::size_t>(slot - 1)];
    QSignalBlocker block(m_ui->combo549);
    const int item = m_ui->combo549->findData(path);
    if (item >= 0)
        m_ui->combo549->setCurrentIndex(item);
    m_ui->combo549->setEditText(path);
}

void CCommSettingsDlg::OnPortSelected(int index)
{
    if (index < 0)
        return;
    RememberShownDevice();
    ShowDeviceOf(index + 1);
}

bool CCommSettingsDlg::StoreChangedDevices()
{
    for (int slot = kFirstPortSlot; slot <= kLastPortSlot; ++slot) {
        const auto i = static_cast<std::size_t>(slot - 1);
        if (m_devices[i] == m_storedDevices[i])
            continue;
        if (!StoreDevicePath(slot, m_devices[i].toStdString()))
            return false;
        m_storedDevices[i] = m_devices[i];
    }
    return true;
}

void CCommSettingsDlg::accept()
{
    RememberShownDevice();
    for (int slot = kFirstPortSlot; slot <= kLastPortSlot; ++slot) {
        const QString& path = m_devices[static_cast<std::size_t>(slot - 1)];
        // Only a device file can be a port; a relative name would depend on
        // the folder Kestrana happens to start in.
        if (!path.startsWith(QLatin1Char('/'))) {
            platform::ShowMessageBox(
                QStringLiteral("COM%1: the device must be a full path such as /dev/ttyS0")
                    .arg(slot)
                    .toStdString());
            m_ui->combo544->setCurrentIndex(slot - 1);
            return;
        }
    }
    if (!StoreChangedDevices())
        platform::ShowMessageBox("The device choice could not be stored.");
    DoDataExchange(true);
    QDialog::accept();
}
