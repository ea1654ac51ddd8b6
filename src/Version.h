#pragma once

namespace brimlet {

inline constexpr char kVersion[] = BRIMLET_VERSION;

}  // namespace brimlet
