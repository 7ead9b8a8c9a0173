// What a server sends, under libFuzzer: the Telnet codec with its state
// carried over a cut at any point, bounded whatever comes, and the data it
// gives back surviving escaping and decoding unchanged.
#include "TelnetCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    if (Size == 0)
        return 0;
    const size_t Cut = Data[0] % Size;
    TTelnetState State;
    TTelnetOutput Out;
    (void)TelnetOpening(State, true);
    TelnetDecode(State, Data + 1, Cut, Out);
    TelnetDecode(State, Data + 1 + Cut, Size - 1 - Cut, Out);
    if (State.Sub.size() > Telnet::MaxSubnegotiation || Out.Data.size() > Size || Out.Answer.size() > 3 * Size)
        std::abort();
    for (const TComPortMessage &M : Out.Messages)
        if (M.Value.size() > Telnet::MaxSubnegotiation)
            std::abort();

    const std::string Escaped = TelnetEscape(Out.Data.data(), Out.Data.size());
    TTelnetState Again;
    TTelnetOutput Back;
    TelnetDecode(Again, reinterpret_cast<const uint8_t *>(Escaped.data()), Escaped.size(), Back);
    if (Back.Data != Out.Data || !Back.Answer.empty() || !Back.Messages.empty())
        std::abort();
    return 0;
}
