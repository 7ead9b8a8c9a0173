// Received text as the plot reads it: lines cut at any byte, pairs and
// columns parsed into series, then written out as CSV.
#include "PlotData.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const std::string_view Text(reinterpret_cast<const char *>(Data), Size);
    std::vector<TTextValue> Values;
    ParseTextLine(Text, Values);
    for (const TTextValue &V : Values)
        if (!std::isfinite(V.Value) || V.Name.size() > MaxNameLength)
            std::abort();

    TPlotData Plot;
    Plot.SetCapacity(100);
    // Two pieces, split where the first byte says: an unfinished line is
    // carried over.
    const std::size_t Cut = Size == 0 ? 0 : Data[0] % (Size + 1);
    Plot.Add("R[12:00:00   5]", Text.substr(0, Cut), false);
    Plot.Add("R[12:00:00   5]", Text.substr(Cut), false);
    Plot.AddText(Text, 0);
    if (Plot.Series().size() > std::size_t(MaxSeries))
        std::abort();
    (void)PlotCsv(Plot);
    return 0;
}
