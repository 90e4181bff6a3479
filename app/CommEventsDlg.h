#pragma once
// The comm events dialog: which port events the engine watches (and so which
// "EVENT: " texts reach the event box) and the flag character whose arrival
// is one of them. It edits the engine directly on OK; the choice lasts for
// the run and is not stored.

#include <QDialog>

#include <cstdint>
#include <memory>

class CCommPort2;
namespace Ui { class CommEventsDlg; }

class CCommEventsDlg : public QDialog {
    Q_OBJECT
public:
    CCommEventsDlg(CCommPort2* port, QWidget* parent = nullptr);
    ~CCommEventsDlg() override;

    // The boxes from `mask`, the engine's flag character in both edits, the
    // edits usable only while `mask` watches the flag character.
    void FillControls(std::uint32_t mask);
    // "&Defaults": the boxes of the engine's default mask; the engine is not touched.
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
    CCommPort2* m_pPort;
};
