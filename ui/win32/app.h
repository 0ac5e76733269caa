// State and helpers shared by the Win32 front end's dialogs.
#pragma once

#include <windows.h>

#include <string>

extern HINSTANCE appInstance;  // stored first thing by WinMain

// Every dialog's start: the system menu loses Maximize and Size and gains a
// separator and "ヴァージョン表示" (IDM_VERSION); the class icon becomes
// icon 101; the title becomes kVersionTitle.
void PrepareSystemMenu(HWND dialog);
void SetDialogIconAndTitle(HWND dialog);
// The close question of the settings and install dialogs; ends the dialog
// with 0 on OK.
void ConfirmCloseDialog(HWND dialog);

// Cuts text to at most maximum bytes without splitting a double-byte
// character of the ANSI code page.
std::string CutToBytes(const std::string& text, std::size_t maximum);

// The text of a dialog control, read in full whatever its length.
std::string DialogItemText(HWND dialog, int id);
// The text of a combo box's or list box's entry; false when there is none.
bool ComboEntryText(HWND dialog, int id, int index, std::string& text);
bool ListEntryText(HWND dialog, int id, int index, std::string& text);

// Version dialog (104): modal to owner; 1 when closed.
INT_PTR ShowVersionDialog(HINSTANCE instance, HWND owner);
