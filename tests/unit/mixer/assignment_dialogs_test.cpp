#include "mixer_fixture.h"
