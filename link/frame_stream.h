// The monitor frames the link has decoded, marked as replayed when a replay fed them.
#pragma once

#include "link/frame.h"
#include "link/stream.h"

namespace velmora {

using FrameStream = Stream<Frame, bool>;

} // namespace velmora
