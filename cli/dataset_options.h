// The command line's options for datasets: the perspective camera and its views, and whole
// collections rendered as a batch.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

struct RenderOptions;

// Whether `a` is one of these options, and whether it takes a value.
bool IsDatasetOption(std::string_view a);
bool DatasetOptionTakesValue(std::string_view a);
bool IsBatchOption(std::string_view a);

// Sets the option from its value (empty for a flag); returns the message for a bad value.
std::string SetDatasetOption(const std::string& a, const std::string& v, RenderOptions& o);

// These options against each other and the rest, once all are read: the message, or an empty
// text. `firstCamera` and `firstBatch` are the first camera and batch options given.
std::string CheckDatasetCombination(const RenderOptions& o, const std::string& firstCamera,
                                    const std::string& firstBatch);

}  // namespace quarvel
