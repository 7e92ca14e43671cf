#include "feedback.h"

namespace quarvel {

std::atomic<int32_t> AbortRequested{0};
std::atomic<int32_t> StopRequested{0};

}  // namespace quarvel
