#pragma once
// Message files on disk: names and the write itself. Qt Core only, so the
// save path can be driven without a window (fault scripts kill the program
// while it writes here).

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>

class QSaveFile;

// A message file could not be written; what() holds the system's reason.
class EMessageFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "yyyymmddhhmmss" of a local time: the proposed name of a saved view.
QString MessageFileStamp(const QDateTime &At);

// Name plus ".rtf", unless it already ends in ".rtf" (any case).
QString WithRtfSuffix(const QString &Name);

// A path in Folder named after At that no file takes yet: "stamp.rtf", else
// "stamp-2.rtf", "stamp-3.rtf", ... An automatic save never replaces a log.
QString FreeAutoSaveName(const QString &Folder, const QDateTime &At);

// Writes Data to a temporary file beside Path and renames it over Path, so a
// crash or a full disk leaves the old file whole. Throws EMessageFile.
void WriteMessageFile(const QString &Path, const QByteArray &Data);

// The same a part at a time: the parts go to the temporary file, Commit()
// renames it over Path; destroyed before, it leaves Path as it was. Throws
// EMessageFile.
class TMessageFileWriter {
public:
    explicit TMessageFileWriter(const QString &Path);
    ~TMessageFileWriter();
    void Write(const QByteArray &Data);
    void Commit();

private:
    [[noreturn]] void Fail();
    QString FPath;
    std::unique_ptr<QSaveFile> FFile;
};

// Text as the settings record holds it: at most 255 bytes in the local
// encoding, never cut inside a character.
std::string RecordText(const QString &Text);
