// Format detection by content. (Placeholder until the signature classifier lands.)
#include "engine/core/krvRegisterKorva.h"

TArcType TRegisterKorva::DetectArcType(const std::string& /*FileName*/) { return atUnknown; }

std::int64_t TRegisterKorva::LocateZipDirectory(TStream32& /*Stream*/) { return 0; }
