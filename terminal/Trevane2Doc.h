#pragma once
// The terminal document: the terminal text, the terminal options and the
// two automation stores. Saving writes the text; nothing else is saved.

#include "text/TerminalText.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

class CTrevane2Doc : public QObject {
    Q_OBJECT
public:
    explicit CTrevane2Doc(QObject* parent = nullptr);
    ~CTrevane2Doc() override;

    // The S-record file last chosen: full path and number of line feeds.
    QString m_strUploadPath;
    std::uint32_t m_nUploadLines = 0;

    // Terminal options, read at every use.
    int m_bHexMode = 0;
    int m_bLocalEcho = 1;
    int m_bReceiveLF = 0;
    int m_bSendLF = 0;
    int m_bAppendCRC = 0;
    // How lines are stamped (StampForm), hex frames, the gap that joins
    // blocks into one frame (ms, 0: none), the traffic log.
    int m_nTimestamps = 0;
    int m_bHexFrames = 0;
    int m_nFrameGapMs = 0;
    int m_bTrafficLog = 0;
    static constexpr int kMaxFrameGapMs = 60000;

    // Automation stores: one run only, never saved.
    std::map<std::string, std::string> m_mapAutoSend;
    std::map<std::string, std::string> m_mapAutoResp;

    QString GetTitle() const;
    void SetTitle(const QString& title);

    // Empties the text (File > New). Always true.
    bool OnNewDocument();
    // Replaces the text with a saved terminal: a coloured file (".rtf" or a
    // file that starts like one) keeps both colours; anything else is read as
    // plain UTF-8 text in the received colour. False when it cannot be read
    // or is refused (TerminalFile::Load), with `failure` (when given) naming
    // the file and the reason.
    bool OnOpenDocument(const QString& path, std::string* failure = nullptr);
    // Writes the text: ".txt" (or SetSaveFormat(Plain)) as plain UTF-8 text,
    // anything else coloured. False when the file cannot be written.
    bool OnSaveDocument(const QString& path);

    enum class SaveFormat { ByExtension, Coloured, Plain };
    // The format the next saves use (a file dialog's chosen filter).
    void SetSaveFormat(SaveFormat format);
    SaveFormat GetSaveFormat() const { return m_saveFormat; }

    // The colour plain text gets when opened (the received colour).
    void SetPlainTextColor(std::uint32_t colorref) { m_crPlainText = colorref; }

    // The options from the "Terminal Settings" section below the application
    // key. A missing section or value keeps the option as it is; a value out
    // of range is brought into it.
    void ReadTerminalSettings();
    // Writes all options there; false when the section cannot be created.
    bool WriteTerminalSettings() const;

    // The terminal text the view shows.
    TerminalText& Text() { return m_text; }
    const TerminalText& Text() const { return m_text; }

signals:
    void titleChanged(const QString& title);
    // The whole text was replaced (new, open): views repaint from scratch.
    void textReset();
    // The oldest text was dropped (the history file failed): offsets moved.
    void textDropped();
    // Pieces came back from disk or their row counts changed: repaint.
    void textChanged();
    // A line for the user's event box about the terminal history.
    void historyNotice(const QString& text);

private:
    // Takes what the history writer finished, on this object's thread.
    void PollText();

    QString m_strTitle;
    std::atomic<bool> m_bPollPosted{false};
    SaveFormat m_saveFormat = SaveFormat::ByExtension;
    std::uint32_t m_crPlainText = 0x000000FF;
    TerminalText m_text;
};
