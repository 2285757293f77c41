// The product's one web address: the about box, the version check, the batch log and the
// encoder's header name it.
#pragma once

inline constexpr char ProductAddress[] = "https://quillar.org";
