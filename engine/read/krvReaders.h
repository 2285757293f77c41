// The reader that extracts an archive of a given type.
#pragma once

#include "engine/core/krvGbls.h"
#include "engine/core/krvUnBase.h"

#include <memory>

// A new reader for Type, or nullptr when the engine has none for it.
std::unique_ptr<TUnBase> CreateReader(TArcType Type);
