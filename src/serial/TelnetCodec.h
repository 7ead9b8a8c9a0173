#pragma once
// Telnet with the Com Port Control option (RFC 854, 855, 2217), as a pure
// codec: bytes from the server go in with the decoder's state, data bytes,
// the answers owed to the server and the option's messages come out. Nothing
// here does input or output, so a hostile server can only ever reach this
// state machine, which the fuzzer drives.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Telnet {
constexpr uint8_t SE = 240;
constexpr uint8_t SB = 250;
constexpr uint8_t WILL = 251;
constexpr uint8_t WONT = 252;
constexpr uint8_t DO = 253;
constexpr uint8_t DONT = 254;
constexpr uint8_t IAC = 255;

constexpr uint8_t OptBinary = 0;
constexpr uint8_t OptEcho = 1;
constexpr uint8_t OptSuppressGoAhead = 3;
constexpr uint8_t OptComPort = 44;

// Com Port Control commands, client to server; the server answers with the
// same code plus ServerOffset.
enum : uint8_t {
    CpSignature = 0,
    CpSetBaudRate = 1,
    CpSetDataSize = 2,
    CpSetParity = 3,
    CpSetStopSize = 4,
    CpSetControl = 5,
    CpNotifyLineState = 6,
    CpNotifyModemState = 7,
    CpFlowControlSuspend = 8,
    CpFlowControlResume = 9,
    CpSetLineStateMask = 10,
    CpSetModemStateMask = 11,
    CpPurgeData = 12,
    ServerOffset = 100
};

// SET-CONTROL values.
enum : uint8_t {
    CtlQueryFlow = 0,
    CtlFlowNone = 1,
    CtlFlowXonXoff = 2,
    CtlFlowHardware = 3,
    CtlDtrOn = 8,
    CtlDtrOff = 9,
    CtlRtsOn = 11,
    CtlRtsOff = 12,
};

// NOTIFY-LINESTATE bits.
enum : uint8_t {
    LineOverrun = 0x02,
    LineParityError = 0x04,
    LineFramingError = 0x08,
    LineBreak = 0x10,
};

// Longest sub-negotiation kept; a longer one is dropped whole (the longest
// the option defines is a signature, which the program never asks for).
constexpr std::size_t MaxSubnegotiation = 256;
}  // namespace Telnet

struct TTelnetState {
    enum TPhase : uint8_t { InData, InIac, InVerb, InSub, InSubIac };
    TPhase Phase = InData;
    uint8_t Verb = 0;
    bool SubOverflow = false;
    std::string Sub;  // option byte first
    // Per option: enabled on our side / the server's, and asked for by us
    // (an answer to our own request is not answered again).
    std::array<bool, 256> Us {};
    std::array<bool, 256> Him {};
    std::array<bool, 256> AskedUs {};
    std::array<bool, 256> AskedHim {};
};

// One Com Port Control message from the server: the command (with the
// server offset) and its value.
struct TComPortMessage {
    uint8_t Command = 0;
    std::string Value;
    bool operator==(const TComPortMessage &) const = default;
};

struct TTelnetOutput {
    std::string Data;    // received data, unescaped
    std::string Answer;  // owed to the server, ready to send
    std::vector<TComPortMessage> Messages;
};

// The client's opening: it offers and asks for BINARY both ways and offers
// the Com Port Control option (ComPort false: a plain Telnet link).
std::string TelnetOpening(TTelnetState &State, bool ComPort);
// Decodes Count bytes from the server, appending to Out.
void TelnetDecode(TTelnetState &State, const uint8_t *Bytes, std::size_t Count, TTelnetOutput &Out);
// Data for the server with each 0xFF doubled.
std::string TelnetEscape(const void *Data, std::size_t Count);
// A Com Port Control command with its value (escaped).
std::string ComPortCommand(uint8_t Command, const std::string &Value = std::string());
// A baud rate as the option carries it (four bytes, network order), and back.
std::string BaudValue(uint32_t Baud);
uint32_t BaudFromValue(const std::string &Value);
