#pragma once
// The program's fixed texts and the ids they are known by. Texts are UTF-8
// and must stay exactly as they are: users, logs and tests read them.
// The Korean ones are marked for translation in the "res" context; they are
// translated where they are shown (res::Tr), never where they are logged.

#include <QCoreApplication>
#include <QString>

namespace res {

// A marked text as the interface language shows it; the text itself when
// the translation has none.
inline QString Tr(const char* text) { return QCoreApplication::translate("res", text); }

// Identity.
inline constexpr const char* kAppName = "Trevane2";                         // 57344
inline constexpr const char* kMainTitle = "Kestrana";
inline constexpr const char* kDocTitleFormat = "%1 - Kestrana";              // 61204
inline constexpr const char* kCompanyKey = "Trevane Desk2";
inline constexpr const char* kAppKeyPath = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

// Start-up failures.
inline constexpr const char* kSocketInitFailed =
    QT_TRANSLATE_NOOP("res", "Windows 소켓 초기화에 실패하였습니다.");                        // 61206
inline constexpr const char* kOleInitFailed =
    QT_TRANSLATE_NOOP("res", "OLE 초기화 실패. OLE 라이브러리가 정확한 버전인지 확인하십시오.");  // 100
inline constexpr const char* kRegistryErrorFormat = "Registry error: %ld";

// Main frame.
inline constexpr const char* kConnectionFailed = "Connection Failed! \n";
inline constexpr const char* kDisconnected = QT_TRANSLATE_NOOP("res", "연결해제");
inline constexpr const char* kPortEventLabel = "Port Event :";
inline constexpr const char* kPortGone = "Port closed: the device went away\r\n";

// TCP server.
inline constexpr const char* kWinsockInitFailed = "Winsock initialization failed.";
inline constexpr const char* kStreamSocketInitFailed = "Stream socket initialization failed.";
inline constexpr const char* kAlreadyServing = "Already serving a client.";
inline constexpr const char* kErrorAccepting = "Error accepting client connection.";
inline constexpr const char* kErrorSending = "Error sending data.";
inline constexpr const char* kTcpPortTitle = QT_TRANSLATE_NOOP("res", "TCP포트설정");  // 142
inline constexpr const char* kTcpPortLabel = QT_TRANSLATE_NOOP("res", "서버소켓포트번호");
inline constexpr const char* kTcpPortRange = "The TCP port must be a number from 1 to 65535.";

// Automation windows.
inline constexpr const char* kStart = "Start";
inline constexpr const char* kEnd = "End";
inline constexpr const char* kPeriodicInputMissing = "Input EditBox Is Empty or Interval is 0";
inline constexpr const char* kTickCountFormat = "Count:%d";
inline constexpr const char* kSkippedTicksFormat = "Skipped:%d";

// Status bar.
inline constexpr const char* kIdleMessage = "Always Be Happy!";                        // 57345
inline constexpr const char* kConnPaneSizer = "1234567890123456789012345678901234567890";  // 32776
inline constexpr const char* kClockPaneSizer = "Open COMM Port";                       // 32771
inline constexpr const char* kTimeFormat = "%H:%M:%S";

// About box.
inline constexpr const char* kAboutTitle = QT_TRANSLATE_NOOP("res", "Kestrana 정보");
inline constexpr const char* kCurrentUserFormat = "Current User : %1";                // 61205

// Command prompts (the part of each command's string before its first line feed).
struct Prompt {
    unsigned id;
    const char* text;
};
inline constexpr Prompt kPrompts[] = {
    {32771, "Open COMM Port"},
    {32772, "Close COMM Port"},
    {32773, "COMM Port Set"},
    {32778, "Terminal & ETC Set"},
    {57601, QT_TRANSLATE_NOOP("res", "기존 문서를 엽니다.")},
    {57665, QT_TRANSLATE_NOOP("res", "문서를 저장할지 물어보고 응용 프로그램을 종료합니다.")},
};

inline constexpr const char* PromptFor(unsigned id)
{
    for (const Prompt& p : kPrompts)
        if (p.id == id)
            return p.text;
    return "";
}

}  // namespace res
