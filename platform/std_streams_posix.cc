#include "platform/std_streams.h"

void keepStandardStreamsExact() {}
