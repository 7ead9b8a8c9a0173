#include "DataFolder.h"

#include "SettingsRecord.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

QString DataFolderPath()
{
    // Read by hand rather than through QStandardPaths, whose test mode would
    // move the folder away from XDG_DATA_HOME. A relative value is ignored,
    // as the XDG base directory rules ask.
    QString Base = qEnvironmentVariable("XDG_DATA_HOME");
    if (Base.isEmpty() || QDir::isRelativePath(Base))
        Base = QDir::homePath() + QStringLiteral("/.local/share");
    return Base + QStringLiteral("/Corvane/Tallyscope");
}

QString DataFilePath()
{
    return DataFolderPath() + QStringLiteral("/data");
}

QString SendFilePath()
{
    return DataFolderPath() + QStringLiteral("/send");
}

QString LayoutFilePath()
{
    return DataFolderPath() + QStringLiteral("/config.ini");
}

QString CreateDataFolder()
{
    const QString Folder = DataFolderPath();
    std::error_code Error;
    std::filesystem::create_directories(QFile::encodeName(Folder).toStdString(), Error);
    if (Error) {
        throw ESettingsFile(QStringLiteral("Cannot create the data folder \"%1\": %2")
                                .arg(Folder, QString::fromStdString(Error.message()))
                                .toStdString());
    }
    return Folder;
}

void ReadDataFile(TSettingsRecord &Record)
{
    try {
        CreateDataFolder();
    } catch (const ESettingsFile &) {
        // Nothing to read from a folder that does not exist; the next write
        // of "data" reports the folder to the user.
    }
    ReadSettingsFile(Record, DataFilePath());
}

void WriteDataFile(const TSettingsRecord &Record)
{
    CreateDataFolder();
    WriteSettingsFile(Record, DataFilePath());
}
