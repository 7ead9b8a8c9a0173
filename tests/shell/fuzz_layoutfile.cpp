// Any config.ini read back: no crash, and whatever it held, the window gets
// a layout it can apply (a frame, and the fallback where a key is bad).
#include "LayoutFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    static QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("config.ini"));
    {
        QFile File(Path);
        if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        File.write(reinterpret_cast<const char *>(Data), static_cast<qint64>(Size));
    }
    TLayout Fallback;
    Fallback.Normal = QRect(10, 20, 640, 480);
    const TLayout Layout = TLayoutFile(Path).Read(Fallback);
    (void)Layout.Normal.isValid();
    (void)Layout.PortName.size();
    return 0;
}
