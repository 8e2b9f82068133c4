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

// The extended mode's replies (SFtpOptions::extended); the equipment never hears them.
// PASV; "h1,h2,h3,h4,p1,p2)." follows.
inline constexpr char kReplyPassive[] = "227 Entering Passive Mode (";
// EPSV; the port and "|)" follow.
inline constexpr char kReplyExtendedPassive[] = "229 Entering Extended Passive Mode (|||";
inline constexpr char kReplyPassiveFailed[] = "425 Cannot open a passive data port";
inline constexpr char kReplyPassiveIpv4Only[] = "425 PASV names IPv4 addresses only; use EPSV";
inline constexpr char kReplyEpsvAll[] = "200 EPSV ALL ok.";
inline constexpr char kReplyEprt[] = "200 EPRT command successful";
inline constexpr char kReplyProtocolNotSupported[] = "522 Network protocol not supported, use (";
inline constexpr char kReplyBadArgument[] = "501 Syntax error in parameters or arguments.";
inline constexpr char kReplyDataSetupAfterEpsvAll[] = "503 Only EPSV after EPSV ALL";
// FEAT: the first and last lines, each feature on a line of its own between.
inline constexpr char kReplyFeaturesStart[] = "211-Features:";
inline constexpr char kReplyFeaturesEnd[] = "211 End";
// SIZE and MDTM; the size or the time follows.
inline constexpr char kReplyFileStatus[] = "213 ";
inline constexpr char kReplyNoFileStatus[] = "550 Could not get file status.";
// REST; the offset and kReplyRestartTail follow.
inline constexpr char kReplyRestart[] = "350 Restarting at ";
inline constexpr char kReplyRestartTail[] = ". Send STORE or RETRIEVE.";
inline constexpr char kReplyBadRestart[] = "554 Restart offset beyond the end of the file";
inline constexpr char kReplyNoop[] = "200 NOOP ok.";
inline constexpr char kReplySystem[] = "215 UNIX Type: L8";
inline constexpr char kReplyUtf8On[] = "200 UTF8 set to on";
inline constexpr char kReplyOptionNotUnderstood[] = "501 Option not understood";
