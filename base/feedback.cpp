#include "feedback.h"

namespace quarvel {

std::atomic<int32_t> AbortRequested{0};

}  // namespace quarvel
