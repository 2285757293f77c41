// gzip as a filter around another format's data: a tar.gz is a tar inside one gzip file. The
// tar writer unpacks the archive it updates and packs the finished tar through these two
// calls, which the gzip format implements, so the tar format needs nothing else of gzip's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TCompBase;
class TStream32;
class TZipCommon;

using TGunzipSink = std::function<void(const std::uint8_t* Buffer, std::int64_t Count)>;

// Decodes the whole gzip file Input (every member, each checked against its trailer) into Sink,
// cancelled with Owner and reporting through Owner's progress event; 0, or the code of the damage.
int GunzipFile(TZipCommon& Owner, TStream32& Input, const TGunzipSink& Sink);

// Deflates Input from its start, Size bytes, into Output as a gzip file whose member is named
// StoredName with the time MTime, with Owner's deflate type, threads, progress, errors and
// cancel. False when cancelled.
bool GzipFile(TCompBase& Owner, TStream32& Input, std::int64_t Size, TStream32& Output,
              const std::string& StoredName, std::uint32_t MTime);
