#include "video_writer.h"
