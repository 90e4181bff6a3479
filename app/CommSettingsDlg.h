#pragma once
// The serial port settings dialog: port slot, baud rate, data bits, parity,
// stop bits, and the device behind the selected slot. It starts from the
// settings it is given; the caller writes the chosen list positions into a
// copy on OK (ApplyTo) and hands that to the engine.

#include "comm/PortSettings.h"

#include <QDialog>
#include <QString>

#include <array>
#include <memory>

namespace Ui { class CommSettingsDlg; }

// One serial device found on this computer.
struct DetectedSerialDevice {
    QString path;         // e.g. "/dev/ttyUSB0"
    QString description;  // e.g. the USB adapter's product name; may be empty
    QString stableName;   // its /dev/serial/by-id name, which follows the adapter; may be empty
};

class CCommSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CCommSettingsDlg(const PortSettings& settings, QWidget* parent = nullptr);
    ~CCommSettingsDlg() override;

    // Selected list positions; -1 until set.
    int m_nBaudRate = -1;
    int m_nDataBits = -1;
    int m_nParity = -1;
    int m_nPort = -1;
    int m_nStopBits = -1;

    // Moves the list positions to the members (save) or the lists (load).
    void DoDataExchange(bool save);

    // Writes the five settings from the selected list positions.
    void ApplyTo(PortSettings& settings) const;

    // The device the dialog currently shows for `slot` (1..8).
    QString DeviceForSlot(int slot) const;

    // Replaces the detected-device list (tests; normally the system's).
    void SetDetectedDevices(const std::vector<DetectedSerialDevice>& devices);
    static std::vector<DetectedSerialDevice> DetectSerialDevices();

public slots:
    void accept() override;

private:
    void FillLists();
    void OnPortSelected(int index);
    // The path in the device box; a picked list entry gives its path.
    QString ShownPath() const;
    void RememberShownDevice();
    void ShowDeviceOf(int slot);
    // Stores the device of every slot whose device the user changed.
    bool StoreChangedDevices();

    std::unique_ptr<Ui::CommSettingsDlg> m_ui;
    std::array<QString, 8> m_devices;        // what the dialog shows per slot
    std::array<QString, 8> m_storedDevices;  // what the slot had when the dialog opened
    int m_nShownSlot = 0;                    // slot (1..8) whose device is in the box
};
