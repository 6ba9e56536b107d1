// placeholder
#include "datagen.h"
#include "itwriter.h"
std::vector<uint8_t> marigoldModule() { return timelineModule(18, 1, 1, 255); }
