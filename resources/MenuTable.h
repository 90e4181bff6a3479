#pragma once
// Menu 128 and accelerator table 128 of the main window, as data. The
// menu texts are marked for translation in the "res" context.

#include <QtGlobal>

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
    ID_COMM_RECONNECT = 32783,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_FIND = 57636,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_REPEAT = 57640,
    ID_EDIT_REPLACE = 57641,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_UNDO = 57643,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_OLE_EDIT_PROPERTIES = 57860,
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
    MenuItem items[7];  // ends at the first entry with a null text and id 0
};

inline constexpr Menu kMainMenu[] = {
    {QT_TRANSLATE_NOOP("res", "파일(&F)"),
     {{ID_FILE_OPEN, QT_TRANSLATE_NOOP("res", "열기(&O)...\tCtrl+O")},
      {ID_FILE_SAVE_AS, QT_TRANSLATE_NOOP("res", "저장(&S)...")},
      {0, ""},
      {ID_APP_EXIT, QT_TRANSLATE_NOOP("res", "종료(&X)")},
      {0, nullptr}}},
    {QT_TRANSLATE_NOOP("res", "설정(&S)"),
     {{ID_COMM_SETTINGS, QT_TRANSLATE_NOOP("res", "시리얼 통신포트 설정")},
      {ID_TERMINAL_SETTINGS, QT_TRANSLATE_NOOP("res", "터미널 설정")},
      {ID_TCP_SETTINGS, QT_TRANSLATE_NOOP("res", "TCP설정")},
      {0, nullptr}}},
    {QT_TRANSLATE_NOOP("res", "통신(&C)"),
     {{ID_COMM_OPEN, QT_TRANSLATE_NOOP("res", "연결")},
      {ID_COMM_CLOSE, QT_TRANSLATE_NOOP("res", "종료")},
      {ID_COMM_RECONNECT, QT_TRANSLATE_NOOP("res", "자동 재연결")},
      {0, ""},
      {ID_TCP_OPEN, QT_TRANSLATE_NOOP("res", "TCP서버소켓열기")},
      {ID_TCP_CLOSE, QT_TRANSLATE_NOOP("res", "TCP서버소켓닫기")},
      {0, nullptr}}},
    {QT_TRANSLATE_NOOP("res", "도움말(&H)"),
     {{ID_HELP_CONTENTS, QT_TRANSLATE_NOOP("res", "도움말 목차...")},
      {ID_APP_ABOUT, QT_TRANSLATE_NOOP("res", "Kestrana 정보...")},
      {0, nullptr}}},
};

// Window-wide accelerators: taken before a key reaches the terminal, so none
// of them is ever a character on the line. A command may have several keys.
struct Accelerator {
    const char* keys;   // QKeySequence text
    unsigned id;
};

inline constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", ID_FILE_NEW},
    {"Ctrl+O", ID_FILE_OPEN},
    {"Ctrl+S", ID_FILE_SAVE},
    {"Ctrl+Z", ID_EDIT_UNDO},
    {"Alt+Backspace", ID_EDIT_UNDO},
    {"Ctrl+X", ID_EDIT_CUT},
    {"Shift+Del", ID_EDIT_CUT},
    {"Ctrl+C", ID_EDIT_COPY},
    {"Ctrl+Ins", ID_EDIT_COPY},
    {"Ctrl+V", ID_EDIT_PASTE},
    {"Shift+Ins", ID_EDIT_PASTE},
    {"Ctrl+A", ID_EDIT_SELECT_ALL},
    {"Ctrl+F", ID_EDIT_FIND},
    {"F3", ID_EDIT_REPEAT},
    {"Ctrl+H", ID_EDIT_REPLACE},
    {"Alt+Return", ID_OLE_EDIT_PROPERTIES},
    {"Alt+Enter", ID_OLE_EDIT_PROPERTIES},  // the keypad's Enter
    {"F6", ID_NEXT_PANE},
    {"Shift+F6", ID_PREV_PANE},
    {"Esc", ID_CANCEL_EDIT_CNTR},
};

}  // namespace res
