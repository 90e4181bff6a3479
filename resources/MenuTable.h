#pragma once
// Menu 128 and accelerator table 128 of the main window, as data.

namespace res {

// Command ids.
enum CommandId : unsigned {
    ID_CANCEL_EDIT_CNTR = 32768,
    ID_COMM_OPEN = 32771,
    ID_COMM_CLOSE = 32772,
    ID_COMM_SETTINGS = 32773,
    ID_INDICATOR_CONN = 32776,
    ID_TERMINAL_SETTINGS = 32778,
    ID_HELP_CONTENTS = 32779,
    ID_TCP_SETTINGS = 32780,
    ID_TCP_OPEN = 32781,
    ID_TCP_CLOSE = 32782,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    // Dialog bar 103.
    IDC_EVENT_BOX = 1001,
    IDC_EVENTS = 1002,
    IDC_AUTOSEND = 1003,
    IDC_PERIODIC = 1004,
    IDC_AUTORESP = 1005,
};

struct MenuItem {
    unsigned id;        // 0: separator
    const char* text;
};

struct Menu {
    const char* title;
    MenuItem items[6];  // ends at the first entry with a null text and id 0
};

inline constexpr Menu kMainMenu[] = {
    {"파일(&F)",
     {{ID_FILE_OPEN, "열기(&O)...\tCtrl+O"},
      {ID_FILE_SAVE_AS, "저장(&S)..."},
      {0, ""},
      {ID_APP_EXIT, "종료(&X)"},
      {0, nullptr}}},
    {"설정(&S)",
     {{ID_COMM_SETTINGS, "시리얼 통신포트 설정"},
      {ID_TERMINAL_SETTINGS, "터미널 설정"},
      {ID_TCP_SETTINGS, "TCP설정"},
      {0, nullptr}}},
    {"통신(&C)",
     {{ID_COMM_OPEN, "연결"},
      {ID_COMM_CLOSE, "종료"},
      {0, ""},
      {ID_TCP_OPEN, "TCP서버소켓열기"},
      {ID_TCP_CLOSE, "TCP서버소켓닫기"},
      {0, nullptr}}},
    {"도움말(&H)",
     {{ID_HELP_CONTENTS, "도움말 목차..."},
      {ID_APP_ABOUT, "Kestrana 정보..."},
      {0, nullptr}}},
};

// Window-wide accelerators. The edit keys (copy, select all, ...) belong to
// the terminal view itself and are not taken here, so the view sees them.
struct Accelerator {
    const char* keys;   // QKeySequence text
    unsigned id;
};

inline constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", ID_FILE_NEW},
    {"Ctrl+O", ID_FILE_OPEN},
    {"Ctrl+S", ID_FILE_SAVE},
};

}  // namespace res
