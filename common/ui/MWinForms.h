#pragma once

class QWidget;

// Window utilities shared by the console's and the file server's windows.

// Takes away the window's close button and makes it ignore close requests
// from the user (window manager, Alt+F4); the program can still close it.
void RemoveCloseMenu(QWidget* window);

// Places a window in the middle of the primary screen.
void CenterOnScreen(QWidget* window);
