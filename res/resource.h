// Resource IDs of the operator interface: dialog templates, their controls, icons and strings.
// A control's ID is also its widget's object name (ControlName), so tests reach it by ID.
#pragma once

// Standard buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Dialog templates.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_KELVORA_DIALOG = 102;
constexpr int IDD_HEXINFO = 135;
constexpr int IDD_DELETE_SECTORS = 137;
constexpr int IDD_FLASHIT = 138;

// Strings.
constexpr int IDS_ABOUTBOX = 101;   // the system menu's About item
// System menu command of the About item.
constexpr int IDM_ABOUTBOX = 16;

// Icons.
constexpr int IDR_MAINFRAME = 128;   // grey chip with pins
constexpr int IDI_FOLDER = 134;      // open folder

// Main window (102).
constexpr int IDC_EXIT = 1000;
constexpr int IDC_PORT = 1001;
constexpr int IDC_SPEED = 1002;
constexpr int IDC_BOARD = 1003;
constexpr int IDC_LOGVIEW = 1004;
constexpr int IDC_FLASHCHIP = 1005;
constexpr int IDC_CONNECT = 1006;
constexpr int IDC_DISCONNECT = 1007;
constexpr int IDC_ABOUT = 1008;
constexpr int IDC_FILENAME = 1009;
constexpr int IDC_BROWSE = 1010;
constexpr int IDC_RELOAD = 1011;
constexpr int IDC_PROPERTIES = 1012;
constexpr int IDC_PROGRESS_LOAD = 1013;   // upper bar: the loader chain
constexpr int IDC_PROGRESS_TEST = 1014;   // lower bar: the connection test
constexpr int IDC_INFO = 1015;
constexpr int IDC_FLASH = 1016;
constexpr int IDC_DELETE_SECTORS = 1017;

// Hexinfo (135).
constexpr int IDC_HEXINFO_START = 1021;
constexpr int IDC_HEXINFO_END = 1022;
constexpr int IDC_HEXINFO_COUNT = 1023;
constexpr int IDC_HEXINFO_DUMP = 1030;

// Delete sectors (137).
constexpr int IDC_SECTOR_LIST = 1028;
constexpr int IDC_DELETE_SELECTED = 1015;
constexpr int IDC_ERASE_CHIP = 1016;

// Flash it (138).
constexpr int IDC_FLASHIT_START = 1021;
constexpr int IDC_FLASHIT_END = 1022;
constexpr int IDC_VERIFY = 1033;
constexpr int IDC_PROGRESS_FLASH = 1014;
constexpr int IDC_PROGRESS_VERIFY = 1035;
constexpr int IDC_FLASHIT = 1015;
