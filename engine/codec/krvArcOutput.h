// The output of arc's decoders: the optional run-length stage (0x90 repeats the last byte)
// in front of the decoded output, never past the entry's unpacked size.
#pragma once

#include "engine/codec/krvDecodeOutput.h"

#include <algorithm>
#include <cstdint>

class TArcOutput {
public:
    TArcOutput(const TDecoderIO& IO, bool RunLength) : FOut(IO, 1), FRunLength(RunLength) {}

    void Put(std::uint8_t Byte) {
        if (!FRunLength) {
            if (!FOut.Done()) FOut.Put(Byte);
            return;
        }
        if (FRepeat) {
            FRepeat = false;
            if (Byte == 0) {
                if (!FOut.Done()) FOut.Put(Marker);
                return;
            }
            const std::int64_t more = std::min<std::int64_t>(Byte - 1, FOut.Room());
            for (std::int64_t i = 0; i < more; ++i)
                FOut.Put(FLast);
        } else if (Byte == Marker) {
            FRepeat = true;
        } else if (!FOut.Done()) {
            FOut.Put(FLast = Byte);
        }
    }

    bool Done() const { return FOut.Done(); }
    TDecodeResult Run(const std::function<void()>& Body) { return FOut.Run(Body); }

private:
    static constexpr std::uint8_t Marker = 0x90;
    TDecodeOutput FOut;
    bool FRunLength;
    bool FRepeat = false;
    std::uint8_t FLast = 0;
};

// The decoders proper (krvArcSqueeze.cpp, krvArcCrunch.cpp, krvArcLzw.cpp); each ends when
// its input does or the output is complete.
class TBitReader;
void ArcUnsqueeze(TBitReader& In, TArcOutput& Out);
void ArcUncrunch(TBitReader& In, TArcOutput& Out, bool NewHash);
void ArcUnLzw(TBitReader& In, TArcOutput& Out, int MaxBits);
