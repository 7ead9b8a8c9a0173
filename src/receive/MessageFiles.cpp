#include "MessageFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QString MessageFileStamp(const QDateTime &At)
{
    return At.toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString WithRtfSuffix(const QString &Name)
{
    return Name.endsWith(QLatin1String(".rtf"), Qt::CaseInsensitive) ? Name : Name + QLatin1String(".rtf");
}

QString FreeAutoSaveName(const QString &Folder, const QDateTime &At)
{
    const QDir Dir(Folder);
    const QString Stamp = MessageFileStamp(At);
    QString Path = Dir.filePath(Stamp + QLatin1String(".rtf"));
    for (int I = 2; QFileInfo::exists(Path); ++I)
        Path = Dir.filePath(QStringLiteral("%1-%2.rtf").arg(Stamp).arg(I));
    return Path;
}

void WriteMessageFile(const QString &Path, const QByteArray &Data)
{
    TMessageFileWriter File(Path);
    File.Write(Data);
    File.Commit();
}

TMessageFileWriter::TMessageFileWriter(const QString &Path) : FPath(Path), FFile(std::make_unique<QSaveFile>(Path))
{
    // Unbuffered, so that a short write (a full disk, a size limit) is seen
    // here: a buffered one can be lost at commit with the file reported
    // written.
    if (!FFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Fail();
}

TMessageFileWriter::~TMessageFileWriter() = default;

void TMessageFileWriter::Fail()
{
    throw EMessageFile(QStringLiteral("Cannot write %1: %2").arg(FPath, FFile->errorString()).toStdString());
}

void TMessageFileWriter::Write(const QByteArray &Data)
{
    // The rest is written again until it fails with the reason.
    for (qsizetype Done = 0; Done < Data.size();) {
        const qint64 Wrote = FFile->write(Data.constData() + Done, Data.size() - Done);
        if (Wrote <= 0)
            Fail();
        Done += Wrote;
    }
}

void TMessageFileWriter::Commit()
{
    if (!FFile->commit())
        Fail();
}

std::string RecordText(const QString &Text)
{
    QString Cut = Text.left(255);
    QByteArray Bytes = Cut.toLocal8Bit();
    while (Bytes.size() > 255) {
        Cut.chop(1);
        if (!Cut.isEmpty() && Cut.back().isHighSurrogate())
            Cut.chop(1);
        Bytes = Cut.toLocal8Bit();
    }
    return Bytes.toStdString();
}
