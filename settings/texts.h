// Every text of the program that goes through the language lookup, in English, exactly as the
// program passes it to the lookup. The English text is the lookup's key, so this list is what a
// language file has to cover; the tests check the shipped language files against it.
#pragma once

#include <string_view>
#include <vector>

namespace quarvel {

// One list, grouped by window. No text appears twice; texts shared by several windows are listed
// with the window that shows them first. Line breaks are the program's LF CR pair, except in the
// two option hints, which keep the CR LF of the dialog's layout.
const std::vector<std::string_view>& TranslatableTexts();

}  // namespace quarvel
