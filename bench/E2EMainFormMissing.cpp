// Stand-in until the main window can open a port and show lines.
#include "E2ETarget.h"

std::unique_ptr<TE2ETarget> MakeMainFormTarget()
{
    return nullptr;
}
