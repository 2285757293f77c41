#include "engine/codec/krvArcDecode.h"

#include "engine/codec/krvArcOutput.h"
#include "engine/codec/krvBitReader.h"
#include "engine/core/krvErrorCodes.h"

TDecodeResult ArcDecode(const TDecoderIO& IO, int Method) {
    if (Method < 3 || Method > 9) {
        TDecodeResult result;
        result.ErrorCode = ecUnsupportedCompressionMethod;
        return result;
    }
    TBitReader in(IO);
    // Methods 3, 4, 6, 7 and 8 pass their output through the run-length stage.
    TArcOutput out(IO, Method != 5 && Method != 9);
    return out.Run([&] {
        switch (Method) {
        case 3:
            for (int b = in.ReadByte(); b >= 0 && !out.Done(); b = in.ReadByte())
                out.Put(static_cast<std::uint8_t>(b));
            break;
        case 4:
            ArcUnsqueeze(in, out);
            break;
        case 5:
        case 6:
        case 7:
            ArcUncrunch(in, out, Method == 7);
            break;
        case 8:
            if (in.ReadByte() != 12) throw TDecodeStop{ecIncorrectNumberOfBits, false};
            ArcUnLzw(in, out, 12);
            break;
        default:
            ArcUnLzw(in, out, 13);
            break;
        }
    });
}
