#pragma once
// The comm events dialog: which port events the engine watches (and so which
// "EVENT: " texts reach the event box) and the flag character whose arrival
// is one of them. It edits a copy of the port settings, which the caller hands
// back to the engine on OK; the choice lasts for the run and is not stored.

#include "comm/PortSettings.h"

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui { class CommEventsDlg; }

class CCommEventsDlg : public QDialog {
    Q_OBJECT
public:
    CCommEventsDlg(const PortSettings& settings, QWidget* parent = nullptr);
    ~CCommEventsDlg() override;

    // The settings as edited so far (all of them once accepted).
    const PortSettings& Settings() const { return m_settings; }

    // The boxes from `mask`, the settings' flag character in both edits, the
    // edits usable only while `mask` watches the flag character.
    void FillControls(std::uint32_t mask);
    // "&Defaults": the boxes of the default mask; the settings are not touched.
    void OnDefaults();
    // The mask the checked boxes make.
    std::uint32_t CheckedMask() const;

    // The flag character in the hex edit: at most its first two characters
    // as hexadecimal digits; empty gives 0; text that does not start with a
    // hexadecimal digit keeps `current`.
    static std::uint8_t FlagFromHexText(const QString& text, std::uint8_t current);
    // "0A" for a line feed: two upper-case digits of the unsigned byte.
    static QString FlagHexText(std::uint8_t flag);

public slots:
    void accept() override;

private:
    void ShowFlag(std::uint8_t flag);

    std::unique_ptr<Ui::CommEventsDlg> m_ui;
    PortSettings m_settings;
};
