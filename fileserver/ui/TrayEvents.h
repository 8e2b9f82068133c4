#pragma once

// What the file server's tray menu and icon ask of the program that holds the server.
enum TrayEvents { TrayShowMon = 0, TrayShowOptions = 1, TrayExit = 2 };
