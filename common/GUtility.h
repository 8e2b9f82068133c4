#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>

// Text, path, file and formatting utilities.
//
// Positions in texts are 0-based; "not found" is -1. Paths are Linux paths:
// "/" is the only separator, and a directory's normalized form ends with "/".
// File contents and texts cross as Latin-1, one byte per character, as in
// GBytes. Bad arguments and failed file operations raise the library errors
// of EErrorUtility (source: program name + ".Utility").
namespace GUtility {

enum EErrorUtility : std::uint32_t {
    eeBaseUtility = 13000,
    eeNoFile,      // a file cannot be opened for reading
    eeCantWrite,   // a file cannot be written
    eeBadPosition, // a position or index outside its text or collection
    eeNoKey,       // no item of a collection has the key
    eeBadWidth,    // a width below 1 (wrapping) or below 0 (formatting)
    eeBadRange,    // a lower bound above the upper bound
    eeNoTempFile,  // no temporary file could be made
    eeEmptyPath,   // an empty path where a file name is needed
};

// Raises the error with its fixed description; detail, when given, is appended.
[[noreturn]] void RaiseUtilityError(EErrorUtility error, const QString& detail = {});

// Search options of FindString; they combine with |.
enum ESearchOptions : unsigned {
    esoNone = 0,
    esoIgnoreCase = 1, // letters match regardless of case
    esoWholeWord = 2,  // a match has no letter, digit or '_' right before or after it
};
constexpr ESearchOptions operator|(ESearchOptions a, ESearchOptions b) noexcept
{
    return static_cast<ESearchOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A text of one zero character.
inline const QString sNullChr = QString(1, QChar(0));

// --- Formatting. None of them cuts: a longer result is returned whole.

// value in upper-case hexadecimal, with leading zeros to width digits.
QString FmtHex(std::uint32_t value, int width = 0);
// value in decimal, padded with blanks to width (on the left when rightAlign).
QString FmtInt(qint64 value, int width, bool rightAlign = true);
// s padded with blanks to width (on the left when rightAlign).
QString FmtStr(const QString& s, int width, bool rightAlign = false);

// --- Paths.

// Adds a trailing "/" unless there is one; an empty path stays empty.
QString NormalizePath(const QString& path);
// Removes one trailing "/", except from the root "/".
QString DenormalizePath(const QString& path);

// Position of the dot that starts the extension of the path's last name, -1 if
// none. A dot that starts a name (".profile") marks a hidden file, not an extension.
qsizetype GetExtPos(const QString& path);

// The absolute, cleaned form of a path ("." and ".." taken out, symbolic links
// kept), relative to the working directory.
QString GetFullPath(const QString& path);
inline QString GetFileFullSpec(const QString& path)
{
    return GetFullPath(path);
}
// The parts of a full path: GetFileDir + GetFileBase + GetFileExt is the full path,
// GetFileBase + GetFileExt is GetFileBaseExt.
QString GetFileDir(const QString& path);     // "/home/user/" (ends with "/")
QString GetFileBaseExt(const QString& path); // "notes.txt"
QString GetFileBase(const QString& path);    // "notes"
QString GetFileExt(const QString& path);     // ".txt", or empty

// --- Files and directories.

// A regular file (or a link to one) exists at path.
bool ExistFile(const QString& path);
// A file or a directory exists at path.
bool ExistFileDir(const QString& path);
// Some entry (hidden ones included) matches the wildcard pattern ("*", "?",
// "[...]") in the last name of path; the directory part is taken literally.
bool Exists(const QString& pattern);

// The whole file as text.
QString GetFileText(const QString& path);
// Writes text to the file, replacing it, exactly as given.
void SaveFileStr(const QString& path, const QString& text);
// Writes text to the file, replacing it, as lines: a line end is added unless
// the text is empty or already ends with one.
void SaveFileText(const QString& path, const QString& text);
// The file starts with "{\rtf"; false when it cannot be read.
bool IsRTF(const QString& path);

// The temporary directory ($TMPDIR, else /tmp), with a trailing "/".
QString GetTempDir();
// Creates a new empty file named prefix + six random characters + ".tmp" in
// dir (default: GetTempDir) and returns its full path; the caller removes it.
QString GetTempFile(const QString& prefix = QStringLiteral("pel"), const QString& dir = {});

// The full path of the first regular file named name in dirs (default: the
// directories of $PATH, where an empty entry is the working directory), or
// empty. A name with a "/" is not searched for, only checked.
QString SearchDirs(const QString& name, const QStringList& dirs = {});
// Whether path is a regular file that the user may execute. On Linux the
// execute permission takes the place of the ".EXE/.COM/.PIF/.BAT/.CMD" suffixes.
// (The original IsExe told whether the program ran compiled rather than inside
// its development environment; a C++ program always runs compiled.)
bool IsExe(const QString& path);
// The full path of the program found like a shell finds it (IsExe along $PATH),
// or empty. A name with a "/" is only checked.
QString SearchForExe(const QString& name);

// --- Text.

QByteArray StrToStrB(const QString& s); // one byte per character
QString StrBToStr(const QByteArray& b); // one character per byte
QString StrZToStr(const QString& s);    // s up to its first zero character

// Expands $VAR, ${VAR} and %VAR% from the environment, in one pass (expanded
// values are not expanded again). Unknown variables stay as written; a set but
// empty variable expands to nothing.
QString ExpandEnvStr(const QString& s);

// Position of the first find in text at or after from, -1 if none (or find empty).
qsizetype FindString(const QString& text, const QString& find, qsizetype from = 0,
                     ESearchOptions options = esoNone);
// Position of the last find in text, -1 if none (or find empty).
qsizetype InStrR(const QString& text, const QString& find,
                 Qt::CaseSensitivity cs = Qt::CaseSensitive);

// Reads, overwrites or inserts the character at pos; InsertChar accepts pos ==
// size (append). A position outside raises eeBadPosition.
QChar CharFromStr(const QString& s, qsizetype pos);
void CharToStr(QString& s, qsizetype pos, QChar c);
void InsertChar(QString& s, qsizetype pos, QChar c);

// Takes the next line off the front of text and returns it without its line
// end ("\n", "\r\n" or "\r"); a last line without line end is returned whole.
QString GetNextLine(QString& text);
// The line without its trailing line-end characters ("\r" and "\n").
QString RTrimLine(const QString& line);

// Takes the next line of at most width characters off the front of text: it
// ends at a line end, else at the last blank (space or tab) that keeps it within
// width; a word longer than width is cut at width. Blanks at the break, and a
// line end right after them, are dropped.
QString LineWrap(QString& text, int width);
// The whole text broken into lines by LineWrap.
QStringList WordWrap(const QString& text, int width);

// Whether value equals one of the candidates.
template <typename T, typename... Ts> constexpr bool Among(const T& value, const Ts&... candidates)
{
    return ((value == candidates) || ...);
}

// A keyed, ordered collection as the original's collections: items keep the
// order they were added in, and a key (compared without regard to case) may
// name an item. A list of pairs keeps the order that a map or hash would lose,
// and the collections the program keeps are small, so a linear key search is fine.
template <typename T> using TKeyedCollection = QList<std::pair<QString, T>>;

// Replaces the item at index, keeping its key and place.
template <typename T> void CollectionReplace(TKeyedCollection<T>& items, qsizetype index, T item)
{
    if (index < 0 || index >= items.size())
        RaiseUtilityError(eeBadPosition, QString::number(index));
    items[index].second = std::move(item);
}

// Replaces the item with key, keeping its key and place.
template <typename T> void CollectionReplace(TKeyedCollection<T>& items, const QString& key, T item)
{
    for (auto& entry : items) {
        if (entry.first.compare(key, Qt::CaseInsensitive) == 0) {
            entry.second = std::move(item);
            return;
        }
    }
    RaiseUtilityError(eeNoKey, key);
}

// --- Hexadecimal dump, in the layout of "hexdump -C": per 16 bytes one line of
// the offset (8 hex digits), two blanks, the bytes as lower-case hex pairs each
// followed by a blank (one more blank after the eighth), one blank, then the
// bytes between "|" with '.' for anything outside 0x20..0x7E. A short last line
// keeps the columns. Every line ends with "\n"; no input gives an empty text.
QString HexDump(QByteArrayView data);
inline QString HexDumpB(const QByteArray& bytes)
{
    return HexDump(bytes);
}
QString HexDumpS(const QString& s); // the Latin-1 bytes of s

// --- Events and randomness.

// Waits milliseconds while pending events run (Pause of MWinUtil.h).
void DoWaitEvents(std::uint32_t milliseconds);
// A pseudo-random integer from low to high, both included.
int GetRandom(int low, int high);

// --- Geometry: the edge just past the control, as the original computed it.
inline int xRight(const QRect& r)
{
    return r.x() + r.width();
}
inline int yBottom(const QRect& r)
{
    return r.y() + r.height();
}

} // namespace GUtility
