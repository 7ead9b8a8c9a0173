// A port name as typed in the combo or stored in config.ini, and the line
// settings as texts: turned into a device path or a network address and
// values with no crash.
#include "CPort.h"
#include "NetComDevice.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const std::string Text(reinterpret_cast<const char *>(Data), Size);
    (void)ComPortDevicePath(Text);
    TNetPortName Name;
    (void)ParseNetPortName(Text, Name);
    (void)TextToBaudRate(Text);
    (void)TextToDataBits(Text);
    (void)TextToStopBits(Text);
    (void)TextToParity(Text);
    (void)TextToFlowControl(Text);
    return 0;
}
