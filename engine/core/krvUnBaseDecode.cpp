// The reader base's bridge to the codecs: an entry's packed bytes in, its decoded bytes out.
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvUnBase.h"

void TUnBase::DecodeEntry(TStream32& Input, std::int64_t Packed, std::int64_t Unpacked, int CrcWidth,
                          bool ReadEncrypted,
                          const std::function<TDecodeResult(const TDecoderIO&)>& Decoder) {
    TDecoderIO io;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        return ReadRoutine(Input, Buffer, Count, 0, ReadEncrypted);
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        // The write routine deciphers in place only when asked to; decoded data stay untouched.
        WriteRoutine(OutputStream(), const_cast<std::uint8_t*>(Buffer), Count, true, CrcWidth, false);
        EntryBytesDone += Count;
        BytesToDo -= static_cast<double>(Count);
        DoProgress(EntryBytesDone, Unpacked, JobTotal);
    };
    io.PackedSize = Packed;
    io.UnpackedSize = Unpacked;
    io.CancelFlag = CancelPtr;
    TDecodeResult result;
    try {
        result = Decoder(io);
    } catch (const E_RAISE& e) {
        // A failed write has been reported and ends the job; damaged data end this entry.
        if (e.Code() == ecErrorWritingToFile || e.Code() == ecDiskFull) throw;
        result.ErrorCode = e.Code();
        result.Produced = EntryBytesDone;
    }
    if (result.Cancelled) return;
    if (result.ErrorCode == 0 && result.Produced < Unpacked) result.ErrorCode = ecUnexpectedEndOfFile;
    if (result.ErrorCode != 0) {
        ReportError(FileName, "", "0", result.ErrorCode);
        MarkEntryFailed();
    }
    if (result.Produced < Unpacked) BytesToDo -= static_cast<double>(Unpacked - result.Produced);
}
