// The per-user data folder and the files the program keeps in it: the
// settings record "data", the send view "send" and the dock layout
// config.ini.
#pragma once

#include <QString>

class TSettingsRecord;

// $XDG_DATA_HOME/Corvane/Tallyscope, or ~/.local/share/Corvane/Tallyscope
// when XDG_DATA_HOME is unset, empty or relative. Worked out at every call.
QString DataFolderPath();

QString DataFilePath();    // "data": the settings record
QString SendFilePath();    // "send": the send view's text as rich text
QString LayoutFilePath();  // config.ini: window geometry and dock layout

// Creates the data folder with any missing parents and returns its path.
// Throws ESettingsFile, naming the folder and the reason, when it cannot.
QString CreateDataFolder();

// At start: creates the data folder if it can, then reads "data" into Record
// ("New" values when there is none). A folder that cannot be made holds no
// "data", so Record gets the "New" values and the next write reports the
// folder. Throws ESettingsFile when "data" exists but cannot be read.
void ReadDataFile(TSettingsRecord &Record);

// Creates the data folder if missing, then replaces "data" with Record whole.
// Throws ESettingsFile; the old "data" is then left as it was.
void WriteDataFile(const TSettingsRecord &Record);
