// The frame of the lister's format walks. The lister reads StepSize header bytes at Pos into
// Buf and hands them to the walk of the archive's type, which reports the entry (or not) and
// sets Pos to the next header. Every walk reads through a small cache, never past the
// archive's end, and ends (Stop) at the first header it cannot trust.
#pragma once

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvReadAhead.h"
#include "engine/read/krvKorva.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TKorva::TWalk {
public:
    explicit TWalk(TKorva& Owner) : K(Owner) {}
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;
    virtual ~TWalk() = default;

    // First-header setup: sets Pos, End and StepSize (StepSize 0 lists nothing).
    virtual void Setup() = 0;
    // Handles the StepSize bytes read at HeaderPos into Buf and sets Pos to the next header.
    virtual void Step() = 0;

    // Reads up to Count bytes at At through the cache; returns the count read.
    std::int64_t ReadAt(std::int64_t At, void* Buffer, std::int64_t Count);
    // What ReadAt reads through: Source() in blocks (null when there is no source).
    TStream32* ReadAheadStream();
    // Drops the cached bytes (the stream was replaced).
    void ResetCache() { FReader.reset(); }

    std::int64_t Pos = 0;       // the next header
    std::int64_t End = 0;       // the archive's end
    std::int64_t HeaderPos = 0; // the header being handled
    int StepSize = 0;
    std::vector<std::uint8_t> Buf;
    bool VolumeChanged = false; // the step moved on to another volume

protected:
    TKorva& K;

    TFileStream32* Stream() { return K.FStream.get(); }
    // What ReadAt reads: the archive stream, unless the walk reads a stream of its own.
    virtual TStream32* Source() { return K.FStream.get(); }
    std::unique_ptr<TFileStream32>& StreamRef() { return K.FStream; }
    TDiskSpannObj& DiskSpann() { return *K.FDiskSpann; }
    TArcType ArcType() const { return K.ArcType(); }
    bool Cancelled() const { return K.GetCancel(); }
    // Whether the entry was reported.
    bool Select(TKorvaEntry& Entry) { return K.SelectEntry(Entry); }
    void AddTotals(std::int64_t Packed, std::int64_t Unpacked) { K.AddTotals(Packed, Unpacked); }
    std::string ReadComment(std::int64_t At, std::int64_t Len) { return K.ReadComment(At, Len); }
    static std::string CutComment(std::string Text) { return TKorva::CutComment(std::move(Text)); }
    // The position is set to the archive's end, so the walk ends after this step.
    void Stop() { Pos = End; }
    // A damaged header: 25110 is reported and the walk ends.
    void BadHeader();
    // Pos := Next, a position computed with CheckedSum from sizes the archive gives. A sum
    // beyond the 64-bit range is a damaged header: false, and the walk ends.
    bool MoveTo(std::optional<std::int64_t> Next) {
        if (!Next) {
            BadHeader();
            return false;
        }
        Pos = *Next;
        return true;
    }
    // Exactly Count bytes at At, or false.
    bool ReadExact(std::int64_t At, void* Buffer, std::int64_t Count) {
        return Count >= 0 && ReadAt(At, Buffer, Count) == Count;
    }
    // ReadAt for the record parsers of the formats.
    TReadAtFunc Reader() {
        return
            [this](std::int64_t At, void* Buffer, std::int64_t Count) { return ReadAt(At, Buffer, Count); };
    }
    // Count bytes at At as text (shorter when the archive ends first).
    std::string ReadText(std::int64_t At, std::int64_t Count);
    // A NUL-terminated text at At of at most MaxLen bytes; Next is set after its NUL (or
    // after MaxLen bytes when none was found). *Complete (when given) tells whether the
    // text ended before the archive did.
    std::string ReadZText(std::int64_t At, std::int64_t MaxLen, std::int64_t& Next, bool* Complete = nullptr);
    // The next volume of a multi-volume set replaces the archive stream. False (with the
    // cancel flag set when the owner gave up) when there is none.
    bool NextVolume();

private:
    // Reads Source() in blocks; made anew when the source changes.
    std::unique_ptr<TReadAheadStream> FReader;
    TStream32* FReaderSource = nullptr;
};

// One walk per format family (krvKorvaZip.cpp, krvKorvaTar.cpp ...).
std::unique_ptr<TKorva::TWalk> MakeZipWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeTarWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeGzipWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeLhaWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeArjWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeArcWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeZooWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeBhWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeCabWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeRarWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeAceWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeUueWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeHaWalk(TKorva& Owner);
std::unique_ptr<TKorva::TWalk> MakeMsGZWalk(TKorva& Owner);
