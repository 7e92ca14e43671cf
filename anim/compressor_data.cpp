#include "compressor_data.h"
