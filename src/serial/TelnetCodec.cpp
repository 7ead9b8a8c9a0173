#include "TelnetCodec.h"

#include <cstring>

using namespace Telnet;

namespace {

// Options the program takes on its own side, and those it lets the server
// take. Echo stays off: every byte shown must be one the device sent.
bool AcceptUs(uint8_t Option)
{
    return Option == OptBinary || Option == OptSuppressGoAhead || Option == OptComPort;
}

bool AcceptHim(uint8_t Option)
{
    return Option == OptBinary || Option == OptSuppressGoAhead;
}

void Send(std::string &Answer, uint8_t Verb, uint8_t Option)
{
    Answer.push_back(char(IAC));
    Answer.push_back(char(Verb));
    Answer.push_back(char(Option));
}

// Answers a request only when it changes a state, so that two sides never
// loop (RFC 854): an answer to our own request is not answered again.
void Negotiate(TTelnetState &S, uint8_t Verb, uint8_t Option, std::string &Answer)
{
    switch (Verb) {
    case WILL:
        if (AcceptHim(Option)) {
            if (!S.Him[Option] && !S.AskedHim[Option])
                Send(Answer, DO, Option);
            S.Him[Option] = true;
        } else {
            Send(Answer, DONT, Option);
        }
        S.AskedHim[Option] = false;
        break;
    case WONT:
        if (S.Him[Option] && !S.AskedHim[Option])
            Send(Answer, DONT, Option);
        S.Him[Option] = false;
        S.AskedHim[Option] = false;
        break;
    case DO:
        if (AcceptUs(Option)) {
            if (!S.Us[Option] && !S.AskedUs[Option])
                Send(Answer, WILL, Option);
            S.Us[Option] = true;
        } else {
            Send(Answer, WONT, Option);
        }
        S.AskedUs[Option] = false;
        break;
    case DONT:
        if (S.Us[Option] && !S.AskedUs[Option])
            Send(Answer, WONT, Option);
        S.Us[Option] = false;
        S.AskedUs[Option] = false;
        break;
    default:
        break;
    }
}

void EndSub(TTelnetState &S, TTelnetOutput &Out)
{
    if (!S.SubOverflow && S.Sub.size() >= 2 && uint8_t(S.Sub[0]) == OptComPort)
        Out.Messages.push_back({uint8_t(S.Sub[1]), S.Sub.substr(2)});
    S.Sub.clear();
    S.SubOverflow = false;
}

}  // namespace

std::string TelnetOpening(TTelnetState &S, bool ComPort)
{
    std::string Out;
    Send(Out, WILL, OptBinary);
    S.AskedUs[OptBinary] = true;
    Send(Out, DO, OptBinary);
    S.AskedHim[OptBinary] = true;
    if (ComPort) {
        Send(Out, WILL, OptComPort);
        S.AskedUs[OptComPort] = true;
    }
    return Out;
}

void TelnetDecode(TTelnetState &S, const uint8_t *Bytes, std::size_t Count, TTelnetOutput &Out)
{
    for (std::size_t I = 0; I < Count; ++I) {
        const uint8_t B = Bytes[I];
        switch (S.Phase) {
        case TTelnetState::InData:
            if (B == IAC) {
                S.Phase = TTelnetState::InIac;
            } else {
                // Data runs up to the next IAC: taken in one piece.
                const void *Next = std::memchr(Bytes + I, IAC, Count - I);
                const std::size_t End = Next ? std::size_t(static_cast<const uint8_t *>(Next) - Bytes) : Count;
                Out.Data.append(reinterpret_cast<const char *>(Bytes + I), End - I);
                I = End - 1;
            }
            break;
        case TTelnetState::InIac:
            if (B == IAC) {
                Out.Data.push_back(char(B));
                S.Phase = TTelnetState::InData;
            } else if (B >= WILL) {
                S.Verb = B;
                S.Phase = TTelnetState::InVerb;
            } else if (B == SB) {
                S.Sub.clear();
                S.SubOverflow = false;
                S.Phase = TTelnetState::InSub;
            } else {
                // NOP, GA, DM, BRK and the like carry nothing for a monitor.
                S.Phase = TTelnetState::InData;
            }
            break;
        case TTelnetState::InVerb:
            Negotiate(S, S.Verb, B, Out.Answer);
            S.Phase = TTelnetState::InData;
            break;
        case TTelnetState::InSub:
            if (B == IAC)
                S.Phase = TTelnetState::InSubIac;
            else if (S.Sub.size() < MaxSubnegotiation)
                S.Sub.push_back(char(B));
            else
                S.SubOverflow = true;
            break;
        case TTelnetState::InSubIac:
            if (B == IAC) {
                if (S.Sub.size() < MaxSubnegotiation)
                    S.Sub.push_back(char(B));
                else
                    S.SubOverflow = true;
                S.Phase = TTelnetState::InSub;
            } else if (B == SE) {
                EndSub(S, Out);
                S.Phase = TTelnetState::InData;
            } else {
                // A command inside a sub-negotiation ends it unfinished: the
                // sub-negotiation is dropped and the command taken as such.
                S.Sub.clear();
                S.SubOverflow = false;
                S.Phase = TTelnetState::InIac;
                --I;
            }
            break;
        }
    }
}

std::string TelnetEscape(const void *Data, std::size_t Count)
{
    const auto *Bytes = static_cast<const uint8_t *>(Data);
    std::string Out;
    Out.reserve(Count + Count / 64 + 4);
    for (std::size_t I = 0; I < Count; ++I) {
        Out.push_back(char(Bytes[I]));
        if (Bytes[I] == IAC)
            Out.push_back(char(IAC));
    }
    return Out;
}

std::string ComPortCommand(uint8_t Command, const std::string &Value)
{
    std::string Out {char(IAC), char(SB), char(OptComPort), char(Command)};
    Out += TelnetEscape(Value.data(), Value.size());
    Out.push_back(char(IAC));
    Out.push_back(char(SE));
    return Out;
}

std::string BaudValue(uint32_t Baud)
{
    return std::string {char(Baud >> 24), char(Baud >> 16), char(Baud >> 8), char(Baud)};
}

uint32_t BaudFromValue(const std::string &Value)
{
    uint32_t Baud = 0;
    for (std::size_t I = 0; I < 4 && I < Value.size(); ++I)
        Baud = (Baud << 8) | uint8_t(Value[I]);
    return Baud;
}
