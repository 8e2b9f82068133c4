#include "common/GUtility.h"

#include "common/GBytes.h"
#include "common/MWinUtil.h"
#include "common/MWindowsError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>

namespace GUtility {

namespace {

const QChar kSlash = QLatin1Char('/');

QString ErrorText(EErrorUtility error)
{
    switch (error) {
    case eeBaseUtility: break;
    case eeNoFile: return QStringLiteral("File cannot be read");
    case eeCantWrite: return QStringLiteral("File cannot be written");
    case eeBadPosition: return QStringLiteral("Position out of range");
    case eeNoKey: return QStringLiteral("No item with this key");
    case eeBadWidth: return QStringLiteral("Invalid width");
    case eeBadRange: return QStringLiteral("Lower bound above upper bound");
    case eeNoTempFile: return QStringLiteral("Temporary file cannot be created");
    case eeEmptyPath: return QStringLiteral("Empty path");
    }
    return QStringLiteral("Utility error");
}

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Length of the line end at pos ("\r\n" is one), 0 when there is none.
qsizetype LineEndLength(const QString& text, qsizetype pos)
{
    if (pos >= text.size() || !IsLineEnd(text.at(pos)))
        return 0;
    if (text.at(pos) == QLatin1Char('\r') && pos + 1 < text.size()
        && text.at(pos + 1) == QLatin1Char('\n'))
        return 2;
    return 1;
}

void CheckWidth(int width, int minimum)
{
    if (width < minimum)
        RaiseUtilityError(eeBadWidth, QString::number(width));
}

QString Pad(const QString& s, int width, bool rightAlign)
{
    CheckWidth(width, 0);
    return rightAlign ? s.rightJustified(width) : s.leftJustified(width);
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        RaiseUtilityError(eeCantWrite, path);
}

// The full path split after its last "/": directory (with "/") and name.
std::pair<QString, QString> SplitFullPath(const QString& path)
{
    const QString full = GetFullPath(path);
    const qsizetype slash = full.lastIndexOf(kSlash);
    return {full.left(slash + 1), full.mid(slash + 1)};
}

} // namespace

void RaiseUtilityError(EErrorUtility error, const QString& detail)
{
    QString description = ErrorText(error);
    if (!detail.isEmpty())
        description += QStringLiteral(": ") + detail;
    RaiseLibraryError(error, QStringLiteral(".Utility"), description);
}

QString FmtHex(std::uint32_t value, int width)
{
    CheckWidth(width, 0);
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString FmtInt(qint64 value, int width, bool rightAlign)
{
    return Pad(QString::number(value), width, rightAlign);
}

QString FmtStr(const QString& s, int width, bool rightAlign)
{
    return Pad(s, width, rightAlign);
}

QString NormalizePath(const QString& path)
{
    if (path.isEmpty() || path.endsWith(kSlash))
        return path;
    return path + kSlash;
}

QString DenormalizePath(const QString& path)
{
    if (path.size() > 1 && path.endsWith(kSlash))
        return path.chopped(1);
    return path;
}

qsizetype GetExtPos(const QString& path)
{
    const qsizetype nameStart = path.lastIndexOf(kSlash) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > nameStart ? dot : -1;
}

QString GetFullPath(const QString& path)
{
    if (path.isEmpty())
        RaiseUtilityError(eeEmptyPath);
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QString GetFileDir(const QString& path)
{
    return SplitFullPath(path).first;
}

QString GetFileBaseExt(const QString& path)
{
    return SplitFullPath(path).second;
}

QString GetFileBase(const QString& path)
{
    const QString name = GetFileBaseExt(path);
    const qsizetype dot = GetExtPos(name);
    return dot < 0 ? name : name.left(dot);
}

QString GetFileExt(const QString& path)
{
    const QString name = GetFileBaseExt(path);
    const qsizetype dot = GetExtPos(name);
    return dot < 0 ? QString() : name.mid(dot);
}

bool ExistFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool ExistFileDir(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool Exists(const QString& pattern)
{
    if (pattern.isEmpty())
        return false;
    const qsizetype slash = pattern.lastIndexOf(kSlash);
    const QString dirPart = slash < 0 ? QStringLiteral(".") : pattern.left(slash + 1);
    const QString namePattern = pattern.mid(slash + 1);
    if (namePattern.isEmpty())
        return ExistFileDir(dirPart);
    const QDir dir(dirPart);
    return !dir.entryList({namePattern},
                          QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

QString GetFileText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        RaiseUtilityError(eeNoFile, path);
    return GBytes::BytesToStr(file.readAll());
}

void SaveFileStr(const QString& path, const QString& text)
{
    WriteFile(path, GBytes::StrToBytesV(text));
}

void SaveFileText(const QString& path, const QString& text)
{
    if (text.isEmpty() || IsLineEnd(text.back()))
        SaveFileStr(path, text);
    else
        SaveFileStr(path, text + QLatin1Char('\n'));
}

bool IsRTF(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "{\\rtf";
}

QString GetTempDir()
{
    return NormalizePath(QDir::tempPath());
}

QString GetTempFile(const QString& prefix, const QString& dir)
{
    const QString folder = dir.isEmpty() ? GetTempDir() : NormalizePath(GetFullPath(dir));
    QTemporaryFile file(folder + prefix + QStringLiteral("XXXXXX.tmp"));
    file.setAutoRemove(false);
    if (!file.open())
        RaiseUtilityError(eeNoTempFile, folder);
    return file.fileName();
}

QString SearchDirs(const QString& name, const QStringList& dirs)
{
    if (name.isEmpty())
        return {};
    if (name.contains(kSlash))
        return ExistFile(name) ? GetFullPath(name) : QString();
    const QStringList searched =
        dirs.isEmpty() ? qEnvironmentVariable("PATH").split(QDir::listSeparator()) : dirs;
    for (const QString& dir : searched) {
        const QString candidate = NormalizePath(dir.isEmpty() ? QStringLiteral(".") : dir) + name;
        if (ExistFile(candidate))
            return GetFullPath(candidate);
    }
    return {};
}

bool IsExe(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

QString SearchForExe(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (name.contains(kSlash))
        return IsExe(name) ? GetFullPath(name) : QString();
    return QStandardPaths::findExecutable(name);
}

QByteArray StrToStrB(const QString& s)
{
    return GBytes::StrToBytesV(s);
}

QString StrBToStr(const QByteArray& b)
{
    return GBytes::BytesToStr(b);
}

QString StrZToStr(const QString& s)
{
    const qsizetype zero = s.indexOf(QChar(0));
    return zero < 0 ? s : s.left(zero);
}

QString ExpandEnvStr(const QString& s)
{
    static const QRegularExpression reference(
        QStringLiteral(R"(\$\{([A-Za-z_]\w*)\}|\$([A-Za-z_]\w*)|%([A-Za-z_]\w*)%)"));
    QString result;
    qsizetype copied = 0;
    for (auto it = reference.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QString name;
        for (int group = 1; group <= 3 && name.isEmpty(); ++group)
            name = match.captured(group);
        const QByteArray key = name.toLocal8Bit();
        if (!qEnvironmentVariableIsSet(key.constData()))
            continue; // unknown: left as written
        result += QStringView(s).mid(copied, match.capturedStart() - copied);
        result += qEnvironmentVariable(key.constData());
        copied = match.capturedEnd();
    }
    result += QStringView(s).mid(copied);
    return result;
}

qsizetype FindString(const QString& text, const QString& find, qsizetype from,
                     ESearchOptions options)
{
    if (from < 0)
        RaiseUtilityError(eeBadPosition, QString::number(from));
    if (find.isEmpty())
        return -1;
    const Qt::CaseSensitivity cs =
        (options & esoIgnoreCase) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (qsizetype pos = text.indexOf(find, from, cs); pos >= 0;
         pos = text.indexOf(find, pos + 1, cs)) {
        if (!(options & esoWholeWord))
            return pos;
        const qsizetype end = pos + find.size();
        const bool startsWord = pos == 0 || !IsWordChar(text.at(pos - 1));
        const bool endsWord = end == text.size() || !IsWordChar(text.at(end));
        if (startsWord && endsWord)
            return pos;
    }
    return -1;
}

qsizetype InStrR(const QString& text, const QString& find, Qt::CaseSensitivity cs)
{
    return find.isEmpty() ? -1 : text.lastIndexOf(find, -1, cs);
}

QChar CharFromStr(const QString& s, qsizetype pos)
{
    if (pos < 0 || pos >= s.size())
        RaiseUtilityError(eeBadPosition, QString::number(pos));
    return s.at(pos);
}

void CharToStr(QString& s, qsizetype pos, QChar c)
{
    if (pos < 0 || pos >= s.size())
        RaiseUtilityError(eeBadPosition, QString::number(pos));
    s[pos] = c;
}

void InsertChar(QString& s, qsizetype pos, QChar c)
{
    if (pos < 0 || pos > s.size())
        RaiseUtilityError(eeBadPosition, QString::number(pos));
    s.insert(pos, c);
}

QString GetNextLine(QString& text)
{
    qsizetype end = 0;
    while (end < text.size() && !IsLineEnd(text.at(end)))
        ++end;
    const QString line = text.left(end);
    text.remove(0, end + LineEndLength(text, end));
    return line;
}

QString RTrimLine(const QString& line)
{
    qsizetype end = line.size();
    while (end > 0 && IsLineEnd(line.at(end - 1)))
        --end;
    return line.left(end);
}

QString LineWrap(QString& text, int width)
{
    CheckWidth(width, 1);
    // A line end within the width ends the line there.
    for (qsizetype i = 0; i < text.size() && i <= width; ++i) {
        if (IsLineEnd(text.at(i)))
            return GetNextLine(text);
    }
    if (text.size() <= width) {
        QString line = text;
        text.clear();
        return line;
    }
    // Break after the last word that ends at or before position width, else
    // cut the word at width.
    qsizetype cut = width;
    qsizetype resume = width;
    for (qsizetype i = width; i > 0; --i) {
        if (IsBlank(text.at(i)) && !IsBlank(text.at(i - 1))) {
            cut = i;
            resume = i + 1;
            while (resume < text.size() && IsBlank(text.at(resume)))
                ++resume;
            resume += LineEndLength(text, resume);
            break;
        }
    }
    const QString line = text.left(cut);
    text.remove(0, resume);
    return line;
}

QStringList WordWrap(const QString& text, int width)
{
    CheckWidth(width, 1);
    QStringList lines;
    QString rest = text;
    while (!rest.isEmpty())
        lines.append(LineWrap(rest, width));
    return lines;
}

QString HexDump(QByteArrayView data)
{
    constexpr qsizetype kPerLine = 16;
    QString dump;
    for (qsizetype offset = 0; offset < data.size(); offset += kPerLine) {
        const QByteArrayView chunk = data.sliced(offset, std::min(kPerLine, data.size() - offset));
        QString hex;
        QString chars;
        for (qsizetype i = 0; i < kPerLine; ++i) {
            if (i == kPerLine / 2)
                hex += QLatin1Char(' ');
            if (i >= chunk.size()) {
                hex += QStringLiteral("   ");
                continue;
            }
            const auto byte = static_cast<std::uint8_t>(chunk.at(i));
            hex += QStringLiteral("%1 ").arg(uint{byte}, 2, 16, QLatin1Char('0'));
            const bool printable = byte >= 0x20 && byte <= 0x7E;
            chars += printable ? QLatin1Char(static_cast<char>(byte)) : QLatin1Char('.');
        }
        dump +=
            QStringLiteral("%1  %2 |%3|\n").arg(offset, 8, 16, QLatin1Char('0')).arg(hex, chars);
    }
    return dump;
}

QString HexDumpS(const QString& s)
{
    return HexDump(GBytes::StrToBytesV(s));
}

void DoWaitEvents(std::uint32_t milliseconds)
{
    Pause(milliseconds, false);
}

int GetRandom(int low, int high)
{
    if (low > high)
        RaiseUtilityError(eeBadRange, QStringLiteral("%1 > %2").arg(low).arg(high));
    return static_cast<int>(QRandomGenerator::global()->bounded(qint64{low}, qint64{high} + 1));
}

} // namespace GUtility
