// The two build-time values of one program; the build compiles this file once
// per configuration with VORN_MAIN_LINE and VORN_DEMO_MODE set.
#include "updater/config.h"

std::int32_t MainProductLine = VORN_MAIN_LINE;
std::int32_t DemoMode = VORN_DEMO_MODE;
