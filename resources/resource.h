// Resource identifiers of k40tool: the dialog layouts of the four pages, their
// controls, the strings, the bitmap and icon, and the standard command IDs of
// the dialog framework. Numbers are fixed: they are the IDs the pages and the
// framework look their controls and texts up by.
#pragma once

// Standard dialog commands and the buttons of the sheet's button row.
#define IDOK 1
#define IDCANCEL 2
#define IDHELP 9
#define ID_APPLY_NOW 0x3021
#define ID_HELP 57670

// Controls without an ID of their own (static texts, group boxes, pictures).
#define IDC_STATIC 65535

// Program icon and the version page's picture.
#define IDR_MAINFRAME 128
#define IDB_EMBLEM 130

// Strings: the sheet caption, the application title and the framework's
// validation messages.
#define IDS_SHEET_CAPTION 103
#define IDS_APP_TITLE 57344
#define IDS_PARSE_INT 61712
#define IDS_PARSE_REAL 61713
#define IDS_PARSE_INT_RANGE 61714
#define IDS_PARSE_REAL_RANGE 61715
#define IDS_PARSE_UINT 61719

// Page layouts.
#define IDD_COM 104
#define IDD_READ 105
#define IDD_CTRL 106
#define IDD_ABOUT 108

// Serial settings page (104). The baud buttons are numbered out of rate
// order: 9600 is 1028 and 19200 is 1027.
#define IDC_COM1 1000
#define IDC_COM2 1001
#define IDC_ADDR 1005
#define IDC_WAITTIME 1006
#define IDC_BAUD600 1023
#define IDC_BAUD1200 1024
#define IDC_BAUD2400 1025
#define IDC_BAUD4800 1026
#define IDC_BAUD19200 1027
#define IDC_BAUD9600 1028
#define IDC_BAUD38400 1029
#define IDC_SET 1030

// Read data page (105).
#define IDC_READ01DI 1006
#define IDC_READ03DI 1007
#define IDC_READ03AI 1008
#define IDC_LIST 1010

// Send and receive boxes: the same IDs on the read page and the control page.
#define IDC_RECVEDIT 1011
#define IDC_SENDEDIT 1012

// Control page (106).
#define IDC_MANUAL 1015
#define IDC_AUTO 1016
#define IDC_FLOAT 1017
#define IDC_EQUALIZE 1018
#define IDC_SETCURRENT 1019
#define IDC_SETVOLTAGE 1020
#define IDC_MODULEOFF 1021
#define IDC_MODULEON 1022
#define IDC_MODULE 1037
#define IDC_VOLTAGE 1038
#define IDC_CURRENT 1039
