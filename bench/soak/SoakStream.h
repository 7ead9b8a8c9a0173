// The soak runs' byte stream: frames of random length and content from a
// seeded generator, so the checker makes the same bytes again instead of
// keeping hundreds of megabytes of what was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TSoakStream {
public:
    TSoakStream(uint64_t Seed, std::size_t LongestFrame) : FState(Seed | 1), FLongest(LongestFrame) { }

    // The next frame: 1 to LongestFrame bytes of any value.
    std::string NextFrame()
    {
        std::string Frame(std::size_t(Next() % FLongest) + 1, '\0');
        for (char &C : Frame)
            C = char(Next() >> 56);
        return Frame;
    }

private:
    // xorshift64*: fast, and no line pattern repeats within a run.
    uint64_t Next()
    {
        FState ^= FState >> 12;
        FState ^= FState << 25;
        FState ^= FState >> 27;
        return FState * 2685821657736338717ull;
    }
    uint64_t FState;
    std::size_t FLongest;
};

// Compares bytes, as they come, with the stream from its start.
class TStreamCheck {
public:
    TStreamCheck(uint64_t Seed, std::size_t LongestFrame) : FStream(Seed, LongestFrame) { }

    void Feed(const std::string &Bytes)
    {
        for (const char C : Bytes) {
            if (FAt == FFrame.size()) {
                FFrame = FStream.NextFrame();
                FAt = 0;
            }
            if (FFirstWrong < 0 && C != FFrame[FAt])
                FFirstWrong = int64_t(FChecked);
            ++FAt;
            ++FChecked;
        }
    }
    std::size_t Checked() const { return FChecked; }
    // Offset of the first byte that differs from the stream, or -1.
    int64_t FirstWrong() const { return FFirstWrong; }

private:
    TSoakStream FStream;
    std::string FFrame;
    std::size_t FAt = 0;
    std::size_t FChecked = 0;
    int64_t FFirstWrong = -1;
};
