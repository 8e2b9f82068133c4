#pragma once

// Every reply line of the FTP server, without its CR LF. Clients of the
// equipment match these texts, trailing blanks included.

// The greeting; the server title follows.
inline constexpr char kReplyGreeting[] = "220 Welcome to the brennor ";
// USER; the user name follows.
inline constexpr char kReplyPasswordRequired[] = "331 Password required for ";
inline constexpr char kReplyLoggedIn[] = "230 User logged in";
inline constexpr char kReplyGoodbye[] = "221 Goodbye.";
inline constexpr char kReplyNotLogged[] = "530 User not logged";
inline constexpr char kReplyNotImplemented[] = "502 Command not implemented ";
inline constexpr char kReplyLineTooLong[] = "500 Command line too long";
inline constexpr char kReplyPort[] = "200 Port command successful";
inline constexpr char kReplyTypeI[] = "200 Type set to I";
inline constexpr char kReplyTypeA[] = "200 Type set to A";
inline constexpr char kReplyStoreOpening[] = "150 About to open data connection";
inline constexpr char kReplyStoreFailed[] = "553 No such file or directory";
inline constexpr char kReplyRetrieveOpening[] = "150 File status ok; about to open data connection";
inline constexpr char kReplyRetrieveFailed[] = "550 File not found or open error";
inline constexpr char kReplyCwd[] = "250 CWD command successful.";
inline constexpr char kReplyNoSuchDirectory[] = "553 No such directory";
// PWD; the quoted current directory follows.
inline constexpr char kReplyPwd[] = "257 ";
// LIST and NLST; the current directory follows.
inline constexpr char kReplyListOpening[] = "150 Opening ASCII mode data connection for ";
inline constexpr char kReplyAbortWithoutTransfer[] = "221 You could at least say goodbye.";
// A client silent for the idle time-out, before its control connection is closed.
inline constexpr char kReplyTimeout[] = "421 Timeout.";

// The closing replies of data transfers.
inline constexpr char kReplyFileDone[] = "226 Closing data connection, file transfer successful";
inline constexpr char kReplyListingDone[] = "226 Transfer complete.";
inline constexpr char kReplyAborted[] = "226 Closing data connection";
inline constexpr char kReplyCannotOpen[] = "425 can't open data connection ";
inline constexpr char kReplyLocalError[] = "451 Local error ";
