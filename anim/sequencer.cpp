#include "sequencer.h"
